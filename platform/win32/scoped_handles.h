// Owning wrappers for the GDI and user handles the Win32 window toolkit
// holds: an icon, a font and the screen's device context, each released
// on every path out.
//
// Icons are movable, the font and the device context neither movable nor
// copyable. Used on the window thread.
#pragma once

#include <windows.h>

#include <utility>

#include "platform/win32/text_win32.h"

namespace tovi::platform::win32 {

class UniqueIcon {
public:
    UniqueIcon() = default;
    explicit UniqueIcon(HICON icon) : icon_(icon) {}
    UniqueIcon(UniqueIcon&& other) noexcept : icon_(std::exchange(other.icon_, nullptr)) {}
    UniqueIcon& operator=(UniqueIcon&& other) noexcept {
        std::swap(icon_, other.icon_);
        return *this;
    }
    ~UniqueIcon() {
        if (icon_) DestroyIcon(icon_);
    }
    HICON get() const { return icon_; }

private:
    HICON icon_ = nullptr;
};

class UniqueFont {
public:
    explicit UniqueFont(HFONT font) : font_(font) {}
    UniqueFont(const UniqueFont&) = delete;
    UniqueFont& operator=(const UniqueFont&) = delete;
    ~UniqueFont() {
        if (font_) DeleteObject(font_);
    }
    HFONT get() const { return font_; }

private:
    HFONT font_;
};

class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {
        if (!dc_) fail("GetDC", lastError());
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    ~ScreenDc() { ReleaseDC(nullptr, dc_); }
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

}  // namespace tovi::platform::win32
