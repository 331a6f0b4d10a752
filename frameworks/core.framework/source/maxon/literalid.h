#pragma once
// Literal identifiers: the framework names every module, unit, interface and declaration with a
// text and a packed word that lets the host compare and look up without touching the text.

#include <cstdint>

namespace maxon {

// Bits 0..42 of the packed word: hash of the text; bit 43: the text is owned; bits 44..63: length.
inline constexpr uint64_t LITERAL_HASH_MASK = 0x7FFFFFFFFFFull;
inline constexpr uint64_t LITERAL_OWNED_BIT = 1ull << 43;
inline constexpr int LITERAL_LENGTH_SHIFT = 44;

// h = h * 31 + byte over the unsigned bytes, wrapping at 64 bits; the packed word keeps 43 bits of
// it below the length. A null text packs to 0, like the empty text.
constexpr uint64_t PackLiteralText(const char* text) {
  if (text == nullptr) return 0;
  uint64_t hash = 0;
  uint64_t length = 0;
  for (const char* c = text; *c != '\0'; ++c, ++length)
    hash = hash * 31u + static_cast<unsigned char>(*c);
  return (length << LITERAL_LENGTH_SHIFT) | (hash & LITERAL_HASH_MASK);
}

// Two words, laid out as the host reads them: text at 0, packed word at 8. Not copyable, because
// an owned text has exactly one owner; destruction frees an owned text and clears both words.
struct LiteralId {
  const char* text = nullptr;
  uint64_t packed = 0;

  constexpr LiteralId() = default;
  constexpr LiteralId(const char* literal) : text(literal), packed(PackLiteralText(literal)) {}
  LiteralId(const LiteralId&) = delete;
  LiteralId& operator=(const LiteralId&) = delete;
  ~LiteralId() { Release(); }

  // Points this identifier at `literal` (not owned), computing the packed word at run time.
  void Assign(const char* literal);
  // Frees the text when owned (through the framework allocator that produced it), then clears
  // both words. Safe on an empty identifier.
  void Release();

  constexpr bool IsOwned() const { return (packed & LITERAL_OWNED_BIT) != 0; }
  constexpr bool IsEmpty() const { return text == nullptr || packed == 0; }
  constexpr uint64_t Length() const { return packed >> LITERAL_LENGTH_SHIFT; }
};

static_assert(sizeof(LiteralId) == 16);
static_assert(alignof(LiteralId) == 8);

// Same text, compared by packed word first (the cheap test the host uses) and then byte by byte.
bool LiteralIdEquals(const LiteralId& a, const LiteralId& b);

// Test hook: called with every identifier that is released while it still names a text (exit-time
// destruction included). Null (the default) observes nothing.
using LiteralIdObserver = void (*)(const LiteralId& id);
void SetLiteralIdReleaseObserver(LiteralIdObserver observer);

}  // namespace maxon
