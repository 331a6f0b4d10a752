#include "host/scene/tags.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace fm::host {
namespace {

UvwRecord Origins(uint32_t face, bool triangle) {
  const auto corner = [&](uint32_t k) { return Vector3{double(face), double(k), 0.0}; };
  return UvwRecord{corner(0), corner(1), corner(2), corner(triangle ? 2 : 3)};
}

std::string BytesOf(const UvwRecord& record) {
  return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

// A tag of `n` records naming faces 10.. as fmhost makes them, appended or given by the rule.
std::unique_ptr<UvwTag> OriginTag(int32_t n, bool byRule = false) {
  auto tag = std::make_unique<UvwTag>();
  if (byRule) {
    std::vector<bool> triangle;
    for (int32_t i = 0; i < n; ++i) triangle.push_back(i % 2 == 0);
    EXPECT_TRUE(tag->GenerateOrigins(10, triangle));
    return tag;
  }
  tag->Reserve(n);
  for (int32_t i = 0; i < n; ++i) tag->Append(Origins(10 + i, i % 2 == 0));
  return tag;
}

// Every test of the compact form runs on records appended and on records given by the rule.
class UvwTagForms : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(AppendedOrByRule, UvwTagForms, ::testing::Bool());

TEST(UvwTagCompactForm, OriginsGivenByTheRuleAreThoseAppended) {
  const std::unique_ptr<UvwTag> appended = OriginTag(70000);
  const std::unique_ptr<UvwTag> ruled = OriginTag(70000, true);
  ASSERT_EQ(ruled->Count(), 70000);
  EXPECT_TRUE(ruled->Compact());
  for (int32_t i : {0, 1, 65535, 65536, 69999}) {
    EXPECT_EQ(BytesOf(ruled->Get(i)), BytesOf(appended->Get(i))) << i;
  }
  EXPECT_TRUE(ruled->Bytes() == appended->Bytes());
  // Only an empty tag takes the rule, and only for faces the compact form holds.
  const std::unique_ptr<UvwTag> filled = OriginTag(2);
  ASSERT_TRUE(filled->Compact());
  EXPECT_FALSE(filled->GenerateOrigins(0, std::vector<bool>(3)));
  EXPECT_EQ(filled->Count(), 2);
  EXPECT_EQ(BytesOf(filled->Get(1)), BytesOf(Origins(11, false)));
  UvwTag far;
  EXPECT_FALSE(far.GenerateOrigins((uint32_t{1} << 30) - 2, std::vector<bool>(3)));
  EXPECT_TRUE(far.GenerateOrigins((uint32_t{1} << 30) - 3, std::vector<bool>(3)));
  EXPECT_EQ(BytesOf(far.Get(2)), BytesOf(Origins((uint32_t{1} << 30) - 1, false)));
}

TEST_P(UvwTagForms, KeepsFaceAndCornerNumbersAndGivesThemBackByteForByte) {
  const std::unique_ptr<UvwTag> tagOwner = OriginTag(5, GetParam());
  UvwTag& tag = *tagOwner;
  EXPECT_TRUE(tag.Compact());
  EXPECT_EQ(tag.Count(), 5);
  for (int32_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(BytesOf(tag.Get(i)), BytesOf(Origins(10 + i, i % 2 == 0)));
    UvwRecord read;
    ASSERT_TRUE(tag.Read(i, &read));
    EXPECT_EQ(BytesOf(read), BytesOf(Origins(10 + i, i % 2 == 0)));
  }
  // The largest face the form holds, every corner number, and zeros.
  const UvwRecord edge{{1073741823.0, 3, 0}, {0, 0, 0}, {1, 2, 0}, {0, 1, 0}};
  EXPECT_TRUE(tag.Set(4, edge));
  EXPECT_TRUE(tag.Compact());
  EXPECT_EQ(BytesOf(tag.Get(4)), BytesOf(edge));
  UvwRecord untouched;
  std::memset(static_cast<void*>(&untouched), 0x5a, sizeof untouched);
  const std::string before = BytesOf(untouched);
  EXPECT_FALSE(tag.Read(5, &untouched));
  EXPECT_FALSE(tag.Read(-1, &untouched));
  EXPECT_EQ(BytesOf(untouched), before);
  EXPECT_FALSE(tag.Set(5, edge));
  EXPECT_EQ(BytesOf(tag.Get(5)), BytesOf(UvwRecord{}));
}

TEST_P(UvwTagForms, AValueItCannotHoldTurnsTheTagIntoPlainRecordsLosingNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    Vector3 corner;
  };
  const Case cases[] = {
      {"a fraction", {2.5, 1, 0}},
      {"a corner number of 4", {2, 4, 0}},
      {"a face beyond 2^30", {1073741824.0, 0, 0}},
      {"a negative face", {-1, 0, 0}},
      {"a negative zero face", {-0.0, 0, 0}},
      {"a negative zero corner", {0, -0.0, 0}},
      {"a negative zero w", {0, 0, -0.0}},
      {"a w of its own", {0, 0, 1}},
      {"not a number", {nan, 0, 0}},
      {"an infinite corner", {0, std::numeric_limits<double>::infinity(), 0}},
      {"a face beyond 32 bits", {5e9, 0, 0}},
      {"the most negative 32-bit face", {-2147483648.0, 0, 0}},
      {"a negative corner", {0, -1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const UvwRecord odd{Origins(1, false).a, c.corner, Origins(1, false).c, Origins(1, false).d};
    for (int way = 0; way < 2; ++way) {
      SCOPED_TRACE(way == 0 ? "Set" : "Append");
      const std::unique_ptr<UvwTag> copyOwner = OriginTag(4, GetParam());
      UvwTag& copy = *copyOwner;
      const int32_t index = way == 0 ? 2 : 4;
      if (way == 0) {
        EXPECT_TRUE(copy.Set(index, odd));
      } else {
        copy.Append(odd);
      }
      EXPECT_FALSE(copy.Compact());
      EXPECT_EQ(copy.Count(), way == 0 ? 4 : 5);
      EXPECT_EQ(BytesOf(copy.Get(index)), BytesOf(odd));
      for (int32_t i = 0; i < 4; ++i) {
        if (i == index) continue;
        EXPECT_EQ(BytesOf(copy.Get(i)), BytesOf(Origins(10 + i, i % 2 == 0))) << i;
      }
    }
  }
}

TEST_P(UvwTagForms, ThePlainBytesAreTheRecordsAndStayWritableInPlace) {
  const std::unique_ptr<UvwTag> tagOwner = OriginTag(3, GetParam());
  UvwTag& tag = *tagOwner;
  const UvwTag& view = tag;
  const std::vector<uint8_t> bytes = view.Bytes();  // a const reader gets them too
  ASSERT_EQ(bytes.size(), 3 * sizeof(UvwRecord));
  for (int32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + i * sizeof(UvwRecord),
                          sizeof(UvwRecord)),
              BytesOf(Origins(10 + i, i % 2 == 0)));
  }
  EXPECT_FALSE(tag.Compact());
  const UvwRecord written = Origins(77, false);
  std::memcpy(tag.Record(1), &written, sizeof written);
  EXPECT_EQ(BytesOf(tag.Get(1)), BytesOf(written));
}

TEST_P(UvwTagForms, ResizingZeroFillsInEitherForm) {
  for (bool plain : {false, true}) {
    SCOPED_TRACE(plain ? "plain" : "compact");
    const std::unique_ptr<UvwTag> tagOwner = OriginTag(2, GetParam());
    UvwTag& tag = *tagOwner;
    if (plain) tag.Bytes();
    tag.SetCount(4);
    EXPECT_EQ(tag.Count(), 4);
    EXPECT_EQ(tag.Compact(), !plain);
    EXPECT_EQ(BytesOf(tag.Get(1)), BytesOf(Origins(11, false)));
    EXPECT_EQ(BytesOf(tag.Get(3)), BytesOf(UvwRecord{}));
    tag.FollowResize(0, 1);
    EXPECT_EQ(tag.Count(), 1);
    EXPECT_EQ(BytesOf(tag.Get(0)), BytesOf(Origins(10, true)));
  }
}

TEST_P(UvwTagForms, ACopyRestoresTheRecordsAndTheirFormWhateverHappenedSince) {
  const std::unique_ptr<UvwTag> tagOwner = OriginTag(4, GetParam());
  UvwTag& tag = *tagOwner;
  const std::unique_ptr<Tag> saved = tag.Clone();
  const UvwRecord fraction{{0.25, 0, 0}, {}, {}, {}};
  tag.Set(0, fraction);
  tag.SetCount(2);
  ASSERT_FALSE(tag.Compact());
  tag.Restore(*saved);
  EXPECT_TRUE(tag.Compact());
  ASSERT_EQ(tag.Count(), 4);
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(BytesOf(tag.Get(i)), BytesOf(Origins(10 + i, i % 2 == 0)));

  // A copy of plain records puts plain records back.
  const std::unique_ptr<Tag> plainSaved = [&] {
    tag.Set(3, fraction);
    return tag.Clone();
  }();
  tag.Restore(*saved);
  tag.Restore(*plainSaved);
  EXPECT_FALSE(tag.Compact());
  EXPECT_EQ(BytesOf(tag.Get(3)), BytesOf(fraction));
  EXPECT_EQ(BytesOf(tag.Get(0)), BytesOf(Origins(10, true)));
}

}  // namespace
}  // namespace fm::host
