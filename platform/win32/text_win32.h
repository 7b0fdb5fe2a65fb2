// Text across the Win32 boundary: UTF-8 to the system's UTF-16 and back, a
// window's text, and the failure of a system call as a tovi::Error.
//
// Free functions without state, shared by the files of the Win32 window
// toolkit; callable from any thread.
#pragma once

#include <windows.h>

#include <string>

namespace tovi::platform::win32 {

// Throws the call's failure with the thread's last error.
[[noreturn]] void fail(const char* call);

std::wstring widen(const std::string& text);
std::string narrow(const std::wstring& wide);

std::string windowText(HWND hwnd);

}  // namespace tovi::platform::win32
