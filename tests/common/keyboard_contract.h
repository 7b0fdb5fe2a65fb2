// What every lock-key backend promises through the seam (platform/keyboard.h),
// checked once (keyboard_contract.cpp) and run against each of them. A test
// program instantiates the suite with a factory for its driver:
//
//     INSTANTIATE_TEST_SUITE_P(X11, KeyboardContract, ::testing::Values(KeyboardBackend{"x11", &makeX11}));
//
// The driver gives the keyboard and a witness of the lights that does not go
// through it (another client, another process, the device); it leaves the
// keys as it found them when destroyed.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>

#include "platform/keyboard.h"

namespace tovi::contract {

class KeyboardDriver {
public:
    virtual ~KeyboardDriver() = default;
    virtual platform::Keyboard& keyboard() = 0;
    // Whether the key's light is on as the witness sees it once what was sent
    // has arrived, or nothing when the witness does not answer.
    virtual std::optional<bool> lit(std::int16_t virtualKey) = 0;
    // The keyboard's own state once what was sent has arrived.
    virtual platform::KeyboardState state() {
        platform::KeyboardState state{};
        keyboard().getKeyboardState(state);
        return state;
    }
    // Whether a written state reaches the lights too, not only this
    // program's view of the keys.
    virtual bool stateWriteLights() const { return true; }
    // Whether events for keys other than the three lock keys are refused.
    virtual bool refusesOtherKeys() const { return true; }
};

// A backend under test: makes its driver, or nullptr when it cannot run here.
struct KeyboardBackend {
    const char* name;
    std::unique_ptr<KeyboardDriver> (*makeDriver)();
};

inline void PrintTo(const KeyboardBackend& backend, std::ostream* out) { *out << backend.name; }

class KeyboardContract : public ::testing::TestWithParam<KeyboardBackend> {
protected:
    void SetUp() override {
        driver = GetParam().makeDriver();
        if (!driver) GTEST_SKIP() << "this keyboard cannot run here";
    }
    std::unique_ptr<KeyboardDriver> driver;
};

}  // namespace tovi::contract
