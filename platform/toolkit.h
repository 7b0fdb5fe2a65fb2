// The window toolkit: one top-level window with standard controls, two kinds
// of periodic timer, modal message boxes and the event loop.
//
// Geometry is in twips (1440 to the inch) from the top-left corner of the
// window's client area; backends convert with the screen's real resolution.
// Controls belong to their window and live until it is unloaded; the
// references handed out stay valid that long.
//
// Refusals (a check-box state other than 0, 1 or 2, a list position below -1
// or past the end, the item value at position -1) throw tovi::Error.
//
// Everything runs on the window's thread. Events are delivered one at a time;
// a timer never ticks while another handler of the window runs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tovi::platform {

struct Rect {
    int left = 0;    // twips
    int top = 0;     // twips
    int width = 0;   // twips
    int height = 0;  // twips
};

enum class ControlKind { CheckBox, ComboBox, Label, Button };

// One child control as the layout describes it.
struct ControlSpec {
    const char* name;  // "Check1", ...; Qt objectName
    ControlKind kind;
    const char* caption;  // empty for lists
    Rect rect;
    int tabIndex;  // labels hold one but never take the focus
    int id;        // Win32 control ID
    // The label, created before this control, whose caption names it for
    // screen readers; nullptr when its own caption does.
    const char* labelledBy = nullptr;
};

struct WindowSpec {
    const char* name;     // "Main"
    const char* caption;  // title bar
    int clientWidth;      // twips
    int clientHeight;     // twips
};

class CheckBox {
public:
    virtual ~CheckBox() = default;
    // 0 unchecked, 1 checked, 2 grayed. A user's click toggles between 0 and 1.
    virtual std::int16_t value() const = 0;
    virtual void setValue(std::int16_t state) = 0;
};

// A drop-down list that takes no typed text; unsorted, entries in the order added.
class ComboBox {
public:
    virtual ~ComboBox() = default;
    virtual void addItem(const std::string& text) = 0;
    virtual std::int32_t newIndex() const = 0;  // position of the entry added last, -1 if none
    virtual std::int32_t listCount() const = 0;
    virtual std::string itemText(std::int32_t index) const = 0;
    virtual std::int32_t itemData(std::int32_t index) const = 0;
    virtual void setItemData(std::int32_t index, std::int32_t value) = 0;
    // Selected position, 0-based; -1 for none.
    virtual std::int32_t listIndex() const = 0;
    // Selecting a different position raises the click handler once, before
    // returning; selecting the current one raises nothing. A user's pick
    // raises it once too.
    virtual void setListIndex(std::int32_t index) = 0;
    virtual void setOnClick(std::function<void()> handler) = 0;
};

class Label {
public:
    virtual ~Label() = default;
    // Lines are separated by "\r\n".
    virtual std::string caption() const = 0;
    virtual void setCaption(const std::string& text) = 0;
};

class Button {
public:
    virtual ~Button() = default;
    virtual void setOnClick(std::function<void()> handler) = 0;
};

class Timer {
public:
    virtual ~Timer() = default;
    virtual std::int32_t interval() const = 0;  // milliseconds
    // An interval of 0 (or less) never fires, enabled or not.
    virtual void setInterval(std::int32_t milliseconds) = 0;
    virtual bool enabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual void setOnTick(std::function<void()> handler) = 0;
};

enum class WindowState : std::int16_t { Normal = 0, Minimized = 1 };

class Window {
public:
    virtual ~Window() = default;

    // Children, created in layout order before the load handler runs.
    virtual CheckBox& createCheckBox(const ControlSpec& desc) = 0;
    virtual ComboBox& createComboBox(const ControlSpec& desc) = 0;
    virtual Label& createLabel(const ControlSpec& desc) = 0;
    virtual Button& createButton(const ControlSpec& desc) = 0;
    virtual Timer& createTimer(std::int32_t intervalMs, bool enabled) = 0;

    // Shows the window for the first time, centred on the screen, with the
    // focus on the control of the lowest tab index that can take it.
    virtual void showFirst() = 0;

    virtual WindowState windowState() const = 0;
    virtual void setWindowState(WindowState state) = 0;
    virtual bool visible() const = 0;
    virtual void setVisible(bool visible) = 0;

    // Opaque handles for the notification area.
    virtual std::uintptr_t nativeHandle() const = 0;
    virtual std::uintptr_t iconHandle() const = 0;

    // Raised after any change of size or window state.
    virtual void setOnResize(std::function<void()> handler) = 0;
    // Button and shift state, pointer position in twips.
    virtual void setOnMouseMove(
        std::function<void(std::int16_t button, std::int16_t shift, float x, float y)> handler) = 0;
    // Raised once, whatever closes the window.
    virtual void setOnUnload(std::function<void()> handler) = 0;

    // Closes the window: runs the unload handler before returning, then
    // destroys the window and its timers, and ends the event loop.
    virtual void unload() = 0;
};

// The application's title: the title of a message box given none.
inline constexpr const char* kApplicationTitle = "Tovi";

class Toolkit {
public:
    virtual ~Toolkit() = default;

    virtual std::unique_ptr<Window> createWindow(const WindowSpec& desc) = 0;

    // Twips per horizontal pixel of the screen (15 at 96 dots per inch).
    virtual int twipsPerPixelX() const = 0;

    // Modal; OK button only, no icon. An empty title means the application's title.
    virtual void messageBox(const std::string& text, const std::string& title = {}) = 0;

    // Runs the event loop until the window unloads. Returns the exit code.
    virtual int run() = 0;

    // Ends the process at once, with nothing further run.
    [[noreturn]] virtual void end() = 0;
};

}  // namespace tovi::platform
