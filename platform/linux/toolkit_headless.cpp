#include "platform/linux/toolkit_headless.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <optional>
#include <vector>

#include "base/error.h"

namespace tovi::platform {

namespace {

class MemoryCheckBox final : public CheckBox {
public:
    std::int16_t value() const override { return value_; }
    void setValue(std::int16_t state) override {
        if (state < 0 || state > 2) throw Error("invalid check-box state");
        value_ = state;
    }

private:
    std::int16_t value_ = 0;
};

class MemoryComboBox final : public ComboBox {
public:
    void addItem(const std::string& text) override { items_.push_back({text, 0}); }
    std::int32_t newIndex() const override { return listCount() - 1; }
    std::int32_t listCount() const override { return static_cast<std::int32_t>(items_.size()); }
    std::string itemText(std::int32_t index) const override { return item(index).text; }
    std::int32_t itemData(std::int32_t index) const override { return item(index).data; }
    void setItemData(std::int32_t index, std::int32_t value) override { item(index).data = value; }
    std::int32_t listIndex() const override { return listIndex_; }
    void setListIndex(std::int32_t index) override {
        if (index < -1 || index >= listCount()) throw Error("invalid list position");
        if (index == listIndex_) return;
        listIndex_ = index;
        if (onClick_) onClick_();
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

    std::vector<Item> items_;
    std::int32_t listIndex_ = -1;
    std::function<void()> onClick_;
};

class MemoryLabel final : public Label {
public:
    explicit MemoryLabel(const char* caption) : caption_(caption) {}
    std::string caption() const override { return caption_; }
    void setCaption(const std::string& text) override { caption_ = text; }

private:
    std::string caption_;
};

class MemoryButton final : public Button {
public:
    void setOnClick(std::function<void()>) override {}  // nobody can press it
};

class AbsentNotificationArea final : public NotificationArea {
public:
    bool available() override { return false; }
    bool shellNotifyIcon(std::uint32_t, const NotifyIconData&) override { return false; }
    bool iconShown(const NotifyIconData&) override { return false; }
    void setOnHostChanged(std::function<void()>) override {}  // no host ever comes
    std::vector<int> iconSizes() override { return {16}; }
    std::uintptr_t createIcon(const std::vector<IconPicture>&) override { throw Error("no notification area"); }
};

}  // namespace

class HeadlessToolkit::HeadlessTimer final : public Timer {
public:
    HeadlessTimer(HeadlessToolkit& toolkit, std::int32_t interval, bool enabled)
        : toolkit_(toolkit), interval_(interval), enabled_(enabled) {
        toolkit_.timers_.push_back(this);
        rearm();
    }
    ~HeadlessTimer() override { std::erase(toolkit_.timers_, this); }
    HeadlessTimer(const HeadlessTimer&) = delete;
    HeadlessTimer& operator=(const HeadlessTimer&) = delete;

    std::int32_t interval() const override { return interval_; }
    void setInterval(std::int32_t milliseconds) override {
        interval_ = milliseconds;
        rearm();
    }
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override {
        if (enabled == enabled_) return;
        enabled_ = enabled;
        rearm();
    }
    void setOnTick(std::function<void()> handler) override { onTick_ = std::move(handler); }

    // When it fires next; empty while it cannot fire.
    const std::optional<Clock::time_point>& due() const { return due_; }

    // Fires when due by now. The next tick follows one interval after this
    // one was due; a timer that fell behind by more than that starts afresh
    // rather than firing the missed ticks in a burst.
    void fireIfDue(Clock::time_point now) {
        if (!due_ || *due_ > now) return;
        const auto period = std::chrono::milliseconds(interval_);
        due_ = *due_ + period > now ? *due_ + period : now + period;
        if (onTick_) onTick_();
    }

private:
    void rearm() {
        if (enabled_ && interval_ > 0) {
            due_ = Clock::now() + std::chrono::milliseconds(interval_);
        } else {
            due_.reset();
        }
    }

    HeadlessToolkit& toolkit_;
    std::int32_t interval_;  // ms
    bool enabled_;
    std::optional<Clock::time_point> due_;
    std::function<void()> onTick_;
};

class HeadlessWindow final : public Window {
public:
    explicit HeadlessWindow(HeadlessToolkit& toolkit) : toolkit_(toolkit) {}

    CheckBox& createCheckBox(const ControlSpec&) override { return keep<MemoryCheckBox>(); }
    ComboBox& createComboBox(const ControlSpec&) override { return keep<MemoryComboBox>(); }
    Label& createLabel(const ControlSpec& desc) override { return keep<MemoryLabel>(desc.caption); }
    Button& createButton(const ControlSpec&) override { return keep<MemoryButton>(); }
    Timer& createTimer(std::int32_t intervalMs, bool enabled) override {
        timers_.push_back(std::make_unique<HeadlessToolkit::HeadlessTimer>(toolkit_, intervalMs, enabled));
        return *timers_.back();
    }

