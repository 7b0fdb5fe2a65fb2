#include "fakes/fake_settings_store.h"

#include "base/error.h"

namespace tovi::fakes {

std::string FakeSettingsStore::read(const std::string& application, const std::string& section, const std::string& key,
                                    const std::string& defaultValue) {
    log.push_back({Op::Read, application, section, key, defaultValue});
    auto it = values_.find({application, section, key});
    return it == values_.end() ? defaultValue : it->second;
}

void FakeSettingsStore::write(const std::string& application, const std::string& section, const std::string& key,
                              const std::string& value) {
    log.push_back({Op::Write, application, section, key, value});
    if (failAllWrites || failingKeys.count(key) != 0) throw Error("settings write refused");
    values_[{application, section, key}] = value;
}

void FakeSettingsStore::set(const std::string& key, const std::string& value, const std::string& application,
                            const std::string& section) {
    values_[{application, section, key}] = value;
}

std::optional<std::string> FakeSettingsStore::get(const std::string& key, const std::string& application,
                                                  const std::string& section) const {
    auto it = values_.find({application, section, key});
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

std::vector<std::string> FakeSettingsStore::keys(Op::Kind kind) const {
    std::vector<std::string> keys;
    for (const Op& op : log) {
        if (op.kind == kind) keys.push_back(op.key);
    }
    return keys;
}

}  // namespace tovi::fakes
