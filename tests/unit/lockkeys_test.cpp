#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "fakes/fake_keyboard.h"
#include "lockkeys/lock_key_index.h"
#include "lockkeys/set_lock_key.h"

namespace tovi {
namespace {

using fakes::FakeKeyboard;
using fakes::keyEvent;
using fakes::stateWrite;
using Op = FakeKeyboard::Op;

constexpr std::uint32_t kWin95 = platform::kVerPlatformWin32Windows;
constexpr std::uint32_t kNt = platform::kVerPlatformWin32Nt;

const std::vector<FakeKeyboard::Call> kQueries = {{Op::PlatformId}, {Op::GetKeyboardState}};

std::vector<FakeKeyboard::Call> pressAndRelease(std::uint8_t vk) {
    return {keyEvent(vk, 0x45, 1), keyEvent(vk, 0x45, 3)};
}

class SetLockKeyOnEachKey : public ::testing::TestWithParam<std::int16_t> {};

TEST_P(SetLockKeyOnEachKey, NtFamilyTogglesByExtendedPressAndReleaseWithScanCode45) {
    const auto vk = static_cast<std::uint8_t>(GetParam());
    FakeKeyboard keyboard;
    SetLockKey(keyboard, GetParam(), true);
    std::vector<FakeKeyboard::Call> expected = kQueries;
    for (const auto& call : pressAndRelease(vk)) expected.push_back(call);
    EXPECT_EQ(keyboard.calls, expected);
    EXPECT_EQ(keyboard.count(Op::SetKeyboardState), 0u);

    keyboard.calls.clear();
    SetLockKey(keyboard, GetParam(), false);
    EXPECT_EQ(keyboard.callsAfter(2), pressAndRelease(vk)) << "an on key is switched off the same way";
    EXPECT_FALSE(keyboard.lit(vk));
}

INSTANTIATE_TEST_SUITE_P(CapsNumScroll, SetLockKeyOnEachKey, ::testing::Values(kVkCapital, kVkNumLock, kVkScroll));

// A key that the user holds down has bit 7 set. Only bit 0 says whether it
// is lit, so a held key that already shows the wanted state is not touched.
TEST(SetLockKey, HeldKeyIsJudgedByItsToggleBitAloneAndDoesNotFlicker) {
    struct Case {
        std::uint8_t byte;
        bool wanted;
        bool toggled;
    };
    for (const Case& c : {Case{129, true, false}, Case{128, false, false}, Case{128, true, true},
                          Case{129, false, true}, Case{255, true, false}, Case{254, false, false}}) {
        FakeKeyboard keyboard;
        keyboard.state[kVkScroll] = c.byte;
        SetLockKey(keyboard, kVkScroll, c.wanted);
        EXPECT_EQ(keyboard.callsAfter(2).empty(), !c.toggled) << "byte " << int(c.byte) << " wanted " << c.wanted;
    }

    // Nor does it flicker over repeated ticks.
    FakeKeyboard keyboard;
    keyboard.state[kVkNumLock] = 128;  // held, off
    for (int tick = 0; tick < 5; ++tick) SetLockKey(keyboard, kVkNumLock, true);
    EXPECT_EQ(keyboard.count(Op::KeybdEvent), 2u) << "one keystroke, then the key holds";
    EXPECT_EQ(keyboard.state[kVkNumLock], 129);
}

TEST(SetLockKey, Win95FamilyWritesTheStateBackWithOnlyBit0FlippedKeepingTheHeldBit) {
    FakeKeyboard keyboard;
    keyboard.platform = kWin95;
    keyboard.state[kVkCapital] = 1;
    keyboard.state[16] = 0x80;  // shift held
    keyboard.state[kVkScroll] = 0;
    platform::KeyboardState expected = keyboard.state;
    expected[kVkScroll] = 1;

    SetLockKey(keyboard, kVkScroll, true);
    EXPECT_EQ(keyboard.callsAfter(2), std::vector<FakeKeyboard::Call>{stateWrite(expected)});
    EXPECT_EQ(keyboard.count(Op::KeybdEvent), 0u);

    // The written byte is an ordinary "on" byte: the next call agrees with it
    // instead of toggling it back whatever is wanted.
    keyboard.calls.clear();
    SetLockKey(keyboard, kVkScroll, true);
    EXPECT_TRUE(keyboard.callsAfter(2).empty());

    // The held bit of the key it flips stays.
    keyboard.state[kVkNumLock] = 129;
    SetLockKey(keyboard, kVkNumLock, false);
    ASSERT_EQ(keyboard.count(Op::SetKeyboardState), 1u);
    EXPECT_EQ(keyboard.calls.back().written[kVkNumLock], 128);
}

TEST(SetLockKey, UnknownFamilyOrFailedVersionQueryLeavesTheKeyAlone) {
    for (std::uint32_t family : {0u, 3u, 0xFFFFFFFFu}) {
        FakeKeyboard keyboard;
        keyboard.platform = family;
        SetLockKey(keyboard, kVkCapital, true);
        EXPECT_EQ(keyboard.calls, kQueries) << "family " << family;
    }
    FakeKeyboard failing;
    failing.failPlatformId = true;
    SetLockKey(failing, kVkCapital, true);
    EXPECT_EQ(failing.calls, kQueries) << "the state is still read after a failed version query";
    EXPECT_FALSE(failing.lit(kVkCapital));
}

TEST(SetLockKey, FailedStateReadCountsEveryKeyAsOff) {
    // The failing read scribbles over the array it was given; none of that
    // may reach the decision or the written state.
    FakeKeyboard nt;
    nt.failGetKeyboardState = true;
    nt.state[kVkCapital] = 1;
    SetLockKey(nt, kVkCapital, false);
    EXPECT_TRUE(nt.callsAfter(2).empty()) << "off is wanted and off is what was read";
    SetLockKey(nt, kVkCapital, true);
    EXPECT_EQ(nt.count(Op::KeybdEvent), 2u);

    FakeKeyboard win95;
    win95.platform = kWin95;
    win95.failGetKeyboardState = true;
    SetLockKey(win95, kVkNumLock, true);
    platform::KeyboardState expected{};
    expected[kVkNumLock] = 1;
    EXPECT_EQ(win95.callsAfter(2), std::vector<FakeKeyboard::Call>{stateWrite(expected)});
}

TEST(SetLockKey, CodesOutside0To255EndTheCallAfterTheQueries) {
    for (std::int16_t vk :
         {std::int16_t{256}, std::int16_t{-1}, std::int16_t{-32768}, std::int16_t{32767}, std::int16_t{20 + 256}}) {
        for (std::uint32_t family : {kWin95, kNt}) {
            FakeKeyboard keyboard;
            keyboard.platform = family;
            SetLockKey(keyboard, vk, true);
            EXPECT_EQ(keyboard.calls, kQueries) << "code " << vk << " family " << family;
        }
    }
    FakeKeyboard edge;
    SetLockKey(edge, 255, true);
    SetLockKey(edge, 0, true);
    std::vector<FakeKeyboard::Call> events;
    for (const auto& call : edge.calls)
        if (call.op == Op::KeybdEvent) events.push_back(call);
    EXPECT_EQ(events, (std::vector<FakeKeyboard::Call>{keyEvent(255, 0x45, 1), keyEvent(255, 0x45, 3),
                                                       keyEvent(0, 0x45, 1), keyEvent(0, 0x45, 3)}));
}

TEST(SetLockKey, FailedPlatformCallsAreSwallowedAndTheReleaseStillSent) {
    FakeKeyboard keyboard;
    keyboard.failKeyDown = true;
    keyboard.failKeyUp = true;
    EXPECT_NO_THROW(SetLockKey(keyboard, kVkNumLock, true));
    EXPECT_EQ(keyboard.callsAfter(2), pressAndRelease(kVkNumLock));

    FakeKeyboard win95;
    win95.platform = kWin95;
    win95.failSetKeyboardState = true;
    EXPECT_NO_THROW(SetLockKey(win95, kVkNumLock, true));
    EXPECT_EQ(win95.count(Op::SetKeyboardState), 1u);
    EXPECT_FALSE(win95.lit(kVkNumLock));
}

TEST(SetLockKey, AsksForTheFamilyAndStateAfreshOnEveryCall) {
    FakeKeyboard keyboard;
    SetLockKey(keyboard, kVkCapital, true);
    ASSERT_TRUE(keyboard.lit(kVkCapital));

    // The family changes between calls: the second call uses the new one.
    keyboard.platform = kWin95;
    keyboard.calls.clear();
    SetLockKey(keyboard, kVkCapital, false);
    EXPECT_EQ(keyboard.count(Op::PlatformId), 1u);
    EXPECT_EQ(keyboard.count(Op::SetKeyboardState), 1u);
    EXPECT_EQ(keyboard.count(Op::KeybdEvent), 0u);
    EXPECT_FALSE(keyboard.lit(kVkCapital));

    // Someone else switches the key on: the next call sees it and does nothing.
    keyboard.setLit(kVkCapital, true);
    keyboard.calls.clear();
    SetLockKey(keyboard, kVkCapital, true);
    EXPECT_EQ(keyboard.calls, kQueries);
}

}  // namespace
}  // namespace tovi
