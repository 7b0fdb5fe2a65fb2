#include "netstats/c_interfaces.h"

#include <string>
#include <utility>

#include "base/error.h"

namespace tovi {
namespace {

[[noreturn]] void refuseKey(std::string_view key) { throw Error("no record has the key \"" + std::string(key) + "\""); }

}  // namespace

std::shared_ptr<CInterface> CInterfaces::Add(std::shared_ptr<CInterface>& objInterface) {
    items_.push_back(objInterface);
    // The reader keeps one reference that makes a new record on first use;
    // clearing it here is what gives every row a record of its own.
    return std::exchange(objInterface, nullptr);
}

std::shared_ptr<CInterface> CInterfaces::Item(std::int32_t vntIndexKey) const {
    if (vntIndexKey < 1 || vntIndexKey > Count()) {
        throw Error("position " + std::to_string(vntIndexKey) + " is not in the collection");
    }
    return items_[static_cast<std::size_t>(vntIndexKey) - 1];
}

std::shared_ptr<CInterface> CInterfaces::Item(std::string_view vntIndexKey) const { refuseKey(vntIndexKey); }

std::int32_t CInterfaces::Count() const { return static_cast<std::int32_t>(items_.size()); }

void CInterfaces::Remove(std::int32_t vntIndexKey) {
    if (vntIndexKey < 1 || vntIndexKey > Count()) {
        throw Error("position " + std::to_string(vntIndexKey) + " is not in the collection");
    }
    items_.erase(items_.begin() + (vntIndexKey - 1));
}

void CInterfaces::Remove(std::string_view vntIndexKey) { refuseKey(vntIndexKey); }

}  // namespace tovi
