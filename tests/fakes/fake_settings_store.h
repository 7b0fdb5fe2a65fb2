// In-memory settings store for tests: a map of values, a log of every read
// and write in the order they happened, and writes that can be made to fail.
//
// A read of an absent key gives its default, as the real stores do. A failing
// write throws tovi::Error and leaves the stored value untouched, but is still
// logged, so a test can see that it was attempted.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/settings_store.h"

namespace tovi::fakes {

class FakeSettingsStore : public platform::SettingsStore {
public:
    std::string read(const std::string& application, const std::string& section, const std::string& key,
                     const std::string& defaultValue) override;
    void write(const std::string& application, const std::string& section, const std::string& key,
               const std::string& value) override;

    struct Op {
        enum Kind { Read, Write } kind;
        std::string application;
        std::string section;
        std::string key;
        std::string value;  // the default of a read, the text of a write
        bool operator==(const Op&) const = default;
    };
    std::vector<Op> log;

    // Seeding and inspection, under application "Tovi", section "zuderari"
    // unless told otherwise.
    void set(const std::string& key, const std::string& value, const std::string& application = "Tovi",
             const std::string& section = "zuderari");
    std::optional<std::string> get(const std::string& key, const std::string& application = "Tovi",
                                   const std::string& section = "zuderari") const;
    std::size_t size() const { return values_.size(); }

    // Keys, in order, of the logged reads or writes.
    std::vector<std::string> keys(Op::Kind kind) const;
    std::vector<std::string> readKeys() const { return keys(Op::Read); }
    std::vector<std::string> writtenKeys() const { return keys(Op::Write); }

    bool failAllWrites = false;
    std::set<std::string> failingKeys;  // writes of these keys fail

private:
    std::map<std::tuple<std::string, std::string, std::string>, std::string> values_;
};

}  // namespace tovi::fakes
