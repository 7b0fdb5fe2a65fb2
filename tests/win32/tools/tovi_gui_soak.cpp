// Soaks the real window on Windows: Main on the Win32 toolkit, IP Helper, the
// keyboard functions and the notification area, through many LED ticks (see
// tests/common/window_soak.h), and reports whether the process's GDI and
// USER object counts stayed flat after warm-up.
//
//   tovi_gui_soak [TICKS]   (default 10000)
//
// Prints one line:  ticks N lit M gdi WARM END user WARM END windows WARM END
// and exits 0 when no count grew after warm-up, 1 when one did, 2 when the
// soak could not run. Where the system keeps no GDI and USER counts (wine
// answers 0 for both while windows exist) those two are not judged; the
// thread's windows, counted one by one, still are.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "tests/common/window_soak.h"

namespace {

BOOL CALLBACK countChild(HWND, LPARAM count) {
    ++*reinterpret_cast<long*>(count);
    return TRUE;
}

// EnumChildWindows visits every descendant, not just the children.
BOOL CALLBACK countOne(HWND window, LPARAM count) {
    ++*reinterpret_cast<long*>(count);
    ::EnumChildWindows(window, countChild, count);
    return TRUE;
}

long countWindows() {
    long count = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), countOne, reinterpret_cast<LPARAM>(&count));
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    tovi::soak::WindowSoak soak;
    soak.ticks = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10'000;
    if (soak.ticks <= 0) {
        std::fprintf(stderr, "usage: tovi_gui_soak [TICKS]\n");
        return 2;
    }
    soak.warmUp = soak.ticks / 10;
    soak.batch = 50;

    struct Counts {
        DWORD gdi = 0;
        DWORD user = 0;
        long windows = 0;  // this thread's windows and all their children
    } warm, end;
    int nativeArgc = argc;
    tovi::platform::Platform& native = tovi::platform::native(nativeArgc, argv);
    tovi::soak::soakWindow(native, soak, [&](long tick) {
        Counts& counts = tick == soak.warmUp ? warm : end;
        counts.gdi = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
        counts.user = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
        counts.windows = countWindows();
    });

    std::printf("ticks %ld lit %ld gdi %lu %lu user %lu %lu windows %ld %ld\n", soak.finished ? soak.ticks : 0L,
                soak.litTicks, static_cast<unsigned long>(warm.gdi), static_cast<unsigned long>(end.gdi),
                static_cast<unsigned long>(warm.user), static_cast<unsigned long>(end.user), warm.windows, end.windows);
    std::fflush(stdout);
    if (!soak.finished || warm.windows == 0) return 2;
    const bool counted = warm.gdi != 0 || warm.user != 0;
    const bool flat = end.windows <= warm.windows && (!counted || (end.gdi <= warm.gdi && end.user <= warm.user));
    return flat ? 0 : 1;
}
