// Literal identifiers: the packed word the host compares by, and release of owned texts.
#include "maxon/literalid.h"

#include <gtest/gtest.h>

#include <cstring>

#include "maxon/system.h"
#include "support/fakehost.h"

namespace {

using maxon::LiteralId;
using maxon::PackLiteralText;

struct PackedCase {
  const char* text;
  uint64_t packed;
};

constexpr PackedCase PACKED_CASES[] = {
    {"net.maxon.application.unknown", 0x1D729B773C070},
    {"net.maxon.core.framework", 0x1854B7897C12B},
    {"net.maxon.c4d.cinema.framework", 0x1e459d5288338},
    {"net.maxon.math.framework", 0x181770e28a954},
    {"file", 0x4000002FF57C},
    {"abc", 0x300000017862},
    {"", 0},
    {nullptr, 0},
};

// The hash is computed at compile time for static data.
static_assert(PackLiteralText("abc") == 0x300000017862);
static_assert(PackLiteralText(nullptr) == 0);

TEST(LiteralIdPacking, MatchesTheKnownWords) {
  for (const PackedCase& c : PACKED_CASES) {
    SCOPED_TRACE(c.text != nullptr ? c.text : "(null)");
    EXPECT_EQ(PackLiteralText(c.text), c.packed);
    LiteralId id;
    id.Assign(c.text);
    EXPECT_EQ(id.packed, c.packed);
    EXPECT_FALSE(id.IsOwned());
  }
}

TEST(LiteralIdPacking, HashesUnsignedBytesAndKeepsFortyThreeBits) {
  // 0xFF counts as 255, not -1; a long text wraps the 64-bit hash and keeps only bits 0..42.
  EXPECT_EQ(PackLiteralText("\xff"), (1ull << 44) | 255u);
  const char* longText = "net.maxon.interface.stringconversion.with.a.long.tail";
  uint64_t h = 0;
  for (const char* c = longText; *c; ++c) h = h * 31 + static_cast<unsigned char>(*c);
  EXPECT_EQ(PackLiteralText(longText),
            (uint64_t(std::strlen(longText)) << 44) | (h & 0x7FFFFFFFFFF));
  EXPECT_EQ(PackLiteralText(longText) & (1ull << 43), 0u);
}

TEST(LiteralIdEquality, ComparesTextsNotPointers) {
  char copy[] = "net.maxon.core.framework";
  LiteralId a{"net.maxon.core.framework"};
  LiteralId b;
  b.Assign(copy);
  LiteralId c{"net.maxon.core.frameworks"};
  LiteralId empty;
  LiteralId alsoEmpty{""};
  EXPECT_TRUE(maxon::LiteralIdEquals(a, b));
  EXPECT_FALSE(maxon::LiteralIdEquals(a, c));
  EXPECT_TRUE(maxon::LiteralIdEquals(empty, alsoEmpty));
  EXPECT_FALSE(maxon::LiteralIdEquals(a, empty));
}

// The host's allocator for this test: counts frees.
int g_freed = 0;
void CountingFree(void* object, void (*destructor)(void*)) {
  if (destructor != nullptr) destructor(object);
  ++g_freed;
  delete[] static_cast<char*>(object);
}

TEST(LiteralIdRelease, FreesAnOwnedTextOnceAndClearsBothWords) {
  fmtest::FakeHost host;
  host.Implement("FreeWithDestructorI@6b1a30c0b982b124", reinterpret_cast<void*>(&CountingFree));
  host.BindAll();
  g_freed = 0;
  {
    LiteralId owned;
    char* text = new char[4]{'a', 'b', 'c', '\0'};
    owned.text = text;
    owned.packed = PackLiteralText(text) | maxon::LITERAL_OWNED_BIT;
    EXPECT_TRUE(owned.IsOwned());
    owned.Release();
    EXPECT_EQ(g_freed, 1);
    EXPECT_EQ(owned.text, nullptr);
    EXPECT_EQ(owned.packed, 0u);
    owned.Release();  // already empty: nothing more to free
    EXPECT_EQ(g_freed, 1);
  }
  {
    LiteralId literal{"abc"};
    const int freedBefore = g_freed;
    literal.Release();
    EXPECT_EQ(g_freed, freedBefore) << "a literal text is never freed";
    EXPECT_EQ(literal.text, nullptr);
  }
}

}  // namespace
