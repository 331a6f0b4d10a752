#include "host/framework/utf8.h"

#include <gtest/gtest.h>

namespace fm::host {
namespace {

TEST(Utf8Test, DecodesValidSequencesOfEveryLength) {
  const auto decoded = DecodeUtf8("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  ASSERT_TRUE(decoded);
  EXPECT_EQ(*decoded, (std::u32string{U'A', U'\u00E9', U'\u20AC', U'\U0001F600'}));
  EXPECT_EQ(EncodeUtf8(*decoded), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(Utf8Test, RefusesMalformedSequences) {
  const char* cases[] = {
      "\x80",              // stray continuation
      "\xC3",              // truncated
      "\xC0\xAF",          // overlong slash
      "\xE0\x80\xAF",      // overlong
      "\xED\xA0\x80",      // surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xFF",              // never valid
      "\xE2\x82" "A",      // continuation missing
  };
  for (const char* c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c)));
    EXPECT_FALSE(DecodeUtf8(c));
  }
}

TEST(Utf8Test, EncodingReplacesCodePointsThatHaveNoUtf8) {
  EXPECT_EQ(EncodeUtf8(std::u32string{0xD800, U'a', 0x110000}), "\xEF\xBF\xBD" "a" "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace fm::host
