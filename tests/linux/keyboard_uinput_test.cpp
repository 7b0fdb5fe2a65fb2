// The uinput keyboard's rules against a device in process: the kernel's
// part (a press toggles the lock and echoes the light) is played by the
// fake, which can also leave a key dead, as a desktop that binds nothing to
// it does. The real device is tried in a VM (uinput_vm.sh).
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "common/keyboard_contract.h"
#include "lockkeys/lock_key_index.h"
#include "lockkeys/set_lock_key.h"
#include "platform/linux/keyboard_uinput.h"

namespace tovi {
namespace {

using platform::KeyboardState;
using platform::UinputKeyboard;

struct FakeDevice : platform::UinputDevice {
    std::vector<std::pair<std::uint16_t, bool>> written;
    std::vector<std::pair<std::uint16_t, bool>> pending;  // LED events not yet read
    unsigned lights = 0;                                  // bit per LED code
    std::set<std::uint16_t> dead;                         // keys the desktop ignores

    void writeKey(std::uint16_t key, bool down) override {
        written.emplace_back(key, down);
        if (!down || dead.count(key) != 0) return;
        const std::uint16_t led = key == KEY_CAPSLOCK ? LED_CAPSL : key == KEY_NUMLOCK ? LED_NUML : LED_SCROLLL;
        lights ^= 1u << led;
        pending.emplace_back(led, ((lights >> led) & 1u) != 0);
    }
    void drainLeds(const std::function<void(std::uint16_t, bool)>& take) override {
        for (const auto& [led, on] : std::exchange(pending, {})) take(led, on);
    }
};

struct Rig {
    FakeDevice* device;
    std::chrono::steady_clock::time_point now{};
    std::vector<std::string> said;
    UinputKeyboard keyboard;

    explicit Rig(unsigned lit = 0)
        : device(new FakeDevice),
          keyboard(
              std::unique_ptr<platform::UinputDevice>(device), lit, [this] { return now; },
              [this](const std::string& text) { said.push_back(text); }) {}

