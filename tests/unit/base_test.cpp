#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "base/checked.h"
#include "base/guard.h"
#include "lockkeys/lock_key_index.h"

namespace tovi {
namespace {

TEST(Guard, FailedStepIsSkippedAndTheNextOneRuns) {
    int first = 1, second = 0;
    EXPECT_FALSE(step([&] {
        first = checked::add<std::int16_t>(first, 0);
        throw Error("refused");
    }));
    EXPECT_TRUE(step([&] { second = 2; }));
    EXPECT_EQ(second, 2);
}

TEST(Guard, TargetKeepsItsValueWhenTheStepOverflows) {
    std::int32_t total = std::numeric_limits<std::int32_t>::max();
    step([&] { total = checked::add<std::int32_t>(total, 1); });
    EXPECT_EQ(total, std::numeric_limits<std::int32_t>::max());
}

TEST(Checked, FailsAtTheDeclaredWidthInsteadOfWrapping) {
    EXPECT_THROW(checked::add<std::int16_t>(32767, 1), OverflowError);
    EXPECT_THROW(checked::sub<std::int16_t>(-32768, 1), OverflowError);
    EXPECT_THROW(checked::add<std::uint8_t>(255, 1), OverflowError);
    EXPECT_THROW(checked::sub<std::uint8_t>(0, 1), OverflowError);
    EXPECT_THROW(checked::mul<std::int32_t>(65536, 32768), OverflowError);
    EXPECT_EQ(checked::add<std::int32_t>(2'000'000'000, 147'483'647), 2'147'483'647);
    EXPECT_THROW(checked::narrow<std::int16_t>(40000), OverflowError);
    EXPECT_THROW(checked::narrow<std::int16_t>(-32769), OverflowError);
    EXPECT_EQ(checked::narrow<std::int16_t>(-1L), -1);
}

TEST(Checked, WrappingAddIsModulo2To32) {
    EXPECT_EQ(checked::wrappingAdd(2'000'000'000, 500'000'000), -1'794'967'296);
    EXPECT_EQ(checked::wrappingAdd(-1, 1), 0);
}

TEST(LockKeyIndex, MapsTheThreeKeysAndRefusesOthers) {
    EXPECT_EQ(virtualKeyOf(kCapsLock), 20);
    EXPECT_EQ(virtualKeyOf(kNumLock), 144);
    EXPECT_EQ(virtualKeyOf(kScrollLock), 145);
    EXPECT_THROW(virtualKeyOf(3), Error);
    EXPECT_THROW(virtualKeyOf(-1), Error);
}

}  // namespace
}  // namespace tovi
