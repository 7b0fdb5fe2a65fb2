// Soaks the real window on the Linux platform: Main on Qt, the netlink table,
// the X keyboard, the tray and the INI store, through many LED ticks (see
// tests/common/window_soak.h), and reports whether resident memory stayed
// flat after warm-up.
//
//   tovi_window_soak [TICKS [ALLOWED_GROWTH_KIB]]   (defaults 100000, 1024)
//
// Needs $DISPLAY; the settings go to $XDG_CONFIG_HOME. Prints one line:
//   ticks N lit M resident_kib WARM END
// and exits 0 when END stays within ALLOWED_GROWTH_KIB of WARM, 1 when it
// grew more, 2 when the soak could not run. Under AddressSanitizer growth is
// reported but not judged; its leak check at exit speaks instead.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "tests/common/resident_memory.h"
#include "tests/common/window_soak.h"

namespace {

long argument(int argc, char** argv, int at, long fallback) {
    if (argc <= at) return fallback;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(argv[at], &end, 10);
    if (errno != 0 || end == argv[at] || *end != '\0' || value <= 0) {
        std::fprintf(stderr, "usage: tovi_window_soak [TICKS [ALLOWED_GROWTH_KIB]]\n");
        std::exit(2);
    }
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    tovi::soak::WindowSoak soak;
    soak.ticks = argument(argc, argv, 1, 100'000);
    soak.warmUp = soak.ticks / 10;
    const long allowedKib = argument(argc, argv, 2, 1024);
    if (std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "tovi_window_soak: needs an X display\n");
        return 2;
    }

    std::size_t warm = 0, end = 0;
    int qtArgc = 1;
    tovi::platform::Platform& native = tovi::platform::native(qtArgc, argv);
    tovi::soak::soakWindow(native, soak,
                           [&](long tick) { (tick == soak.warmUp ? warm : end) = tovi::soak::residentBytes(); });

    std::printf("ticks %ld lit %ld resident_kib %zu %zu\n", soak.finished ? soak.ticks : 0L, soak.litTicks, warm / 1024,
                end / 1024);
    if (!soak.finished || warm == 0) return 2;
    if (tovi::soak::kUnderAddressSanitizer) return 0;
    return end <= warm + static_cast<std::size_t>(allowedKib) * 1024 ? 0 : 1;
}
