// One Tovi per user session on Windows (platform/single_instance.h).
//
// The claim is a named mutex in the session's namespace (Local\), owned by
// the first instance's window thread: the system gives it up when that
// thread ends, however it ends, so a crashed Tovi blocks no one. The first
// instance also keeps a message-only window named after the same user; a
// later start finds it, lets the first instance take the foreground, and
// sends it a message, which it answers once its window is back. Other
// sessions have their own namespace and their own message windows.
#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "base/guard.h"
#include "platform/single_instance.h"

namespace tovi::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr wchar_t kMessageWindowClass[] = L"Tovi.SingleInstance";
constexpr UINT kShowRequest = WM_APP + 1;
constexpr LRESULT kShown = 1;
// A first Tovi may still be loading (a message box open at start waits for
// the user): a later start looks for it this long, and waits this long for
// its answer.
constexpr auto kFindFor = std::chrono::seconds(5);
constexpr UINT kAnswerForMs = 10000;
constexpr DWORD kRetryEveryMs = 20;

// The user's part of the names; the session's is the namespace.
std::wstring userName() {
    wchar_t name[257] = {};
    DWORD length = static_cast<DWORD>(std::size(name));
    if (!GetUserNameW(name, &length)) return L"user";
    std::wstring text(name);
    for (wchar_t& c : text) {
        if (c == L'\\') c = L'_';  // the one character a kernel object's name may not hold
    }
    return text;
}

struct CloseKernelHandle {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, CloseKernelHandle>;

class Unguarded final : public SingleInstance {
public:
    void setOnShowRequest(std::function<void()>) override {}
};

class FirstInstance final : public SingleInstance {
public:
    FirstInstance(UniqueHandle mutex, const std::wstring& name) : mutex_(std::move(mutex)) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &FirstInstance::procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kMessageWindowClass;
        RegisterClassExW(&wc);  // fails harmlessly when registered already
        // Without it the claim still holds; a later start cannot reach us.
        window_ = CreateWindowExW(0, kMessageWindowClass, name.c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        if (window_) SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }

    ~FirstInstance() override {
        if (window_) DestroyWindow(window_);
        ReleaseMutex(mutex_.get());
    }

    FirstInstance(const FirstInstance&) = delete;
    FirstInstance& operator=(const FirstInstance&) = delete;

    void setOnShowRequest(std::function<void()> handler) override {
        onShow_ = std::move(handler);
        if (onShow_ && std::exchange(pending_, false)) step([&] { onShow_(); });
    }

private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<FirstInstance*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (message != kShowRequest || !self) return DefWindowProcW(hwnd, message, wParam, lParam);
        // A request during the load (a message box pumps messages) waits
        // for the handler.
        if (self->onShow_) {
            step([&] { self->onShow_(); });
        } else {
            self->pending_ = true;
        }
        return kShown;
    }

    UniqueHandle mutex_;  // owned by this thread while the instance lives
    HWND window_ = nullptr;
    std::function<void()> onShow_;
    bool pending_ = false;
};

// Owns the mutex, now or from an owner that ended without letting go.
bool own(const UniqueHandle& mutex) {
    const DWORD got = WaitForSingleObject(mutex.get(), 0);
    return got == WAIT_OBJECT_0 || got == WAIT_ABANDONED;
}

// Finds the first instance's message window and asks it for its window.
InstanceClaim askToShow(UniqueHandle mutex, const std::wstring& name) {
    const auto deadline = Clock::now() + kFindFor;
    for (;;) {
        if (HWND target = FindWindowExW(HWND_MESSAGE, nullptr, kMessageWindowClass, name.c_str())) {
            DWORD pid = 0;
            GetWindowThreadProcessId(target, &pid);
            // The user just started us, so we may hand the foreground on.
            if (pid) AllowSetForegroundWindow(pid);
            DWORD_PTR answer = 0;
            if (SendMessageTimeoutW(target, kShowRequest, 0, 0, SMTO_ABORTIFHUNG, kAnswerForMs, &answer) &&
                answer == static_cast<DWORD_PTR>(kShown)) {
                return {nullptr, true, {}};
            }
            return {nullptr, false, "the Tovi that already runs did not show its window"};
        }
        // Still loading, or just gone: then the claim is free to take.
        if (own(mutex)) return {std::make_unique<FirstInstance>(std::move(mutex), name), false, {}};
        if (Clock::now() >= deadline) return {nullptr, false, "the Tovi that already runs cannot be reached"};
        Sleep(kRetryEveryMs);
    }
}

}  // namespace

InstanceClaim claimSingleInstance(bool withWindow) {
    const std::wstring name = L"Tovi." + userName();
    UniqueHandle mutex(CreateMutexW(nullptr, FALSE, (L"Local\\" + name).c_str()));
    if (!mutex) return {std::make_unique<Unguarded>(), false, {}};
    if (own(mutex)) return {std::make_unique<FirstInstance>(std::move(mutex), name), false, {}};
    if (!withWindow) return {nullptr, false, "another Tovi already runs for this user, so this one ends"};
    return askToShow(std::move(mutex), name);
}

}  // namespace tovi::platform
