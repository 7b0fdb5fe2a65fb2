#include "platform/win32/text_win32.h"

#include <algorithm>

#include "base/error.h"

namespace tovi::platform::win32 {

namespace {

// flags: 0, or the flag that refuses invalid input. Nothing when the system
// refused the text.
std::optional<std::wstring> toWide(std::string_view text, DWORD flags) {
    if (text.empty()) return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, flags, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::optional<std::string> toUtf8(std::wstring_view wide, DWORD flags) {
    if (wide.empty()) return std::string();
    const int length =
        WideCharToMultiByte(CP_UTF8, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::nullopt;
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, flags, wide.data(), static_cast<int>(wide.size()), text.data(), length, nullptr,
                        nullptr);
    return text;
}

}  // namespace

std::error_code lastError() { return {static_cast<int>(GetLastError()), std::system_category()}; }

std::wstring widen(std::string_view text) {
    std::optional<std::wstring> wide = toWide(text, 0);
    if (!wide) fail("MultiByteToWideChar", lastError());
    return std::move(*wide);
}

std::string narrow(std::wstring_view wide) {
    std::optional<std::string> text = toUtf8(wide, 0);
    if (!text) fail("WideCharToMultiByte", lastError());
    return std::move(*text);
}

std::optional<std::wstring> widenExact(std::string_view text) { return toWide(text, MB_ERR_INVALID_CHARS); }

std::optional<std::string> narrowExact(std::wstring_view wide) { return toUtf8(wide, WC_ERR_INVALID_CHARS); }

std::string windowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(hwnd, wide.data(), length + 1);
    wide.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return narrow(wide);
}

}  // namespace tovi::platform::win32
