// The one exception type the core raises for a failed step.
//
// Platform calls, refused control values, out-of-range indexes and checked
// arithmetic all report failure by throwing. Callers that follow the
// skip-on-error convention catch it through guard.h; the small handlers and
// the accessors let it pass to their caller.
#pragma once

#include <stdexcept>
#include <string>
#include <system_error>

namespace tovi {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An integer operation left the range of its declared width.
class OverflowError : public Error {
public:
    OverflowError() : Error("overflow") {}
};

// A failed system call as an Error: what was being done, then the system's
// own words for why ("cannot sync x: No space left on device").
[[noreturn]] inline void fail(const std::string& what, const std::error_code& why) {
    throw Error(what + ": " + why.message());
}

// An errno value as fail() takes it.
inline std::error_code posixError(int err) { return {err, std::generic_category()}; }

}  // namespace tovi
