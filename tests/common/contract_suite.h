// The frame of the contract suites (toolkit, keyboard, settings store), each
// checking once what every backend of one seam promises. A test program
// instantiates one with its backend's driver, which does only what the seam
// cannot (act as a user, a witness beside the backend):
//     INSTANTIATE_TEST_SUITE_P(X11, KeyboardContract, ::testing::Values(KeyboardBackend{"x11", &makeX11Driver}));
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

namespace tovi::contract {

// A backend under test: makes its driver, or nullptr when the backend cannot
// run here (no display). The name ends each test's name.
template <class Driver>
struct BackendOf {
    const char* name;
    std::unique_ptr<Driver> (*makeDriver)();
};

template <class Driver>
void PrintTo(const BackendOf<Driver>& backend, std::ostream* out) {
    *out << backend.name;
}

template <class Driver>
class ContractSuite : public ::testing::TestWithParam<BackendOf<Driver>> {
protected:
    // No driver, and the test skipped, when the backend cannot run here.
    void SetUp() override {
        driver = this->GetParam().makeDriver();
        if (!driver) GTEST_SKIP() << "this backend cannot run here";
    }
    std::unique_ptr<Driver> driver;
};

}  // namespace tovi::contract
