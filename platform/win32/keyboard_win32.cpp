#include "platform/win32/keyboard_win32.h"

#include <windows.h>

#include <cstring>

#include "base/error.h"

namespace tovi::platform {

static_assert(sizeof(OSVERSIONINFOA) == 148, "the ANSI version record is 148 bytes");
static_assert(VER_PLATFORM_WIN32_WINDOWS == kVerPlatformWin32Windows && VER_PLATFORM_WIN32_NT == kVerPlatformWin32Nt);
static_assert(KEYEVENTF_EXTENDEDKEY == kKeyEventExtendedKey && KEYEVENTF_KEYUP == kKeyEventKeyUp);

std::uint32_t Win32Keyboard::platformId() {
    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) throw Error("GetVersionExA failed");
    return version.dwPlatformId;
}

void Win32Keyboard::getKeyboardState(KeyboardState& state) {
    // Brings this thread's view of the keys up to date; its result is not wanted.
    GetKeyState(0);
    if (!GetKeyboardState(state.data())) throw Error("GetKeyboardState failed");
}

void Win32Keyboard::setKeyboardState(const KeyboardState& state) {
    // The call takes a non-const pointer but only reads the array.
    KeyboardState copy = state;
    if (!SetKeyboardState(copy.data())) throw Error("SetKeyboardState failed");
}

void Win32Keyboard::keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                               std::uint32_t extraInfo) {
    keybd_event(virtualKey, scanCode, flags, extraInfo);
}

}  // namespace tovi::platform
