#include "host/scene/resource_set.h"

#include <gtest/gtest.h>

#include "tests/host/scene/test_files.h"

namespace fm::host {
namespace {

TEST(ParseStringTable, ReadsEntriesWithEscapesCommentsAndBlankLines) {
  const std::string text =
      "\xEF\xBB\xBF# the module's strings\r\n"
      "10000 \"Untriangulate\"\r\n"
      "\n"
      "   \t\n"
      "  # indented comment\n"
      "10001\t\"Processing \\\"x\\\" \\\\ done\\n\"  \n"
      "-7 \"negative id\"\n"
      "10003 \"\"\n"
      "42 \"caf\xC3\xA9 \xF0\x9F\x99\x82\"";  // no line end at the end of the file
  std::map<int32_t, std::string> strings;
  std::string error;
  ASSERT_TRUE(ParseStringTable(text, strings, error)) << error;
  EXPECT_EQ(strings, (std::map<int32_t, std::string>{
                         {10000, "Untriangulate"},
                         {10001, "Processing \"x\" \\ done\n"},
                         {-7, "negative id"},
                         {10003, ""},
                         {42, "caf\xC3\xA9 \xF0\x9F\x99\x82"},
                     }));
}

TEST(ParseStringTable, RejectsMalformedLinesNamingTheLine) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"10000 Untriangulate\n", "line 1: expected '\"'"},
      {"1 \"a\"\n\n10000 \"unterminated\n", "line 3: text not closed"},
      {"10000 \"ends in escape\\", "line 1: text not closed"},
      {"x \"no id\"\n", "line 1: expected a numeric id"},
      {"10000\"no space\"\n", "line 1: expected white space"},
      {"10000 \"a\" trailing\n", "line 1: unexpected text"},
      {"10000 \"bad \\t escape\"\n", "line 1: unknown escape \\t"},
      {"99999999999 \"too big\"\n", "line 1: id out of range"},
      {"5 \"a\"\n5 \"b\"\n", "line 2: id 5 repeated"},
      {"5 \"\xC3\x28\"\n", "line 1: text is not UTF-8"},
      {"5 \"\xED\xA0\x80\"\n", "line 1: text is not UTF-8"},  // a surrogate
      {"5 \"\xC0\xAF\"\n", "line 1: text is not UTF-8"},      // overlong
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::map<int32_t, std::string> strings{{1, "stale"}};
    std::string error;
    EXPECT_FALSE(ParseStringTable(c.text, strings, error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_TRUE(strings.empty());
  }
}

TEST(LoadResourceSet, GivesTheSetsOwnStrings) {
  testkit::ScratchDirectory dir;
  dir.Write("res/strings.str", "10000 \"Name\"\n10003 \"Nothing to do\"\n");
  std::string error;
  const int64_t stringsBefore = LiveStringCount();
  {
    auto set = LoadResourceSet(dir.File("res"), error);
    ASSERT_NE(set, nullptr) << error;
    EXPECT_EQ(set->Size(), 2u);
    ASSERT_NE(set->Find(10000), nullptr);
    EXPECT_EQ(ToUtf8(set->Find(10000)), "Name");
    EXPECT_EQ(ToUtf8(set->Find(10003)), "Nothing to do");
    EXPECT_EQ(set->Find(10001), nullptr);
    EXPECT_EQ(LiveStringCount(), stringsBefore + 2);
  }
  EXPECT_EQ(LiveStringCount(), stringsBefore);
}

TEST(LoadResourceSet, MissingOrMalformedFilesDoNotLoad) {
  testkit::ScratchDirectory dir;
  dir.Write("bad/strings.str", "10000 \"Name\"\nnonsense\n");
  dir.Write("other/readme.txt", "10000 \"Name\"\n");
  struct Case {
    std::string directory;
    const char* error;
  };
  const Case cases[] = {
      {dir.File("bad"), "line 2"},
      {dir.File("other"), "cannot be read"},
      {dir.File("absent"), "cannot be read"},
      {"", "no resource directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.directory);
    std::string error;
    EXPECT_EQ(LoadResourceSet(c.directory, error), nullptr);
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace fm::host
