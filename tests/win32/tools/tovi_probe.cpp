// Drives a running tovi.exe from outside and checks what it shows, for the
// end-to-end test under wine. It plays the user and the shell with nothing
// but plain user32 messages, so that it is a witness independent of Tovi's
// own code: the window is found by its caption, the controls by their IDs.
//
//   tovi_probe [--timeout=SECONDS] STEP...
//
// The steps run in the order given; the first that fails ends the probe.
// Every step prints one line; the exit status is 0 when all passed, 1 when
// one failed and 2 for a command line it does not understand. Waiting steps
// give up after the timeout (default 30 s: a program start under qemu takes
// several seconds).
//
//   shown | hidden       wait until the window exists and is (in)visible
//   captions             the window's and the controls' fixed texts
//   lists                the 21 interval entries and the two key lists, in
//                        order, with their item values
//   credits              Label4 holds 14 lines, lines 3, 6, 9 and 12 empty
//   expect:NAME=V,...    check boxes (check1..check4) in state V; lists
//                        (combo1..combo3) with position V selected, its
//                        entry's text shown
//   pick:comboN=P        the user picks position P of a list
//   click:NAME           the user clicks save, cancel, exit or check1..check4
//   tray:CODE            the notification area reports event CODE (513
//                        click, 515 double-click, 516 right button down...)
//   settle:MS            lets MS milliseconds pass
//   conflict             the conflict message box is open (or opens): its
//                        title, text and single OK button; presses OK
//   nobox                no conflict message box is open
//   close                asks the window to close (WM_CLOSE), then "ended"
//   ended                the program has ended with exit status 0
//   second               starts the program once more: that start must end
//                        with status 0 and bring the first one's window
//                        back; prints how long that took
//   unstored             the program's registry branch does not exist
//   press:caps|num|scroll  the user presses and releases that lock key
//   keys:C,N,S           this process sees Caps, Num and Scroll Lock in
//                        these states (0 or 1), waiting until it does
//
// Single-threaded but for one helper thread that delivers a message which
// may open a modal box in the program (see Pending).
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "platform/win32/text_win32.h"

namespace {

constexpr char kCaption[] = "Tovi - Lampfeld v1.10";
constexpr char kBoxClass[] = "#32770";
constexpr char kBoxTitle[] = "Tovi - Feldlamp";
constexpr wchar_t kConflictText[] = L"You assign upload and download to the same lock-key";

struct Entry {
    const wchar_t* text;
    LRESULT itemData;
};

const Entry kIntervals[] = {
    {L"25 milliseconds", 25},     {L"50 milliseconds", 50},     {L"75 milliseconds", 75},
    {L"100 milliseconds", 100},   {L"125 milliseconds", 125},   {L"150 milliseconds (default)", 150},
    {L"175 milliseconds", 175},   {L"200 milliseconds", 200},   {L"250 milliseconds", 250},
    {L"300 milliseconds", 300},   {L"350 milliseconds", 350},   {L"400 milliseconds", 400},
    {L"450 milliseconds", 450},   {L"500 milliseconds", 500},   {L"750 milliseconds", 750},
    {L"1000 milliseconds", 1000}, {L"1500 milliseconds", 1500}, {L"2000 milliseconds", 2000},
    {L"3000 milliseconds", 3000}, {L"4000 milliseconds", 4000}, {L"5000 milliseconds", 5000},
};
const Entry kLockKeys[] = {{L"Caps Lock", 0}, {L"Num Lock", 1}, {L"Scroll Lock", 2}, {L"Tray icon", 3}};

struct Control {
    const char* name;  // as the command line names it
    int id;
    const wchar_t* caption;  // nullptr: not checked by "captions"
};

const Control kControls[] = {
    {"check1", 101, L"Enable Application"},
    {"check2", 102, L"Show Download Acitivity"},
    {"check3", 103, L"Show Upload Activity"},
    {"check4", 104, L"Start minimized"},
    {"combo1", 201, nullptr},
    {"combo2", 202, nullptr},
    {"combo3", 203, nullptr},
    {"save", 301, L"Save"},
    {"cancel", 302, L"Cancel"},
    {"exit", 303, L"Exit"},
    {"label1", 401, L"Update LEDs every"},
    {"label2", 402, L"Show Download Activity with"},
    {"label3", 403, L"Show Upload Activity with"},
    {"label4", 404, nullptr},
};

// A failed check: the probe reports it and ends.
[[noreturn]] void fail(const std::string& message) { throw tovi::Error(message); }

using tovi::platform::win32::narrow;

std::string quoted(const std::wstring& text) { return "\"" + narrow(text) + "\""; }

// Another process's window text; across processes wine hands texts over
// as UTF-16, so only the wide calls are used.
std::wstring windowText(HWND hwnd) {
    wchar_t buffer[1024] = {};
    GetWindowTextW(hwnd, buffer, static_cast<int>(std::size(buffer)));
    return buffer;
}

std::wstring className(HWND hwnd) {
    wchar_t buffer[256] = {};
    GetClassNameW(hwnd, buffer, static_cast<int>(std::size(buffer)));
    return buffer;
}

// Owns a kernel handle.
struct CloseHandleOf {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, CloseHandleOf>;

using Clock = std::chrono::steady_clock;

// Polls CONDITION every 20 ms until it holds or SECONDS pass.
bool waitFor(double seconds, const std::function<bool()>& condition) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (condition()) return true;
        if (Clock::now() >= deadline) return false;
        Sleep(20);
    }
}

