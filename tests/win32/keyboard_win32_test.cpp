// The Win32 keyboard backend against the system's real lock keys (under
// wine on the build machine), with a second process as a witness: the
// lock_state_probe program beside this one, started before the keys change
// and asked over a pipe what it sees afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "common/keyboard_contract.h"
#include "lockkeys/lock_key_index.h"
#include "lockkeys/set_lock_key.h"
#include "platform/win32/keyboard_win32.h"

namespace tovi {
namespace {

using platform::KeyboardState;
using platform::Win32Keyboard;

struct Key {
    std::int16_t virtualKey;
    int witnessBit;
};
constexpr Key kKeys[] = {{kVkCapital, 1}, {kVkNumLock, 2}, {kVkScroll, 4}};

// Owns one kernel handle.
struct CloseHandleOf {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, CloseHandleOf>;

// The lock_state_probe process, asked line by line.
class Witness {
public:
    Witness() {
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return;
        std::wstring command(path, length);
        command.erase(command.find_last_of(L"\\/") + 1);
        command += L"lock_state_probe.exe";

        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE ends[4];
        if (!CreatePipe(&ends[0], &ends[1], &inheritable, 0)) return;
        const Handle childInput(ends[0]);
        toChild_.reset(ends[1]);
        if (!CreatePipe(&ends[2], &ends[3], &inheritable, 0)) return;
        fromChild_.reset(ends[2]);
        const Handle childOutput(ends[3]);
        SetHandleInformation(toChild_.get(), HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(fromChild_.get(), HANDLE_FLAG_INHERIT, 0);

        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childInput.get();
        startup.hStdOutput = childOutput.get();
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(command.c_str(), nullptr, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                            &process)) {
            return;
        }
        process_.reset(process.hProcess);
        CloseHandle(process.hThread);
    }

    ~Witness() {
        toChild_.reset();  // end of input ends the probe
        if (process_) WaitForSingleObject(process_.get(), 30000);
    }

    // The toggle bits the witness sees (1 Caps Lock, 2 Num Lock, 4 Scroll
    // Lock), or -1 when it does not answer.
    int ask() {
        DWORD written = 0;
        if (!process_ || !WriteFile(toChild_.get(), "q\n", 2, &written, nullptr)) return -1;
        std::string line;
        char c = 0;
        DWORD got = 0;
        while (ReadFile(fromChild_.get(), &c, 1, &got, nullptr) && got == 1 && c != '\n') line += c;
        int caps = 0, num = 0, scroll = 0;
        if (std::sscanf(line.c_str(), "%d %d %d", &caps, &num, &scroll) != 3) return -1;
        return caps | num << 1 | scroll << 2;
    }

    // Asks until the bit shows the expected state, for a second at most.
    int await(int bit, bool on) {
        int seen = -1;
        for (int i = 0; i < 50; ++i) {
            seen = ask();
            if (seen < 0 || ((seen & bit) != 0) == on) break;
            Sleep(20);
        }
        return seen;
    }

private:
    Handle toChild_, fromChild_, process_;
};

// Lets the synthetic events reach this thread's queue and view.
void pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// The keyboard contract on Win32, with a second process as the witness. A
// written state is this thread's view of the keys only.
class Win32Driver final : public contract::KeyboardDriver {
public:
    Win32Driver() { keyboard_.getKeyboardState(initial_); }
    ~Win32Driver() override {
        for (const Key& key : kKeys) SetLockKey(keyboard_, key.virtualKey, (initial_[key.virtualKey] & 1) != 0);
    }
    bool ready() { return witness_.ask() >= 0; }
    platform::Keyboard& keyboard() override { return keyboard_; }
    std::optional<bool> lit(std::int16_t virtualKey) override {
        for (const Key& key : kKeys) {
            if (key.virtualKey != virtualKey) continue;
            const bool here = (state()[virtualKey] & 1) != 0;
            const int seen = witness_.await(key.witnessBit, here);
            if (seen < 0) return std::nullopt;
            return (seen & key.witnessBit) != 0;
        }
        return std::nullopt;
    }
    // Once the synthetic events have reached this thread's queue and view.
    KeyboardState state() override {
        KeyboardState state{};
        for (int i = 0; i < 10; ++i) {
            pump();
            Sleep(10);
        }
        keyboard_.getKeyboardState(state);
        return state;
    }
    bool stateWriteLights() const override { return false; }
    bool refusesOtherKeys() const override { return false; }

private:
    Witness witness_;
    Win32Keyboard keyboard_;
    KeyboardState initial_{};
};

std::unique_ptr<contract::KeyboardDriver> makeWin32Driver() {
    auto driver = std::make_unique<Win32Driver>();
    if (!driver->ready()) ADD_FAILURE() << "the probe did not answer";
    return driver;
}

using contract::KeyboardContract;
INSTANTIATE_TEST_SUITE_P(Win32, KeyboardContract,
                         ::testing::Values(contract::KeyboardBackend{"win32", &makeWin32Driver}));

}  // namespace
}  // namespace tovi
