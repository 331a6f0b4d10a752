#include "host/framework/strings.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace fm::host {
namespace {

TEST(HostStringTest, NewStringCarriesOneReferenceInUnitsOfSixteen) {
  const int64_t before = LiveStringCount();
  HostString* s = NewString("abc");
  EXPECT_EQ(ReferenceWord(s), 16);
  EXPECT_EQ(LiveStringCount(), before + 1);
  Retain(s);
  EXPECT_EQ(ReferenceWord(s), 32);
  Release(s);  // word was 32: not below 32, so the string stays
  EXPECT_EQ(ReferenceWord(s), 16);
  EXPECT_EQ(LiveStringCount(), before + 1);
  Release(s);  // word was 16: freed
  EXPECT_EQ(LiveStringCount(), before);
}

TEST(HostStringTest, ReferenceWordSitsRightBeforeTheObject) {
  HostString* s = NewString("x");
  auto* word = reinterpret_cast<int64_t*>(reinterpret_cast<char*>(s) - 8);
  EXPECT_EQ(*word, 16);
  // A module takes a reference by adding 16 to that word itself.
  __atomic_fetch_add(word, 16, __ATOMIC_RELAXED);
  EXPECT_EQ(ReferenceWord(s), 32);
  Release(s);
  Release(s);
}

TEST(HostStringTest, TextRoundTripsThroughCodePoints) {
  struct Case {
    const char* utf8;
    size_t codePoints;
  };
  const Case cases[] = {{"", 0}, {"Facetmender 1.01.0", 18}, {"Würfel", 6}, {"\xF0\x9F\x98\x80", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    HostString* s = NewString(c.utf8);
    EXPECT_EQ(Text(s).size(), c.codePoints);
    EXPECT_EQ(ToUtf8(s), c.utf8);
    Release(s);
  }
  EXPECT_EQ(ToUtf8(nullptr), "");
}

TEST(HostStringTest, MalformedUtf8KeepsEveryByte) {
  HostString* s = NewString("a\xFF" "b");
  ASSERT_EQ(Text(s).size(), 3u);
  EXPECT_EQ(Text(s)[1], U'\u00FF');
  Release(s);
}

// What a module reads back from a host string is what fmhost expects to see echoed.
TEST(HostStringTest, RoundTripUtf8IsWhatAStringGivesBack) {
  for (const char* utf8 : {"", "plain", "W\xC3\xBCrfel", "Caf\xE9", "gr\xFCn\xC3", "\xC3",
                           "\xED\xA0\x80", "\xF0\x9F\x98\x80", "\xF4\x90\x80\x80"}) {
    SCOPED_TRACE(utf8);
    HostString* s = NewString(utf8);
    EXPECT_EQ(RoundTripUtf8(utf8), ToUtf8(s));
    Release(s);
  }
  EXPECT_EQ(RoundTripUtf8("Caf\xE9"), "Caf\xC3\xA9");
}

TEST(HostStringTest, SharedEmptyStringIsNeverFreedOrCounted) {
  HostString* empty = EmptyString();
  EXPECT_EQ(empty, EmptyString());
  const int64_t live = LiveStringCount();
  const int64_t word = ReferenceWord(empty);
  for (int i = 0; i < 100; ++i) Release(empty);
  EXPECT_TRUE(IsHostString(empty));
  EXPECT_EQ(ReferenceWord(empty), word - 1600);
  for (int i = 0; i < 100; ++i) Retain(empty);
  EXPECT_FALSE(FreeString(empty));
  EXPECT_EQ(LiveStringCount(), live);
  EXPECT_EQ(ToUtf8(empty), "");
}

TEST(HostStringTest, FreeRefusesPointersThatAreNotLiveStrings) {
  HostString* s = NewString("gone");
  EXPECT_TRUE(FreeString(s));
  EXPECT_FALSE(IsHostString(s));
  EXPECT_FALSE(FreeString(s));  // a second free is refused, not a double delete
  int notAString = 0;
  EXPECT_FALSE(FreeString(reinterpret_cast<HostString*>(&notAString)));
  EXPECT_FALSE(FreeString(nullptr));
  Retain(nullptr);
  Release(nullptr);
}

TEST(HostStringTest, ConcurrentReferencesBalance) {
  HostString* s = NewString("shared");
  const int64_t live = LiveStringCount();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([s] {
      for (int i = 0; i < 10000; ++i) {
        Retain(s);
        Release(s);
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(ReferenceWord(s), 16);
  EXPECT_EQ(LiveStringCount(), live);
  Release(s);
  EXPECT_EQ(LiveStringCount(), live - 1);
}

}  // namespace
}  // namespace fm::host