    KeyboardState state() {
        KeyboardState s{};
        keyboard.getKeyboardState(s);
        return s;
    }
};

// The keyboard contract on uinput, with the device's lights as the witness.
class UinputDriver final : public contract::KeyboardDriver {
public:
    platform::Keyboard& keyboard() override { return rig_.keyboard; }
    std::optional<bool> lit(std::int16_t virtualKey) override {
        const std::uint16_t led = virtualKey == kVkCapital ? LED_CAPSL : virtualKey == kVkNumLock ? LED_NUML : LED_SCROLLL;
        return ((rig_.device->lights >> led) & 1u) != 0;
    }

private:
    Rig rig_;
};

std::unique_ptr<contract::KeyboardDriver> makeUinputDriver() { return std::make_unique<UinputDriver>(); }

using contract::KeyboardContract;
INSTANTIATE_TEST_SUITE_P(Uinput, KeyboardContract,
                         ::testing::Values(contract::KeyboardBackend{"uinput", &makeUinputDriver}));

TEST(UinputKeyboardTest, StateIsTheSeedThenWhatTheKernelEchoes) {
    Rig rig(0b010);  // Num Lock lit at start
    KeyboardState expected{};
    expected[144] = 1;
    EXPECT_EQ(rig.state(), expected);

    // Another keyboard switches Caps Lock on: only the echo tells.
    rig.device->pending.emplace_back(LED_CAPSL, true);
    expected[20] = 1;
    EXPECT_EQ(rig.state(), expected);

    // A keystroke changes nothing until its echo is read at the next query.
    rig.device->dead.insert(KEY_SCROLLLOCK);
    rig.keyboard.keybdEvent(145, kLockKeyScanCode, platform::kKeyEventExtendedKey, 0);
    rig.keyboard.keybdEvent(145, kLockKeyScanCode, platform::kKeyEventExtendedKey | platform::kKeyEventKeyUp, 0);
    EXPECT_EQ(rig.state(), expected);
}

TEST(UinputKeyboardTest, KeyEventsAndStateWritesBecomeKeystrokesOfTheLockKeysOnly) {
    Rig rig;
    rig.keyboard.keybdEvent(20, kLockKeyScanCode, platform::kKeyEventExtendedKey, 0);
    rig.keyboard.keybdEvent(20, kLockKeyScanCode, platform::kKeyEventExtendedKey | platform::kKeyEventKeyUp, 0);

    // Caps Lock is on now; the write keeps it, switches Num and Scroll Lock
    // on, and ignores every bit but the toggles of the three lock keys.
    KeyboardState wanted{};
    wanted[20] = 1;
    wanted[144] = 0x81;
    wanted[145] = 1;
    wanted[65] = 1;
    rig.keyboard.setKeyboardState(wanted);
    const std::vector<std::pair<std::uint16_t, bool>> expected{{KEY_CAPSLOCK, true},   {KEY_CAPSLOCK, false},
                                                               {KEY_NUMLOCK, true},    {KEY_NUMLOCK, false},
                                                               {KEY_SCROLLLOCK, true}, {KEY_SCROLLLOCK, false}};
    EXPECT_EQ(rig.device->written, expected);
    EXPECT_EQ(rig.device->lights, (1u << LED_CAPSL) | (1u << LED_NUML) | (1u << LED_SCROLLL));
}

// The tick, as it runs: SetLockKey wants Scroll Lock on every tick.
TEST(UinputKeyboardTest, AKeyTheDesktopIgnoresIsGivenUpOnceAndThenLeftAlone) {
    Rig rig;
    rig.device->dead.insert(KEY_SCROLLLOCK);
    const auto tick = std::chrono::milliseconds(25);
    // Quick keystrokes alone are not enough: a compositor may open the
    // device late.
    for (int i = 0; i < 10; ++i, rig.now += tick) SetLockKey(rig.keyboard, 145, true);
    EXPECT_TRUE(rig.said.empty());
    for (int i = 0; i < 100; ++i, rig.now += tick) {
        SetLockKey(rig.keyboard, 145, true);
        SetLockKey(rig.keyboard, 20, i % 2 == 0);  // a working key beside it
    }
    ASSERT_EQ(rig.said.size(), 1u);
    EXPECT_NE(rig.said[0].find("Scroll Lock"), std::string::npos) << rig.said[0];
    std::size_t scrollPresses = 0, capsPresses = 0;
    for (const auto& [key, down] : rig.device->written) {
        if (down) (key == KEY_SCROLLLOCK ? scrollPresses : capsPresses)++;
    }
    // Given up at the first query 2 s after the first silent keystroke.
    EXPECT_EQ(scrollPresses, 2000u / 25);
    EXPECT_EQ(capsPresses, 100u);
    EXPECT_THROW(rig.keyboard.setKeyboardState([] {
        KeyboardState s{};
        s[145] = 1;
        return s;
    }()),
                 Error);
}

TEST(UinputKeyboardTest, ADeviceThatCannotBeOpenedIsRefusedWithItsCause) {
    try {
        platform::createUinputDevice("/nonexistent/uinput");
        FAIL() << "no error";
    } catch (const Error& error) {
        EXPECT_NE(std::string(error.what()).find("/nonexistent/uinput"), std::string::npos) << error.what();
    }
}

TEST(UinputKeyboardTest, SeedIsAnyKeyboardsLitLights) {
    const auto dir = std::filesystem::path(testing::TempDir()) / "leds";
    std::filesystem::remove_all(dir);
    const auto led = [&](const std::string& name, const char* brightness) {
        std::filesystem::create_directories(dir / name);
        std::ofstream(dir / name / "brightness") << brightness;
    };
    led("input3::capslock", "0\n");
    led("input7::capslock", "1\n");
    led("input3::numlock", "0\n");
    led("input3::scrolllock", "1\n");
    led("phy0-led", "1\n");
    EXPECT_EQ(platform::litLocks(dir.string()), 0b101u);
    EXPECT_EQ(platform::litLocks((dir / "absent").string()), 0u);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tovi