// A message sent to the program from a helper thread. A handler that opens a
// modal message box does not return until the box is closed, so the probe
// must not wait on it: it goes on as soon as the handler has returned or a
// box has opened, and a later step that closes the box waits for the rest.
class Pending {
public:
    ~Pending() {
        // A send still blocked in the program ends with the process.
        if (thread_.joinable()) thread_.detach();
    }

    // Sends and waits until the handler returns or the conflict box opens.
    void send(HWND target, UINT message, WPARAM wParam, LPARAM lParam, double seconds) {
        finish(seconds);
        done_ = std::make_shared<std::atomic<bool>>(false);
        thread_ = std::thread([target, message, wParam, lParam, done = done_] {
            SendMessageW(target, message, wParam, lParam);
            *done = true;
        });
        if (!waitFor(seconds, [&] { return *done_ || FindWindowA(kBoxClass, kBoxTitle); })) {
            fail("the program did not handle the message within " + std::to_string(seconds) + " s");
        }
        if (*done_) thread_.join();
    }

    // Waits for an earlier send to come back.
    void finish(double seconds) {
        if (!thread_.joinable()) return;
        if (!waitFor(seconds, [&] { return done_->load(); })) fail("the program's handler did not return");
        thread_.join();
    }

private:
    std::thread thread_;
    std::shared_ptr<std::atomic<bool>> done_;
};

// One step of the command line, checked before any step runs.
struct Step {
    std::string text;  // as given
    std::string verb;
    std::vector<std::pair<std::string, int>> pairs;  // expect, pick
    std::string name;                                // click
    long number = 0;                                 // tray, settle; press: the virtual key
    int keys[3] = {};                                // keys: Caps, Num, Scroll
};

