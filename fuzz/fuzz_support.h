// Shared by the fuzz targets: a toolkit that only counts message boxes, and
// the one way a target reports a broken property (abort, which libFuzzer
// records as a crash together with the input that caused it).
//
// Single-threaded, like everything the targets exercise.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/error.h"
#include "platform/toolkit.h"

namespace tovi::fuzz {

// Prints what failed and ends the run; the input is kept as the crash artifact.
[[noreturn]] inline void broken(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
    std::abort();
}

#define TOVI_FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::tovi::fuzz::broken(#condition, __FILE__, __LINE__))

class CountingToolkit : public platform::Toolkit {
public:
    std::unique_ptr<platform::Window> createWindow(const platform::WindowSpec&) override {
        throw Error("no windows while fuzzing");
    }
    int twipsPerPixelX() const override { return 15; }
    void messageBox(const std::string&, const std::string&) override { ++boxes; }
    int run() override { return 0; }
    [[noreturn]] void end() override { std::abort(); }

    int boxes = 0;
};

}  // namespace tovi::fuzz
