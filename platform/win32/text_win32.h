// Text across the Win32 boundary: UTF-8 to the system's UTF-16 and back, a
// window's text, and the thread's last error as fail() takes it.
//
// Free functions without state, shared by the files of the Win32 backend;
// callable from any thread.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "base/error.h"

namespace tovi::platform::win32 {

// The thread's last error, for tovi::fail().
std::error_code lastError();

// The plain forms never refuse text: what is not valid UTF-8 (UTF-16)
// becomes U+FFFD; they throw only when the system fails. The exact forms
// give nothing for text that is not valid.
std::wstring widen(std::string_view text);
std::string narrow(std::wstring_view wide);
std::optional<std::wstring> widenExact(std::string_view text);
std::optional<std::string> narrowExact(std::wstring_view wide);

std::string windowText(HWND hwnd);

}  // namespace tovi::platform::win32