const Control* findControl(const std::string& name) {
    for (const Control& c : kControls) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

bool isList(const Control& c) { return c.id >= 201 && c.id <= 203; }
bool isCheckBox(const Control& c) { return c.id >= 101 && c.id <= 104; }
bool isButton(const Control& c) { return c.id >= 301 && c.id <= 303; }

bool parseNumber(const std::string& text, long low, long high, long& value) {
    if (text.empty()) return false;
    char* rest = nullptr;
    value = std::strtol(text.c_str(), &rest, 10);
    return *rest == '\0' && value >= low && value <= high;
}

// NAME=NUMBER pairs separated by commas, each naming a check box or a list.
bool parsePairs(const std::string& argument, std::vector<std::pair<std::string, int>>& pairs, std::string& why) {
    std::size_t from = 0;
    while (from <= argument.size()) {
        std::size_t end = argument.find(',', from);
        if (end == std::string::npos) end = argument.size();
        const std::string pair = argument.substr(from, end - from);
        const std::size_t equals = pair.find('=');
        long value = 0;
        if (equals == std::string::npos || !parseNumber(pair.substr(equals + 1), -1, 100, value)) {
            why = "expected NAME=NUMBER, got \"" + pair + "\"";
            return false;
        }
        const std::string name = pair.substr(0, equals);
        const Control* c = findControl(name);
        if (!c || !(isCheckBox(*c) || isList(*c))) {
            why = "\"" + name + "\" is not a check box or a list";
            return false;
        }
        pairs.emplace_back(name, static_cast<int>(value));
        from = end + 1;
    }
    return true;
}

bool parseStep(const std::string& text, Step& step, std::string& why) {
    step.text = text;
    const std::size_t colon = text.find(':');
    step.verb = text.substr(0, colon);
    const bool hasArgument = colon != std::string::npos;
    const std::string argument = hasArgument ? text.substr(colon + 1) : "";
    const std::string& verb = step.verb;
    if (verb == "expect") return parsePairs(argument, step.pairs, why);
    if (verb == "pick") {
        if (!parsePairs(argument, step.pairs, why)) return false;
        if (step.pairs.size() == 1 && isList(*findControl(step.pairs[0].first))) return true;
        why = "pick takes one list and a position";
        return false;
    }
    if (verb == "click") {
        const Control* c = findControl(argument);
        if (c && (isButton(*c) || isCheckBox(*c))) {
            step.name = argument;
            return true;
        }
        why = "\"" + argument + "\" is not a button or a check box";
        return false;
    }
    if (verb == "tray") {
        if (parseNumber(argument, 0, 0xFFFF, step.number)) return true;
        why = "tray takes an event code";
        return false;
    }
    if (verb == "settle") {
        if (parseNumber(argument, 0, 60000, step.number)) return true;
        why = "settle takes milliseconds";
        return false;
    }
    if (verb == "press") {
        step.number = argument == "caps"     ? VK_CAPITAL
                      : argument == "num"    ? VK_NUMLOCK
                      : argument == "scroll" ? VK_SCROLL
                                             : 0;
        if (step.number != 0) return true;
        why = "press takes caps, num or scroll";
        return false;
    }
    if (verb == "keys") {
        if (argument.size() == 5 && argument[1] == ',' && argument[3] == ',') {
            bool valid = true;
            for (int i = 0; i < 3; ++i) {
                const char c = argument[static_cast<std::size_t>(i) * 2];
                valid = valid && (c == '0' || c == '1');
                step.keys[i] = c - '0';
            }
            if (valid) return true;
        }
        why = "keys takes three states, as in 1,0,1";
        return false;
    }
    for (const char* plain : {"shown", "hidden", "captions", "lists", "credits", "conflict", "nobox", "close", "ended",
                              "second", "unstored"}) {
        if (verb == plain && !hasArgument) return true;
    }
    why = "unknown step \"" + text + "\"";
    return false;
}

class Probe {
public:
    explicit Probe(double timeout) : timeout_(timeout) {}

    // Throws tovi::Error when a check fails.
    void run(const Step& step) {
        const std::string& verb = step.verb;
        if (verb == "shown" || verb == "hidden") return visibility(verb == "shown");
        if (verb == "captions") return captions();
        if (verb == "lists") return lists();
        if (verb == "credits") return credits();
        if (verb == "expect") return expect(step);
        if (verb == "pick") return pick(step.pairs.front().first, step.pairs.front().second);
        if (verb == "click") return click(step.name);
        if (verb == "tray") return tray(step.number);
        if (verb == "settle") return settle(step.number);
        if (verb == "conflict") return conflict();
        if (verb == "nobox") return nobox();
        if (verb == "close") return close();
        if (verb == "ended") return ended();
        if (verb == "second") return second();
        if (verb == "unstored") return unstored();
        if (verb == "press") return press(static_cast<BYTE>(step.number));
        if (verb == "keys") return keys(step);
    }

private:
    // The main window, found once and then kept; its process is opened at
    // the same time so that its end can be awaited.
    HWND window() {
        if (window_) {
            if (!IsWindow(window_)) fail("the window is gone");
            return window_;
        }
        // FindWindowA names the first window with the caption; every one is
        // looked at, so that a second program (a test's own window, a
        // leftover run) is reported rather than probed by mistake.
        std::vector<HWND> found;
        waitFor(timeout_, [&] {
            found.clear();
            for (HWND top = FindWindowA(nullptr, kCaption); top; top = FindWindowExA(nullptr, top, nullptr, kCaption)) {
                found.push_back(top);
            }
            return !found.empty();
        });
        if (found.empty()) fail(std::string("no window captioned \"") + kCaption + "\"");
        if (found.size() > 1) fail(std::to_string(found.size()) + " windows are captioned \"" + kCaption + "\"");
        DWORD pid = 0;
        GetWindowThreadProcessId(found.front(), &pid);
        process_.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        if (!process_.get()) fail("cannot open the program's process " + std::to_string(pid));
        wchar_t image[MAX_PATH] = {};
        DWORD length = MAX_PATH;
        if (!QueryFullProcessImageNameW(process_.get(), 0, image, &length)) fail("cannot name the window's program");
        const std::wstring path(image, length);
        const std::size_t slash = path.find_last_of(L"\\/");
        const std::wstring program = path.substr(slash == std::wstring::npos ? 0 : slash + 1);
        if (lstrcmpiW(program.c_str(), L"tovi.exe") != 0) fail("the window belongs to " + quoted(program));
        image_ = path;
        window_ = found.front();
        return window_;
    }

    // Names were checked when the command line was read.
    static const Control& control(const std::string& name) { return *findControl(name); }

    HWND item(const Control& c) {
        HWND child = GetDlgItem(window(), c.id);
        if (!child) fail(std::string("no control with ID ") + std::to_string(c.id) + " (" + c.name + ")");
        return child;
    }

    void visibility(bool wanted) {
        HWND hwnd = window();
        if (!waitFor(timeout_, [&] { return IsWindow(hwnd) && static_cast<bool>(IsWindowVisible(hwnd)) == wanted; })) {
            fail(std::string("the window did not become ") + (wanted ? "visible" : "hidden"));
        }
        if (wanted && IsIconic(hwnd)) fail("the window is visible but minimized");
        say(wanted ? "the window is shown" : "the window is hidden");
    }

    void captions() {
        if (windowText(window()) != L"Tovi - Lampfeld v1.10") fail("wrong window caption");
        for (const Control& c : kControls) {
            if (!c.caption) continue;
            const std::wstring text = windowText(item(c));
            if (text != c.caption) fail(std::string(c.name) + " reads " + quoted(text) + ", not " + quoted(c.caption));
        }
        say("the window's and controls' captions are right");
    }

    // Reads one list's entries and item values and compares them with the table.
    template <std::size_t N>
    void compareList(const Control& c, const Entry (&entries)[N]) {
        HWND list = item(c);
        const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
        if (count != static_cast<LRESULT>(N)) {
            fail(std::string(c.name) + " holds " + std::to_string(count) + " entries, not " + std::to_string(N));
        }
        for (std::size_t i = 0; i < N; ++i) {
            const std::wstring text = entryText(list, static_cast<int>(i));
            if (text != entries[i].text) {
                fail(std::string(c.name) + " entry " + std::to_string(i) + " reads " + quoted(text) + ", not " +
                     quoted(entries[i].text));
            }
            const LRESULT data = SendMessageW(list, CB_GETITEMDATA, i, 0);
            if (data != entries[i].itemData) {
                fail(std::string(c.name) + " entry " + std::to_string(i) + " carries " + std::to_string(data) +
                     ", not " + std::to_string(entries[i].itemData));
            }
        }
    }

    static std::wstring entryText(HWND list, int index) {
        const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
        if (length == CB_ERR || length < 0 || length > 1000) fail("cannot read entry " + std::to_string(index));
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
        text.resize(wcsnlen(text.c_str(), text.size()));
        return text;
    }

    void lists() {
        compareList(control("combo1"), kIntervals);
        compareList(control("combo2"), kLockKeys);
        compareList(control("combo3"), kLockKeys);
        say("21 interval entries and 4 entries in each key list, in order");
    }

    void credits() {
        const std::wstring text = windowText(item(control("label4")));
        std::vector<std::wstring> lines;
        std::size_t from = 0;
        for (;;) {
            const std::size_t at = text.find(L"\r\n", from);
            lines.push_back(text.substr(from, at == std::wstring::npos ? std::wstring::npos : at - from));
            if (at == std::wstring::npos) break;
            from = at + 2;
        }
        if (lines.size() != 14) fail("the credits hold " + std::to_string(lines.size()) + " lines, not 14");
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const bool blank = (i + 1) % 3 == 0;
            if (lines[i].empty() != blank) {
                fail("credits line " + std::to_string(i + 1) + (blank ? " should be empty" : " is empty"));
            }
            if (lines[i].find_first_of(L"\r\n") != std::wstring::npos) {
                fail("credits line " + std::to_string(i + 1) + " holds a stray line break");
            }
        }
        say("the credits hold 14 lines, lines 3, 6, 9 and 12 empty");
    }

    void expect(const Step& step) {
        for (const auto& [name, wanted] : step.pairs) {
            const Control& c = control(name);
            HWND hwnd = item(c);
            if (isCheckBox(c)) {
                const LRESULT state = SendMessageW(hwnd, BM_GETCHECK, 0, 0);
                if (state != wanted) {
                    fail(name + " is in state " + std::to_string(state) + ", not " + std::to_string(wanted));
                }
            } else {
                LRESULT selected = SendMessageW(hwnd, CB_GETCURSEL, 0, 0);
                if (selected == CB_ERR) selected = -1;
                if (selected != wanted) {
                    fail(name + " shows position " + std::to_string(selected) + ", not " + std::to_string(wanted));
                }
                // The closed box shows the selected entry's text. A drop-down
                // list answers WM_GETTEXT with it; GetWindowText would read
                // another process's window without asking it.
                if (wanted >= 0) {
                    wchar_t buffer[256] = {};
                    SendMessageW(hwnd, WM_GETTEXT, std::size(buffer), reinterpret_cast<LPARAM>(buffer));
                    const std::wstring shown = buffer;
                    const std::wstring entry = entryText(hwnd, wanted);
                    if (shown != entry) fail(name + " shows " + quoted(shown) + " for " + quoted(entry));
                }
            }
        }
        say(step.text);
    }

    void pick(const std::string& name, int position) {
        const Control& c = control(name);
        HWND list = item(c);
        pending_.finish(timeout_);
        // A pick from the open list: the list selects the entry, then tells
        // its parent that the selection changed.
        if (SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(position), 0) != position) {
            fail("cannot select position " + std::to_string(position) + " of " + name);
        }
        pending_.send(window(), WM_COMMAND, MAKEWPARAM(c.id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list), timeout_);
        say("picked position " + std::to_string(position) + " of " + name);
    }

    void click(const std::string& name) {
        const Control& c = control(name);
        HWND button = item(c);
        pending_.finish(timeout_);
        // What a button tells its parent when it is clicked.
        pending_.send(window(), WM_COMMAND, MAKEWPARAM(c.id, BN_CLICKED), reinterpret_cast<LPARAM>(button), timeout_);
        say("clicked " + name);
    }

    void tray(long code) {
        // As the notification area does: the icon's callback message (the
        // window's own WM_MOUSEMOVE) with the event code in lParam.
        if (!PostMessageW(window(), WM_MOUSEMOVE, 0, static_cast<LPARAM>(code))) fail("cannot post to the window");
        say("the tray reported event " + std::to_string(code));
    }

    void settle(long ms) {
        Sleep(static_cast<DWORD>(ms));
        say("let " + std::to_string(ms) + " ms pass");
    }

    void conflict() {
        HWND box = nullptr;
        if (!waitFor(timeout_, [&] { return (box = FindWindowA(kBoxClass, kBoxTitle)) != nullptr; })) {
            fail(std::string("no message box titled \"") + kBoxTitle + "\" opened");
        }
        // The box may still be filling in its controls.
        HWND ok = nullptr;
        bool textFound = false;
        std::wstring texts;
        waitFor(timeout_, [&] {
            ok = nullptr;
            textFound = false;
            texts.clear();
            int buttons = 0;
            for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                const auto style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
                if (!(style & WS_VISIBLE)) continue;
                const std::wstring kind = className(child);
                if (lstrcmpiW(kind.c_str(), L"Button") == 0) {
                    ++buttons;
                    if (GetDlgCtrlID(child) == IDOK && windowText(child) == L"OK") ok = child;
                } else if (lstrcmpiW(kind.c_str(), L"Static") == 0) {
                    const std::wstring text = windowText(child);
                    // Some systems keep an empty icon control in every box.
                    if ((style & SS_TYPEMASK) == SS_ICON && SendMessageW(child, STM_GETICON, 0, 0) != 0) {
                        fail("the message box shows an icon");
                    }
                    texts += text + L"|";
                    if (text == kConflictText) textFound = true;
                }
            }
            if (buttons != 1) ok = nullptr;
            return ok && textFound;
        });
        if (!textFound) fail("the message box reads " + quoted(texts) + ", not " + quoted(kConflictText));
        if (!ok) fail("the message box does not have exactly one button, \"OK\"");
        if (!PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok))) {
            fail("cannot press OK");
        }
        if (!waitFor(timeout_, [&] { return !IsWindow(box); })) fail("the message box did not close on OK");
        // The handler that opened the box goes on to its end; the corrected
        // selection must not raise the message again.
        pending_.finish(timeout_);
        if (FindWindowA(kBoxClass, kBoxTitle)) fail("the message was shown a second time");
        say("the conflict message was shown once and closed with OK");
    }

    void nobox() {
        if (FindWindowA(kBoxClass, kBoxTitle)) fail(std::string("a message box titled \"") + kBoxTitle + "\" is open");
        say("no conflict message is open");
    }

    void close() {
        if (!PostMessageW(window(), WM_CLOSE, 0, 0)) fail("cannot post WM_CLOSE");
        say("asked the window to close");
        ended();
    }

    void ended() {
        if (!process_.get()) window();
        if (WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout_ * 1000)) != WAIT_OBJECT_0) {
            fail("the program did not end");
        }
        DWORD status = 0;
        GetExitCodeProcess(process_.get(), &status);
        if (status != 0) fail("the program ended with status " + std::to_string(status));
        if (FindWindowA(nullptr, kCaption)) fail("the window outlived its program");
        pending_.finish(timeout_);
        say("the program has ended with status 0");
    }

    void second() {
        HWND hwnd = window();
        pending_.finish(timeout_);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        std::wstring commandLine = L"\"" + image_ + L"\"";
        const auto from = Clock::now();
        if (!CreateProcessW(image_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &started)) {
            fail("cannot start " + quoted(image_));
        }
        UniqueHandle process, thread;
        process.reset(started.hProcess);
        thread.reset(started.hThread);
        if (WaitForSingleObject(process.get(), static_cast<DWORD>(timeout_ * 1000)) != WAIT_OBJECT_0) {
            fail("the second start did not end");
        }
        DWORD status = 0;
        GetExitCodeProcess(process.get(), &status);
        if (status != 0) fail("the second start ended with status " + std::to_string(status));
        if (!waitFor(timeout_, [&] { return IsWindowVisible(hwnd) && !IsIconic(hwnd); })) {
            fail("the second start did not bring the window back");
        }
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - from).count();
        int windows = 0;
        for (HWND top = FindWindowA(nullptr, kCaption); top; top = FindWindowExA(nullptr, top, nullptr, kCaption)) {
            ++windows;
        }
        if (windows != 1) fail(std::to_string(windows) + " windows are captioned \"" + kCaption + "\"");
        say("a second start ended with status 0 and brought the window back in " + std::to_string(ms) + " ms");
    }

    void unstored() {
        HKEY key = nullptr;
        const LONG opened = RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tovi\\zuderari", 0, KEY_READ, &key);
        if (opened == ERROR_SUCCESS) {
            RegCloseKey(key);
            fail("settings are stored already");
        }
        say("nothing is stored yet");
    }

    static void press(BYTE virtualKey) {
        keybd_event(virtualKey, 0x45, KEYEVENTF_EXTENDEDKEY, 0);
        keybd_event(virtualKey, 0x45, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
        say("pressed and released the lock key " + std::to_string(virtualKey));
    }

    void keys(const Step& step) {
        int seen[3] = {-1, -1, -1};
        const bool reached = waitFor(timeout_, [&] {
            BYTE state[256] = {};
            GetKeyState(0);  // brings this thread's view of the keys up to date
            if (!GetKeyboardState(state)) return false;
            seen[0] = state[VK_CAPITAL] & 1;
            seen[1] = state[VK_NUMLOCK] & 1;
            seen[2] = state[VK_SCROLL] & 1;
            return seen[0] == step.keys[0] && seen[1] == step.keys[1] && seen[2] == step.keys[2];
        });
        const std::string shown =
            std::to_string(seen[0]) + "," + std::to_string(seen[1]) + "," + std::to_string(seen[2]);
        if (!reached) fail("the lock keys read " + shown + " (Caps, Num, Scroll)");
        say("the lock keys read " + shown + " (Caps, Num, Scroll)");
    }

    static void say(const std::string& what) {
        std::printf("tovi_probe: ok    %s\n", what.c_str());
        std::fflush(stdout);
    }

    double timeout_;
    HWND window_ = nullptr;
    std::wstring image_;  // the program's file, as its process names it
    UniqueHandle process_;
    Pending pending_;
};

