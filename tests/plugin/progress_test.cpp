// The progress percentage, also where merged * 100 no longer fits 32 bits.

#include <gtest/gtest.h>

#include <cstdint>

#include "progress.h"

namespace fm {
namespace {

TEST(ProgressPercent, MergesRelativeToThePossibleMerges) {
  struct Case {
    int32_t merged;
    int32_t total;
    int32_t percent;
  };
  const Case cases[] = {
      {0, 1, 0},
      {1, 2, 50},
      {2, 2, 100},
      {1, 3, 33},
      {2, 3, 66},
      {21474836, 21474836, 100},             // the last merged count whose product fits
      {30000000, 40000000, 75},              // product 3e9: beyond 32 bits
      {2147483647, 2147483647, 100},
      {1000000000, 2147483647, 46},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.merged << " of " << c.total);
    EXPECT_EQ(c.percent, ProgressPercent(c.merged, c.total));
  }
}

TEST(ProgressPercent, SameAsThirtyTwoBitsWhereThoseDidNotOverflow) {
  for (int32_t total = 1; total <= 300; total += 7) {
    for (int32_t merged = 0; merged <= total; ++merged) {
      ASSERT_EQ(merged * 100 / total, ProgressPercent(merged, total)) << merged << " of " << total;
    }
  }
}

}  // namespace
}  // namespace fm
