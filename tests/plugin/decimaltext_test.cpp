// Decimal digits for the report texts.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "decimaltext.h"

namespace fm {
namespace {

TEST(FormatDecimal, SignedValues) {
  struct Case {
    int64_t value;
    const char* text;
  };
  const Case cases[] = {
      {0, "0"},
      {7, "7"},
      {-7, "-7"},
      {10, "10"},
      {4096, "4096"},
      {-120034, "-120034"},
      {std::numeric_limits<int32_t>::max(), "2147483647"},
      {std::numeric_limits<int32_t>::min(), "-2147483648"},
      {2 * static_cast<int64_t>(std::numeric_limits<int32_t>::max()), "4294967294"},
      {std::numeric_limits<int64_t>::max(), "9223372036854775807"},
      {std::numeric_limits<int64_t>::min(), "-9223372036854775808"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    char buffer[kDecimalBufferSize];
    const int length = FormatDecimal(c.value, buffer);
    EXPECT_EQ(std::string(c.text), std::string(buffer));
    EXPECT_EQ(static_cast<int>(std::string(c.text).size()), length);
  }
}

}  // namespace
}  // namespace fm