int usage(const std::string& why) {
    std::printf(
        "tovi_probe: %s\n"
        "usage: tovi_probe [--timeout=SECONDS] STEP...\n"
        "steps: shown hidden captions lists credits expect:NAME=V,... pick:comboN=P\n"
        "       click:save|cancel|exit|checkN tray:CODE settle:MS conflict nobox close ended\n"
        "       second unstored press:caps|num|scroll keys:C,N,S\n",
        why.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    double timeout = 30;
    std::vector<Step> steps;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--timeout=", 0) == 0) {
            char* rest = nullptr;
            timeout = std::strtod(arg.c_str() + 10, &rest);
            if (*rest != '\0' || !(timeout > 0 && timeout <= 600)) return usage("bad " + arg);
            continue;
        }
        Step step;
        std::string why;
        if (!parseStep(arg, step, why)) return usage(why);
        steps.push_back(std::move(step));
    }
    if (steps.empty()) return usage("no steps given");

    Probe probe(timeout);
    for (const Step& step : steps) {
        // Reports the failed check; there is nothing to go on with.
        try {
            probe.run(step);
        } catch (const tovi::Error& failure) {
            std::printf("tovi_probe: FAIL  %s: %s\n", step.text.c_str(), failure.what());
            std::fflush(stdout);
            return 1;
        }
    }
    return 0;
}
