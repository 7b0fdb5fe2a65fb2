#include "lockkeys/lock_key_index.h"

#include <array>

#include "base/error.h"

namespace tovi {

std::int16_t virtualKeyOf(LockKeyIndex index) {
    static constexpr std::array<std::int16_t, 3> kTable = {kVkCapital, kVkNumLock, kVkScroll};
    if (index < 0 || index >= static_cast<LockKeyIndex>(kTable.size())) throw Error("no such lock key");
    return kTable[static_cast<std::size_t>(index)];
}

}  // namespace tovi
