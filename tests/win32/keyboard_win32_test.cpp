// The Win32 keyboard backend against the system's real lock keys (under
// wine on the build machine), with a second process as a witness: the
// lock_state_probe program beside this one reports what it sees.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "lockkeys/lock_key_index.h"
#include "lockkeys/set_lock_key.h"
#include "platform/win32/keyboard_win32.h"

namespace tovi {
namespace {

using platform::KeyboardState;
using platform::Win32Keyboard;

struct Key {
    std::int16_t virtualKey;
    int probeBit;
    const char* name;
};
constexpr Key kKeys[] = {{kVkCapital, 1, "Caps Lock"}, {kVkNumLock, 2, "Num Lock"}, {kVkScroll, 4, "Scroll Lock"}};

// Lets the synthetic events reach this thread's queue and view.
void pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// Runs the probe beside this program; its exit code, or -1.
int probe() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return -1;
    std::wstring command(path, length);
    command.erase(command.find_last_of(L"\\/") + 1);
    command += L"lock_state_probe.exe";

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(command.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0;
    const bool got = GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return got && code != STILL_ACTIVE ? static_cast<int>(code) : -1;
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
    Win32Keyboard keyboard;
    KeyboardState initial{};
    keyboard.getKeyboardState(initial);
    const int before = probe();
    ASSERT_GE(before, 0) << "the probe did not run";
    ASSERT_NE(before, 255) << "the probe could not read the keyboard state";

    for (const Key& key : kKeys) {
        SCOPED_TRACE(key.name);
        SetLockKey(keyboard, key.virtualKey, true);
        EXPECT_TRUE(litHere(keyboard, key.virtualKey, true));
        EXPECT_EQ(probe() & key.probeBit, key.probeBit);

        // Already on: a second call sends nothing, so the key stays on.
        SetLockKey(keyboard, key.virtualKey, true);
        EXPECT_TRUE(litHere(keyboard, key.virtualKey, true));

        SetLockKey(keyboard, key.virtualKey, false);
        EXPECT_FALSE(litHere(keyboard, key.virtualKey, false));
        EXPECT_EQ(probe() & key.probeBit, 0);
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
