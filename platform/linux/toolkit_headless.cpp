#include "platform/linux/toolkit_headless.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <optional>
#include <vector>

#include "base/error.h"
#include "base/scope_exit.h"
#include "platform/linux/end_signals.h"
#include "platform/memory_controls.h"

namespace tovi::platform {

namespace {

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
        toolkit_.handle(onTick_);
    }

    // Its window has unloaded: it never fires again, but stays for whoever
    // still holds it.
    void retire() {
        retired_ = true;
        due_.reset();
    }

private:
    void rearm() {
        if (enabled_ && interval_ > 0 && !retired_) {
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
    bool retired_ = false;
};

// Its controls are used as they are, even after the window unloaded.
class HeadlessWindow final : public Window, public MemoryControlHost {
public:
    explicit HeadlessWindow(HeadlessToolkit& toolkit) : toolkit_(toolkit) {}

    CheckBox& createCheckBox(const ControlSpec&) override { return keep<MemoryCheckBox>(*this); }
    ComboBox& createComboBox(const ControlSpec&) override { return keep<MemoryComboBox>(*this); }
    Label& createLabel(const ControlSpec& desc) override { return keep<MemoryLabel>(*this, desc.caption); }
    Button& createButton(const ControlSpec&) override { return keep<MemoryButton>(*this); }
    Timer& createTimer(std::int32_t intervalMs, bool enabled) override {
        timers_.push_back(std::make_unique<HeadlessToolkit::HeadlessTimer>(toolkit_, intervalMs, enabled));
        return *timers_.back();
    }

    void showFirst() override {}
    WindowState windowState() const override { return state_; }
    void setWindowState(WindowState state) override {
        checkLoaded();
        state_ = state;
    }
    bool visible() const override { return false; }
    void setVisible(bool) override { checkLoaded(); }
    std::uintptr_t nativeHandle() const override { return 0; }
    std::uintptr_t iconHandle() const override { return 0; }

    void setOnResize(std::function<void()>) override {}
    void setOnMouseMove(std::function<void(std::int16_t, std::int16_t, float, float)>) override {}
    void setOnUnload(std::function<void()> handler) override { onUnload_ = std::move(handler); }

    // The window closes even when its unload handler fails; its controls
    // serve the handler until then.
    void unload() override {
        if (unloaded_) return;
        unloaded_ = true;
        const ScopeExit close([this] {
            closed_ = true;
            for (const auto& timer : timers_) timer->retire();
            toolkit_.unloaded_ = true;
        });
        raise(onUnload_);
    }

    void checkLoaded() const override {
        if (closed_) throw Error("the window has been unloaded");
    }
    void raise(const std::function<void()>& handler) override { toolkit_.handle(handler); }

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
    bool closed_ = false;  // unloaded and its handler done
};

HeadlessToolkit::HeadlessToolkit() : signals_(std::make_unique<EndSignals>()) {
    if (signals_->fd() < 0) throw Error("cannot watch the end signals");
}

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

void HeadlessToolkit::handle(const std::function<void()>& handler) {
    if (!handler) return;
    ++busy_;
    const ScopeExit done([this] { --busy_; });
    handler();
}

void HeadlessToolkit::fire() {
    if (busy_ > 0) return;  // no tick inside another handler
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
            // Later signals still only reach the pipe: the program ends
            // in its own time.
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
