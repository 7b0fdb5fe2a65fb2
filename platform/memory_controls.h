// Controls that keep their values in memory: nothing on screen, the values
// held and refused as the seam says (platform/toolkit.h). The window of the
// toolkit without a screen is made of them, and so are the test fakes, which
// add a user's clicks on top.
//
// Each control asks its host before every use (a host may refuse once its
// window has unloaded) and raises its click handler through the host. Owned
// by their window, which outlives them; one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "platform/toolkit.h"

namespace tovi::platform {

class MemoryControlHost {
public:
    // Throws tovi::Error when the controls may no longer be used.
    virtual void checkLoaded() const {}
    // Runs a handler of one of the controls (none: nothing).
    virtual void raise(const std::function<void()>& handler) {
        if (handler) handler();
    }

protected:
    ~MemoryControlHost() = default;
};

class MemoryCheckBox : public CheckBox {
public:
    explicit MemoryCheckBox(MemoryControlHost& host) : host_(host) {}
    std::int16_t value() const override {
        host_.checkLoaded();
        return value_;
    }
    void setValue(std::int16_t state) override {
        host_.checkLoaded();
        if (state < 0 || state > 2) throw Error("invalid check-box state");
        value_ = state;
    }

private:
    MemoryControlHost& host_;
    std::int16_t value_ = 0;
};

class MemoryComboBox : public ComboBox {
public:
    explicit MemoryComboBox(MemoryControlHost& host) : host_(host) {}
    void addItem(const std::string& text) override {
        host_.checkLoaded();
        items_.push_back({text, 0});
    }
    std::int32_t newIndex() const override { return listCount() - 1; }
    std::int32_t listCount() const override {
        host_.checkLoaded();
        return static_cast<std::int32_t>(items_.size());
    }
    std::string itemText(std::int32_t index) const override { return item(index).text; }
    std::int32_t itemData(std::int32_t index) const override { return item(index).data; }
    void setItemData(std::int32_t index, std::int32_t value) override { item(index).data = value; }
    std::int32_t listIndex() const override {
        host_.checkLoaded();
        return listIndex_;
    }
    void setListIndex(std::int32_t index) override {
        if (index < -1 || index >= listCount()) throw Error("invalid list position");
        if (index == listIndex_) return;
        listIndex_ = index;
        host_.raise(onClick_);
    }
    void setOnClick(std::function<void()> handler) override { onClick_ = std::move(handler); }

private:
    struct Item {
        std::string text;
        std::int32_t data;
    };
    Item& item(std::int32_t index) {
        if (index < 0 || index >= listCount()) throw Error("invalid list position");
        return items_[static_cast<std::size_t>(index)];
    }
    const Item& item(std::int32_t index) const { return const_cast<MemoryComboBox*>(this)->item(index); }

    MemoryControlHost& host_;
    std::vector<Item> items_;
    std::int32_t listIndex_ = -1;
    std::function<void()> onClick_;
};

class MemoryLabel : public Label {
public:
    MemoryLabel(MemoryControlHost& host, const char* caption) : host_(host), caption_(caption ? caption : "") {}
    std::string caption() const override {
        host_.checkLoaded();
        return caption_;
    }
    void setCaption(const std::string& text) override {
        host_.checkLoaded();
        caption_ = text;
    }

private:
    MemoryControlHost& host_;
    std::string caption_;
};

class MemoryButton : public Button {
public:
    explicit MemoryButton(MemoryControlHost& host) : host_(host) {}
    void setOnClick(std::function<void()> handler) override { onClick_ = std::move(handler); }
    // A press of the button, as a user's click would make it.
    void press() {
        host_.checkLoaded();
        host_.raise(onClick_);
    }

private:
    MemoryControlHost& host_;
    std::function<void()> onClick_;
};

}  // namespace tovi::platform
