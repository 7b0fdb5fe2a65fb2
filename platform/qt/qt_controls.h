// The controls of the Qt toolkit's window: a check box, a drop-down list, a
// label, a push button and a timer, each the seam's control over one Qt
// object. Shared by the files of the Qt backend only.
//
// The window owns the Qt widgets (as their parent) and the control objects;
// a control holds a guarded pointer to its widget and refuses every use once
// the window has unloaded and destroyed it. The timer owns its QTimer. A
// user's click raises the control's handler through the toolkit, which ends
// a failure there; a change the program makes raises it to the program.
// Everything runs on the toolkit's thread.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "base/error.h"
#include "platform/qt/qt_convert.h"
#include "platform/qt/toolkit_qt_internal.h"
#include "platform/toolkit.h"

namespace tovi::platform::qt {

// A child that the window destroys when it unloads; afterwards every use of
// the control is refused.
template <class Widget>
class Child {
protected:
    explicit Child(Widget* widget) : widget_(widget) {}
    Widget& widget() const {
        if (!widget_) throw Error("the window has been unloaded");
        return *widget_;
    }

private:
    QPointer<Widget> widget_;
};

// A user's click moves between unchecked and checked only; grayed is for the
// program to set, and a click on a grayed box checks it.
class TwoWayTristateCheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override { setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked); }
};

class QtCheckBox final : public CheckBox, Child<QCheckBox> {
public:
    explicit QtCheckBox(QCheckBox* box) : Child(box) {}

    std::int16_t value() const override {
        switch (widget().checkState()) {
        case Qt::Unchecked:
            return 0;
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
        }
        return 0;
    }

    void setValue(std::int16_t state) override {
        static constexpr Qt::CheckState kStates[] = {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked};
        if (state < 0 || state > 2) throw Error("check-box state out of range");
        widget().setCheckState(kStates[state]);
    }
};

// The closed box shows the selected entry in its edit field; how wide that
// field is only the style knows.
class ListBox final : public QComboBox {
public:
    using QComboBox::QComboBox;

    int textWidth() const {
        QStyleOptionComboBox option;
        initStyleOption(&option);
        return style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this).width();
    }
};

class QtComboBox final : public ComboBox, Child<QComboBox> {
public:
    QtComboBox(QtToolkit& toolkit, QComboBox* list, TextChanged textChanged)
        : Child(list), toolkit_(toolkit), textChanged_(std::move(textChanged)) {
        // A user's pick. Programmatic changes block this signal and raise the
        // handler themselves, so each change raises it exactly once.
        QObject::connect(list, &QComboBox::currentIndexChanged, list, [this](int) {
            if (onClick_) toolkit_.dispatch(onClick_);
        });
    }

    void addItem(const std::string& text) override {
        QComboBox& list = widget();
        const QSignalBlocker blocker(&list);
        const int selected = list.currentIndex();
        list.addItem(toQString(text), QVariant(static_cast<qint32>(0)));
        // Qt selects the first entry added to an empty list; this list keeps
        // "no selection" until the program chooses one.
        if (list.currentIndex() != selected) list.setCurrentIndex(selected);
        newIndex_ = list.count() - 1;
        textChanged_();
    }

    std::int32_t newIndex() const override { return newIndex_; }
    std::int32_t listCount() const override { return widget().count(); }

    std::string itemText(std::int32_t index) const override {
        checkEntry(index);
        return widget().itemText(index).toStdString();
    }

    std::int32_t itemData(std::int32_t index) const override {
        checkEntry(index);
        return widget().itemData(index, Qt::UserRole).toInt();
    }

    void setItemData(std::int32_t index, std::int32_t value) override {
        checkEntry(index);
        widget().setItemData(index, QVariant(static_cast<qint32>(value)), Qt::UserRole);
    }

    std::int32_t listIndex() const override { return widget().currentIndex(); }

    void setListIndex(std::int32_t index) override {
        QComboBox& list = widget();
        if (index < -1 || index >= list.count()) throw Error("list position out of range");
        if (index == list.currentIndex()) return;
        {
            const QSignalBlocker blocker(&list);
            list.setCurrentIndex(index);
        }
        toolkit_.call(onClick_);
    }

    void setOnClick(std::function<void()> handler) override { onClick_ = std::move(handler); }

private:
    void checkEntry(std::int32_t index) const {
        if (index < 0 || index >= widget().count()) throw Error("list position out of range");
    }

    QtToolkit& toolkit_;
    TextChanged textChanged_;
    std::int32_t newIndex_ = -1;
    std::function<void()> onClick_;
};

class QtLabel final : public Label, Child<QLabel> {
public:
    QtLabel(QLabel* label, std::string caption, TextChanged textChanged)
        : Child(label), caption_(std::move(caption)), textChanged_(std::move(textChanged)) {}

    std::string caption() const override {
        widget();  // refused once the window is gone, like every other control
        return caption_;
    }

    void setCaption(const std::string& text) override {
        widget().setText(toQString(text));
        caption_ = text;
        textChanged_();
    }

private:
    std::string caption_;  // as given, with its "\r\n" line breaks
    TextChanged textChanged_;
};

class QtButton final : public Button, Child<QPushButton> {
public:
    QtButton(QtToolkit& toolkit, QPushButton* button) : Child(button), toolkit_(toolkit) {
        QObject::connect(button, &QAbstractButton::clicked, button, [this] {
            if (onClick_) toolkit_.dispatch(onClick_);
        });
    }

    void setOnClick(std::function<void()> handler) override { onClick_ = std::move(handler); }

private:
    QtToolkit& toolkit_;
    std::function<void()> onClick_;
};

class QtTimer final : public Timer {
public:
    QtTimer(QtToolkit& toolkit, std::int32_t interval, bool enabled) : interval_(interval), enabled_(enabled) {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this, &toolkit] { toolkit.tick(onTick_); });
        apply();
    }

    std::int32_t interval() const override { return interval_; }

    void setInterval(std::int32_t milliseconds) override {
        interval_ = milliseconds;
        apply();
    }

    bool enabled() const override { return enabled_; }

    void setEnabled(bool enabled) override {
        enabled_ = enabled;
        apply();
    }

    void setOnTick(std::function<void()> handler) override { onTick_ = std::move(handler); }

    // The window has unloaded: no tick ever again, whatever is set later.
    void retire() {
        retired_ = true;
        timer_.stop();
    }

private:
    void apply() {
        // QTimer takes an interval of 0 as "on every pass of the event loop";
        // here it means the timer never fires, so it is stopped instead.
        if (retired_ || !enabled_ || interval_ <= 0) {
            timer_.stop();
        } else if (!timer_.isActive() || timer_.interval() != interval_) {
            // Re-setting the running interval does not restart the count, so
            // frequent re-arming cannot starve the tick.
            timer_.start(interval_);
        }
    }

    QTimer timer_;
    std::int32_t interval_;  // milliseconds
    bool enabled_;
    bool retired_ = false;
    std::function<void()> onTick_;
};

}  // namespace tovi::platform::qt
