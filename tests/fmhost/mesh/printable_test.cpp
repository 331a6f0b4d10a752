#include "host/mesh/printable.h"

#include <gtest/gtest.h>

namespace fm::host::mesh {
namespace {

TEST(Printable, ControlAndInvalidBytesAreEscapedAndCharactersKept) {
  EXPECT_EQ(Printable("plain text", 100), "plain text");
  EXPECT_EQ(Printable(std::string("a\0b\n\x1b[1m\x7f", 9), 100), "a\\x00b\\x0a\\x1b[1m\\x7f");
  EXPECT_EQ(Printable("gr\xC3\xBCn \xFF \xE2\x82", 100), "gr\xC3\xBCn \\xff \\xe2\\x82");
}

TEST(Printable, LongTextIsCutAtACharacterBoundary) {
  EXPECT_EQ(Printable(std::string(1'000'000, 'x'), 10), "xxxxxxxxxx...");
  // The cut never splits the two bytes of a character.
  EXPECT_EQ(Printable("abcdefghi\xC3\xBCz", 10), "abcdefghi\xC3\xBC...");
  EXPECT_EQ(QuotedToken("x"), "'x'");
  EXPECT_LT(QuotedToken(std::string(5000, '9')).size(), 50u);
}

TEST(Printable, Utf8SequencesAreRecognisedExactly) {
  struct Case {
    const char* bytes;
    size_t length;
  };
  const Case cases[] = {
      {"a", 1},         {"\xC3\xBC", 2},         {"\xE2\x82\xAC", 3}, {"\xF0\x9F\x99\x82", 4},
      {"\x80", 0},      {"\xC1\xBF", 0},         {"\xE0\x80\xAF", 0}, {"\xED\xA0\x80", 0},
      {"\xF4\x90\x80\x80", 0}, {"\xC3", 0},      {"\xE2\x28\xA1", 0}, {"\xF5\x80\x80\x80", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(Utf8SequenceLength(c.bytes), c.length);
  }
}

}  // namespace
}  // namespace fm::host::mesh
