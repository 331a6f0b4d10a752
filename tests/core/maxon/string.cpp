// Host strings through the string interface: creation from 8-bit text with the lazily resolved
// decoding, the reference word, and release.
#include "maxon/hoststring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "maxon/stringinterface.h"
#include "support/fakehost.h"

namespace {

using maxon::StringObject;

// The host's string object of this test: the reference word, then the text.
struct FakeString {
  int64_t word;
  std::string text;
};
static_assert(offsetof(FakeString, text) == 8);

FakeString* Of(StringObject* s) {
  return reinterpret_cast<FakeString*>(reinterpret_cast<char*>(s) - 8);
}
StringObject* AsString(FakeString* f) { return reinterpret_cast<StringObject*>(&f->text); }

int g_frees = 0;
bool g_refuseText = false;
const void* g_lastDecoding = nullptr;
uint64_t g_setCStringError[2];

StringObject* HostAlloc() { return AsString(new FakeString{16, {}}); }
StringObject* HostAllocRefused() { return nullptr; }
void HostFree(StringObject* s) {
  ++g_frees;
  delete Of(s);
}
int64_t HostLength(const StringObject* s) {
  return static_cast<int64_t>(Of(const_cast<StringObject*>(s))->text.size());
}
// The host's declaration: the error by value, the decoding reference by const reference.
maxon::ErrorRef HostSetCString(StringObject* s, const char* text, int64_t length,
                               const maxon::StringDecodingRef& decoding) {
  g_lastDecoding = decoding.Get();
  if (g_refuseText) return maxon::ErrorRef(g_setCStringError);
  Of(s)->text = length < 0 ? std::string(text) : std::string(text, length);
  return maxon::ErrorRef();
}

class HostStringTest : public testing::Test {
 protected:
  void SetUp() override {
    g_frees = 0;
    g_refuseText = false;
    g_lastDecoding = nullptr;
    host_.ProvideInterface("net.maxon.interface.string");
    host_.Implement("Alloc@481728b0e4a6af90", reinterpret_cast<void*>(&HostAlloc));
    host_.Implement("Free@6b89c862671671d5", reinterpret_cast<void*>(&HostFree));
    host_.Implement("GetLength@4386c86", reinterpret_cast<void*>(&HostLength));
    host_.Implement("SetCString@5c5e8978bfe2a356", reinterpret_cast<void*>(&HostSetCString));
    host_.ProvideObject("net.maxon.stringdecoding.utf8", &decoding_);
  }
  fmtest::FakeHost host_;
  uint64_t decoding_[2] = {};
};

TEST_F(HostStringTest, MakesAStringWithOneReferenceFromEightBitText) {
  host_.BindAll();
  StringObject* s = maxon::StringFromCString("Facetmender");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(Of(s)->text, "Facetmender");
  EXPECT_EQ(Of(s)->word, 16);
  EXPECT_EQ(maxon::StringGetLength(s), 11);
  EXPECT_EQ(g_lastDecoding, decoding_) << "the host's decoding object";
  maxon::StringRelease(s);
  EXPECT_EQ(g_frees, 1);
}

TEST_F(HostStringTest, EmptyAndNullTextGiveAnEmptyString) {
  host_.BindAll();
  for (const char* text : {"", static_cast<const char*>(nullptr)}) {
    StringObject* s = maxon::StringFromCString(text);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(maxon::StringGetLength(s), 0);
    maxon::StringRelease(s);
  }
  EXPECT_EQ(g_lastDecoding, nullptr) << "no text, nothing to decode";
}

TEST_F(HostStringTest, AStringThatRefusesTheTextIsReleasedNotHandedOut) {
  host_.BindAll();
  g_refuseText = true;
  EXPECT_EQ(maxon::StringFromCString("text"), nullptr);
  EXPECT_EQ(g_frees, 1);
}

TEST_F(HostStringTest, ARefusedAllocationGivesNull) {
  host_.Implement("Alloc@481728b0e4a6af90", reinterpret_cast<void*>(&HostAllocRefused));
  host_.BindAll();
  EXPECT_EQ(maxon::StringFromCString("text"), nullptr);
}

TEST_F(HostStringTest, UnboundTheCallsAnswerNeutrally) {
  // Not bound: nothing to allocate with, nothing to measure.
  EXPECT_EQ(maxon::StringFromCString("text"), nullptr);
  FakeString f{16, "abc"};
  EXPECT_EQ(maxon::StringGetLength(AsString(&f)), 0);
  EXPECT_EQ(maxon::StringGetLength(nullptr), 0);
}

TEST_F(HostStringTest, TheReferenceWordCountsInSixteensAndFreesBelowThirtyTwo) {
  host_.BindAll();
  StringObject* s = maxon::StringFromCString("x");
  maxon::StringAddReference(s);
  EXPECT_EQ(Of(s)->word, 32);
  maxon::StringRelease(s);  // 32 before: one reference remains
  EXPECT_EQ(Of(s)->word, 16);
  EXPECT_EQ(g_frees, 0);
  maxon::StringRelease(s);  // 16 before: the last one
  EXPECT_EQ(g_frees, 1);
  maxon::StringAddReference(nullptr);
  maxon::StringRelease(nullptr);
  EXPECT_EQ(g_frees, 1);
}

TEST_F(HostStringTest, TheDecodingIsAPlaceholderUntilTheStringInterfaceIsBound) {
  const void* placeholder = maxon::Utf8Decoding();
  EXPECT_NE(placeholder, nullptr);
  EXPECT_NE(placeholder, decoding_);
  EXPECT_EQ(host_.initializerCalls(), 0) << "not asked before the interface is bound";
  host_.BindAll();
  EXPECT_EQ(maxon::Utf8Decoding(), decoding_);
  const int calls = host_.initializerCalls();
  EXPECT_EQ(maxon::Utf8Decoding(), decoding_);
  EXPECT_EQ(host_.initializerCalls(), calls) << "cached";
}

}  // namespace
