// CInterfaces: the ordered, 1-based collection of records that one refresh
// of the interface table builds.
//
// Records are stored without keys, so a text key never finds one. Item and
// Remove pass a refusal (position outside 1..Count, or any key) to the caller
// as tovi::Error; nothing here guards itself. Iterating visits the records in
// the order they were added.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "netstats/c_interface.h"

namespace tovi {

class CInterfaces {
public:
    using Records = std::vector<std::shared_ptr<CInterface>>;

    // Appends the record, returns it, and clears the caller's reference.
    std::shared_ptr<CInterface> Add(std::shared_ptr<CInterface>& objInterface);

    std::shared_ptr<CInterface> Item(std::int32_t vntIndexKey) const;
    std::shared_ptr<CInterface> Item(std::string_view vntIndexKey) const;
    std::shared_ptr<CInterface> operator[](std::int32_t vntIndexKey) const { return Item(vntIndexKey); }

    std::int32_t Count() const;

    void Remove(std::int32_t vntIndexKey);
    void Remove(std::string_view vntIndexKey);

    // The enumerator: a range-for visits the records in position order.
    Records::const_iterator begin() const { return items_.begin(); }
    Records::const_iterator end() const { return items_.end(); }

private:
    Records items_;
};

}  // namespace tovi
