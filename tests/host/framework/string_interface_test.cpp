// The string interface as a module reaches it: through the functions bound to its identifiers.

#include <gtest/gtest.h>

#include "host/framework/declarations.h"
#include "host/framework/errors.h"
#include "host/framework/framework.h"
#include "host/framework/interfaces.h"
#include "host/framework/registry.h"
#include "host/framework/string_faults.h"
#include "host/framework/strings.h"

namespace fm::host {
namespace {

template <typename F>
F Bound(const char* identifier) {
  auto function = reinterpret_cast<F>(FindMethod(kStringInterface, identifier));
  EXPECT_NE(function, nullptr) << identifier;
  return function;
}

class StringInterfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFramework();
    live_ = LiveStringCount();
    free_ = Bound<void (*)(HostString*)>("Free@6b89c862671671d5");
    length_ = Bound<int64_t (*)(const HostString*)>("GetLength@4386c86");
    init_ = Bound<HostString* (*)(HostString*)>("Init@6843523afaef7f67");
    alloc_ = Bound<HostString* (*)()>("Alloc@481728b0e4a6af90");
    set_.bound = Bound<SetCString::Method>("SetCString@5c5e8978bfe2a356");
  }
  void TearDown() override {
    ResetFramework();
    EXPECT_EQ(LiveStringCount(), live_);
  }
  int64_t live_ = 0;
  void (*free_)(HostString*) = nullptr;
  int64_t (*length_)(const HostString*) = nullptr;
  HostString* (*init_)(HostString*) = nullptr;
  HostString* (*alloc_)() = nullptr;
  // SetCString as a module declares it: the error by value, the decoding by const reference.
  struct SetCString {
    using Method = ErrorValue (*)(HostString*, const char*, int64_t, const ObjectRef&);
    Method bound = nullptr;
    const void* operator()(HostString* s, const char* text, int64_t length,
                           const void* decoding) const {
      const ObjectRef reference(decoding);
      return bound(s, text, length, reference).Get();
    }
  } set_;
};

TEST_F(StringInterfaceTest, AllocSetLengthInitFree) {
  HostString* s = alloc_();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(ReferenceWord(s), 16);
  EXPECT_EQ(length_(s), 0);
  EXPECT_EQ(set_(s, "Würfel", -1, Utf8Decoding()), nullptr);
  EXPECT_EQ(length_(s), 6);
  EXPECT_EQ(ToUtf8(s), "Würfel");
  EXPECT_EQ(set_(s, "abcdef", 3, Utf8Decoding()), nullptr);
  EXPECT_EQ(ToUtf8(s), "abc");
  EXPECT_EQ(init_(s), s);
  EXPECT_EQ(length_(s), 0);
  free_(s);
  EXPECT_FALSE(IsHostString(s));
  EXPECT_EQ(length_(nullptr), 0);
  EXPECT_EQ(init_(nullptr), nullptr);
}

TEST_F(StringInterfaceTest, SetCStringRefusesBadInputAndKeepsTheOldText) {
  HostString* s = NewString("kept");
  const char dummyDecoding = 0;
  struct Case {
    const char* name;
    const char* text;
    int64_t length;
    const void* decoding;
    const HostError* expected;
  };
  const Case cases[] = {
      {"invalid utf-8", "a\xFF", -1, Utf8Decoding(), UnicodeDecodingError()},
      {"foreign decoding", "abc", -1, &dummyDecoding, IllegalArgumentError()},
      {"null decoding", "abc", -1, nullptr, IllegalArgumentError()},
      {"negative length", "abc", -2, Utf8Decoding(), IllegalArgumentError()},
      {"null text", nullptr, -1, Utf8Decoding(), NullptrError()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AsHostError(set_(s, c.text, c.length, c.decoding)), c.expected);
    EXPECT_EQ(ToUtf8(s), "kept");
  }
  EXPECT_EQ(set_(s, nullptr, 0, Utf8Decoding()), nullptr);
  EXPECT_EQ(ToUtf8(s), "");
  EXPECT_EQ(AsHostError(set_(EmptyString(), "x", -1, Utf8Decoding())), NullptrError());
  EXPECT_EQ(ToUtf8(EmptyString()), "");
  Release(s);
}

TEST_F(StringInterfaceTest, AllocObeysItsFaultSwitch) {
  StringAllocationFault().Nth(1);
  EXPECT_EQ(alloc_(), nullptr);
  HostString* s = alloc_();
  EXPECT_NE(s, nullptr);
  free_(s);
}

TEST_F(StringInterfaceTest, FreeIgnoresTheSharedEmptyStringAndStrangers) {
  free_(EmptyString());
  free_(nullptr);
  int stranger = 0;
  free_(reinterpret_cast<HostString*>(&stranger));
  EXPECT_TRUE(IsHostString(EmptyString()));
}

}  // namespace
}  // namespace fm::host
