// The Win32 keyboard backend against the system's real lock keys (under
// wine on the build machine), with a second process as a witness: the
// lock_state_probe program beside this one, started before the keys change
// and asked over a pipe what it sees afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>

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
    const char* name;
};
constexpr Key kKeys[] = {{kVkCapital, 1, "Caps Lock"}, {kVkNumLock, 2, "Num Lock"}, {kVkScroll, 4, "Scroll Lock"}};

// Owns one kernel handle.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { reset(); }
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE get() const { return handle_; }
    HANDLE* receive() {
        reset();
        return &handle_;
    }
    void reset() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = nullptr;
    }
    explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_ = nullptr;
};

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
        Handle childInput, childOutput;
        if (!CreatePipe(childInput.receive(), toChild_.receive(), &inheritable, 0)) return;
        if (!CreatePipe(fromChild_.receive(), childOutput.receive(), &inheritable, 0)) return;
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
        process_ = Handle(process.hProcess);
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

// The key's toggle bit as this thread sees it, once the events have arrived.
bool litHere(Win32Keyboard& keyboard, std::int16_t vk, bool expected) {
    KeyboardState state{};
    for (int i = 0; i < 100; ++i) {
        pump();
        keyboard.getKeyboardState(state);
        if (((state[vk] & 1) != 0) == expected) break;
        Sleep(10);
    }
    return (state[vk] & 1) != 0;
}

TEST(Win32Keyboard, VersionRecordNamesTheNtFamily) {
    Win32Keyboard keyboard;
    EXPECT_EQ(keyboard.platformId(), platform::kVerPlatformWin32Nt);
}

TEST(Win32Keyboard, SetLockKeyTogglesEachLockForThisAndAnotherProcess) {
    Witness witness;
    ASSERT_GE(witness.ask(), 0) << "the probe did not answer";
    Win32Keyboard keyboard;
    KeyboardState initial{};
    keyboard.getKeyboardState(initial);

    for (const Key& key : kKeys) {
        SCOPED_TRACE(key.name);
        SetLockKey(keyboard, key.virtualKey, true);
        EXPECT_TRUE(litHere(keyboard, key.virtualKey, true));
        EXPECT_EQ(witness.await(key.witnessBit, true) & key.witnessBit, key.witnessBit);

        // Already on: a second call sends nothing, so the key stays on.
        SetLockKey(keyboard, key.virtualKey, true);
        EXPECT_TRUE(litHere(keyboard, key.virtualKey, true));

        SetLockKey(keyboard, key.virtualKey, false);
        EXPECT_FALSE(litHere(keyboard, key.virtualKey, false));
        EXPECT_EQ(witness.await(key.witnessBit, false) & key.witnessBit, 0);
    }

    // Leave the keys as they were found.
    for (const Key& key : kKeys) SetLockKey(keyboard, key.virtualKey, (initial[key.virtualKey] & 1) != 0);
}

TEST(Win32Keyboard, StateWriteIsTakenByThisThread) {
    Win32Keyboard keyboard;
    KeyboardState state{};
    keyboard.getKeyboardState(state);
    KeyboardState written = state;
    written[VK_SCROLL] ^= 1;
    ASSERT_NO_THROW(keyboard.setKeyboardState(written));
    KeyboardState read{};
    ASSERT_TRUE(GetKeyboardState(read.data()));
    EXPECT_EQ(read[VK_SCROLL] & 1, written[VK_SCROLL] & 1);
    keyboard.setKeyboardState(state);
}

}  // namespace
}  // namespace tovi
