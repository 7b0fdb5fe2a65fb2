#include "fakes/fake_toolkit.h"

#include "base/error.h"

namespace tovi::fakes {

void FakeCheckBox::setValue(std::int16_t state) {
    if (state < 0 || state > 2) throw Error("invalid check-box state");
    value_ = state;
}

void FakeComboBox::addItem(const std::string& text) {
    items_.push_back({text, 0});
    newIndex_ = static_cast<std::int32_t>(items_.size()) - 1;
}

std::string FakeComboBox::itemText(std::int32_t index) const {
    if (index < 0 || index >= listCount()) throw Error("invalid list position");
    return items_[static_cast<std::size_t>(index)].text;
}

std::int32_t FakeComboBox::itemData(std::int32_t index) const {
    if (index < 0 || index >= listCount()) throw Error("invalid list position");
    return items_[static_cast<std::size_t>(index)].data;
}

void FakeComboBox::setItemData(std::int32_t index, std::int32_t value) {
    if (index < 0 || index >= listCount()) throw Error("invalid list position");
    items_[static_cast<std::size_t>(index)].data = value;
}

void FakeComboBox::setListIndex(std::int32_t index) {
    if (index < -1 || index >= listCount()) throw Error("invalid list position");
    if (index == listIndex_) return;
    listIndex_ = index;
    ++clicks;
    if (onClick_) onClick_();
}

bool FakeTimer::tick() {
    if (!running()) return false;
    if (onTick_) onTick_();
    return true;
}

FakeWindow::~FakeWindow() {
    if (toolkit_.window == this) toolkit_.window = nullptr;
}

platform::CheckBox& FakeWindow::createCheckBox(const platform::ControlSpec& desc) {
    createdOrder.push_back(desc.name);
    return *(checkBoxes_[desc.name] = std::make_unique<FakeCheckBox>(desc));
}

platform::ComboBox& FakeWindow::createComboBox(const platform::ControlSpec& desc) {
    createdOrder.push_back(desc.name);
    return *(comboBoxes_[desc.name] = std::make_unique<FakeComboBox>(desc));
}

platform::Label& FakeWindow::createLabel(const platform::ControlSpec& desc) {
    createdOrder.push_back(desc.name);
    return *(labels_[desc.name] = std::make_unique<FakeLabel>(desc));
}

platform::Button& FakeWindow::createButton(const platform::ControlSpec& desc) {
    createdOrder.push_back(desc.name);
    return *(buttons_[desc.name] = std::make_unique<FakeButton>(desc));
}

platform::Timer& FakeWindow::createTimer(std::int32_t intervalMs, bool enabled) {
    timers_.push_back(std::make_unique<FakeTimer>(intervalMs, enabled));
    return *timers_.back();
}

void FakeWindow::showFirst() {
    shownFirst = true;
    visible_ = true;
}

void FakeWindow::setWindowState(platform::WindowState state) {
    if (state == state_) return;
    state_ = state;
    resize();
}

void FakeWindow::unload() {
    if (unloaded) return;
    unloaded = true;
    if (onUnload_) onUnload_();
    visible_ = false;
}

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
    if (whileOpen) whileOpen(boxes.back());
}

void FakeToolkit::end() { throw Ended{}; }

}  // namespace tovi::fakes
