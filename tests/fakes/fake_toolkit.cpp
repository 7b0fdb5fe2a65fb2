#include "fakes/fake_toolkit.h"

#include "base/error.h"
#include "base/scope_exit.h"

namespace tovi::fakes {

FakeCheckBox::FakeCheckBox(FakeWindow& owner, const platform::ControlSpec& desc)
    : MemoryCheckBox(owner), desc(desc) {}

FakeComboBox::FakeComboBox(FakeWindow& owner, const platform::ControlSpec& desc)
    : MemoryComboBox(owner), desc(desc) {}

FakeLabel::FakeLabel(FakeWindow& owner, const platform::ControlSpec& desc)
    : MemoryLabel(owner, desc.caption), desc(desc) {}

FakeButton::FakeButton(FakeWindow& owner, const platform::ControlSpec& desc) : MemoryButton(owner), desc(desc) {}

bool FakeTimer::tick() {
    if (!running() || !owner_.idle()) return false;
    owner_.raise(onTick_);
    return true;
}

FakeWindow::~FakeWindow() {
    if (toolkit_.window == this) toolkit_.window = nullptr;
}

platform::CheckBox& FakeWindow::createCheckBox(const platform::ControlSpec& desc) {
    return *(checkBoxes_[desc.name] = std::make_unique<FakeCheckBox>(*this, desc));
}

platform::ComboBox& FakeWindow::createComboBox(const platform::ControlSpec& desc) {
    return *(comboBoxes_[desc.name] = std::make_unique<FakeComboBox>(*this, desc));
}

platform::Label& FakeWindow::createLabel(const platform::ControlSpec& desc) {
    return *(labels_[desc.name] = std::make_unique<FakeLabel>(*this, desc));
}

platform::Button& FakeWindow::createButton(const platform::ControlSpec& desc) {
    return *(buttons_[desc.name] = std::make_unique<FakeButton>(*this, desc));
}

platform::Timer& FakeWindow::createTimer(std::int32_t intervalMs, bool enabled) {
    timers_.push_back(std::make_unique<FakeTimer>(*this, intervalMs, enabled));
    return *timers_.back();
}

void FakeWindow::showFirst() {
    shownFirst = true;
    visible_ = true;
}

void FakeWindow::setWindowState(platform::WindowState state) {
    checkLoaded();
    if (state == state_) return;
    state_ = state;
    resize();
}

void FakeWindow::setVisible(bool visible) {
    checkLoaded();
    visible_ = visible;
}

void FakeWindow::unload() {
    if (unloaded) return;
    unloaded = true;
    // The window closes even when the unload handler fails; its controls
    // serve the handler until then.
    const ScopeExit close([this] {
        closed_ = true;
        visible_ = false;
    });
    raise(onUnload_);
}

void FakeWindow::checkLoaded() const {
    if (closed_) throw Error("the window has been unloaded");
}

void FakeWindow::raise(const std::function<void()>& handler) {
    if (!handler) return;
    ++toolkit_.busy;
    const ScopeExit done([this] { --toolkit_.busy; });
    handler();
}

bool FakeWindow::idle() const { return !unloaded && toolkit_.busy == 0; }

FakeCheckBox& FakeWindow::checkBox(const std::string& name) const { return *checkBoxes_.at(name); }
FakeComboBox& FakeWindow::comboBox(const std::string& name) const { return *comboBoxes_.at(name); }
FakeLabel& FakeWindow::label(const std::string& name) const { return *labels_.at(name); }
FakeButton& FakeWindow::button(const std::string& name) const { return *buttons_.at(name); }

std::unique_ptr<platform::Window> FakeToolkit::createWindow(const platform::WindowSpec& desc) {
    auto created = std::make_unique<FakeWindow>(*this, desc);
    window = created.get();
    return created;
}

void FakeToolkit::messageBox(const std::string& text, const std::string& title) {
    boxes.push_back({text, title});
    if (!whileOpen) return;
    ++busy;
    const ScopeExit closed([this] { --busy; });
    whileOpen(boxes.back());
}

void FakeToolkit::end() { throw Ended{}; }

}  // namespace tovi::fakes
