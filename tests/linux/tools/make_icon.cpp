// Writes the program's icon file from resources/icon.h:
//     make_icon resources/tovi.ico
// The result is checked in; a unit test keeps it equal to what this writes.
#include <cstdio>
#include <vector>

#include "resources/icon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.ico\n", argv[0]);
        return 2;
    }
    const std::vector<std::uint8_t> bytes = tovi::icon::iconFile();
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) != 0 || !written) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