    void showFirst() override {}
    WindowState windowState() const override { return state_; }
    void setWindowState(WindowState state) override { state_ = state; }
    bool visible() const override { return false; }
    void setVisible(bool) override {}
    std::uintptr_t nativeHandle() const override { return 0; }
    std::uintptr_t iconHandle() const override { return 0; }

    void setOnResize(std::function<void()>) override {}
    void setOnMouseMove(std::function<void(std::int16_t, std::int16_t, float, float)>) override {}
    void setOnUnload(std::function<void()> handler) override { onUnload_ = std::move(handler); }

    void unload() override {
        if (unloaded_) return;
        unloaded_ = true;
        if (onUnload_) onUnload_();
        timers_.clear();
        toolkit_.unloaded_ = true;
    }

private:
    template <class Control, class... Args>
    Control& keep(Args&&... args) {
        auto control = std::make_unique<Control>(std::forward<Args>(args)...);
        Control& kept = *control;
        controls_.push_back(std::shared_ptr<void>(std::move(control)));
        return kept;
    }

    HeadlessToolkit& toolkit_;
    std::vector<std::shared_ptr<void>> controls_;
    std::vector<std::unique_ptr<HeadlessToolkit::HeadlessTimer>> timers_;
    std::function<void()> onUnload_;
    WindowState state_ = WindowState::Normal;
    bool unloaded_ = false;
};

// Turns the end signals into a readable descriptor for as long as it lives;
// the signals ignored at start are left alone.
class HeadlessToolkit::EndSignals {
public:
    EndSignals() {
        sigemptyset(&watched_);
        for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
            struct sigaction before {};
            if (::sigaction(number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
            sigaddset(&watched_, number);
        }
        if (::sigprocmask(SIG_BLOCK, &watched_, &before_) != 0) throw Error("cannot block the end signals");
        fd_ = ::signalfd(-1, &watched_, SFD_CLOEXEC | SFD_NONBLOCK);
        if (fd_ < 0) {
            ::sigprocmask(SIG_SETMASK, &before_, nullptr);
            throw Error("cannot watch the end signals");
        }
    }
    ~EndSignals() {
        ::close(fd_);
        ::sigprocmask(SIG_SETMASK, &before_, nullptr);
    }
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;
    int fd() const { return fd_; }
    // Takes the pending signals, so that none is delivered when the mask is
    // given back at exit.
    void drain() {
        signalfd_siginfo info{};
        while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {}
    }

private:
    sigset_t watched_;
    sigset_t before_;
    int fd_ = -1;
};

HeadlessToolkit::HeadlessToolkit() : signals_(std::make_unique<EndSignals>()) {}

HeadlessToolkit::~HeadlessToolkit() = default;

std::unique_ptr<Window> HeadlessToolkit::createWindow(const WindowSpec&) {
    return std::make_unique<HeadlessWindow>(*this);
}

void HeadlessToolkit::messageBox(const std::string& text, const std::string&) {
    if (told_.insert(text).second) std::cerr << "tovi: " << text << '\n' << std::flush;
}

bool HeadlessToolkit::wait(int fd, int timeoutMs) {
    std::optional<Clock::time_point> next;
    for (const HeadlessTimer* timer : timers_) {
        if (timer->due() && (!next || *timer->due() < *next)) next = timer->due();
    }
    const Clock::time_point now = Clock::now();
    std::optional<Clock::duration> left;
    if (next) left = std::max(*next - now, Clock::duration::zero());
    if (timeoutMs >= 0 && (!left || *left > std::chrono::milliseconds(timeoutMs))) {
        left = std::chrono::milliseconds(timeoutMs);
    }
    timespec limit{};
    if (left) {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*left).count();
        limit.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
        limit.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    }
    pollfd watched{fd, POLLIN, 0};
    const int ready = ::ppoll(&watched, fd < 0 ? 0 : 1, left ? &limit : nullptr, nullptr);
    return ready > 0 && (watched.revents & POLLIN) != 0;
}

void HeadlessToolkit::fire() {
    const Clock::time_point now = Clock::now();
    // A handler may create or destroy timers: walk a copy, and fire only
    // those still alive.
    const std::vector<HeadlessTimer*> timers = timers_;
    for (HeadlessTimer* timer : timers) {
        if (unloaded_) return;
        if (std::find(timers_.begin(), timers_.end(), timer) != timers_.end()) timer->fireIfDue(now);
    }
}

bool HeadlessToolkit::fireDue(int timeoutMs) {
    wait(-1, timeoutMs);
    const Clock::time_point now = Clock::now();
    const bool due = std::any_of(timers_.begin(), timers_.end(),
                                 [&](const HeadlessTimer* timer) { return timer->due() && *timer->due() <= now; });
    if (due) fire();
    return due;
}

int HeadlessToolkit::run() {
    while (!unloaded_) {
        if (wait(signals_->fd(), -1)) {  // asked to end
            signals_->drain();
            break;
        }
        fire();
    }
    return 0;
}

void HeadlessToolkit::end() {
    std::cout.flush();
    ::_exit(0);
}

NotificationArea& absentNotificationArea() {
    static AbsentNotificationArea area;
    return area;
}

}  // namespace tovi::platform
