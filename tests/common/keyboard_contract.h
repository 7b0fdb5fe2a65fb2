// What every lock-key backend promises (see contract_suite.h). The driver
// gives the keyboard and a witness of its lights beside it (another client or
// process, the device), and leaves the keys as it found them.
#pragma once

#include <cstdint>
#include <optional>

#include "common/contract_suite.h"
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
    // Whether a written state reaches the lights, not only this program's view.
    virtual bool stateWriteLights() const { return true; }
    // Whether events for keys other than the three lock keys are refused.
    virtual bool refusesOtherKeys() const { return true; }
};

using KeyboardBackend = BackendOf<KeyboardDriver>;

class KeyboardContract : public ContractSuite<KeyboardDriver> {};

}  // namespace tovi::contract
