#include "host/framework/strings.h"

#include <atomic>
#include <cstddef>
#include <mutex>
#include <new>
#include <unordered_set>

#include "host/framework/utf8.h"

namespace fm::host {

struct HostString {
  std::u32string text;
};

namespace {

using ReferenceWordType = std::atomic<int64_t>;
static_assert(sizeof(ReferenceWordType) == 8 && ReferenceWordType::is_always_lock_free,
              "the reference word must be a plain 64-bit word that modules can change atomically");
static_assert(alignof(HostString) <= 8, "the object must start right after the reference word");

constexpr int64_t kOneReference = 16;
// The shared empty string is never freed: no sequence of releases a module could make brings its
// word below 32.
constexpr int64_t kEmptyStringWord = int64_t{1} << 60;

// Every string the host has made and not yet freed, so that a pointer that is not one of them
// (a double free, a module's own object) is refused instead of corrupting memory.
struct LiveStrings {
  std::mutex mutex;
  std::unordered_set<const HostString*> strings;
};

LiveStrings& Live() {
  static auto* live = new LiveStrings;  // never destroyed: strings may outlive static destruction
  return *live;
}

ReferenceWordType* WordOf(const HostString* string) {
  return reinterpret_cast<ReferenceWordType*>(
      const_cast<char*>(reinterpret_cast<const char*>(string)) - sizeof(ReferenceWordType));
}

HostString* Construct(std::u32string text, int64_t word) {
  void* block = ::operator new(sizeof(ReferenceWordType) + sizeof(HostString));
  new (block) ReferenceWordType(word);
  auto* string =
      new (static_cast<char*>(block) + sizeof(ReferenceWordType)) HostString{std::move(text)};
  return string;
}

void Destroy(HostString* string) {
  ReferenceWordType* word = WordOf(string);
  string->~HostString();
  word->~ReferenceWordType();
  ::operator delete(static_cast<void*>(word));
}

}  // namespace

HostString* NewString(std::string_view utf8) {
  std::optional<std::u32string> decoded = DecodeUtf8(utf8);
  std::u32string text;
  if (decoded) {
    text = std::move(*decoded);
  } else {
    // Host-side callers hand us file names and resource texts; keep every byte rather than drop
    // the string, one code point per byte of the malformed input.
    for (char c : utf8) text += static_cast<char32_t>(static_cast<unsigned char>(c));
  }
  return NewString(std::move(text));
}

HostString* NewString(std::u32string text) {
  HostString* string = Construct(std::move(text), kOneReference);
  LiveStrings& live = Live();
  std::lock_guard<std::mutex> lock(live.mutex);
  live.strings.insert(string);
  return string;
}

HostString* EmptyString() { return *EmptyStringHolder(); }

HostString* const* EmptyStringHolder() {
  static HostString* const empty = Construct(std::u32string(), kEmptyStringWord);
  return &empty;
}

bool IsHostString(const HostString* string) {
  if (string == nullptr) return false;
  if (string == EmptyString()) return true;
  LiveStrings& live = Live();
  std::lock_guard<std::mutex> lock(live.mutex);
  return live.strings.count(string) != 0;
}

std::string ToUtf8(const HostString* string) {
  if (string == nullptr) return std::string();
  return EncodeUtf8(string->text);
}

std::string RoundTripUtf8(std::string_view utf8) {
  if (DecodeUtf8(utf8)) return std::string(utf8);
  std::u32string text;
  for (char c : utf8) text += static_cast<char32_t>(static_cast<unsigned char>(c));
  return EncodeUtf8(text);
}

std::u32string& Text(HostString* string) { return string->text; }
const std::u32string& Text(const HostString* string) { return string->text; }

void Retain(HostString* string) {
  if (string == nullptr) return;
  WordOf(string)->fetch_add(kOneReference, std::memory_order_relaxed);
}

void Release(HostString* string) {
  if (string == nullptr) return;
  const int64_t before = WordOf(string)->fetch_sub(kOneReference, std::memory_order_acq_rel);
  if (before < 2 * kOneReference && string != EmptyString()) FreeString(string);
}

bool FreeString(HostString* string) {
  if (string == nullptr || string == EmptyString()) return false;
  {
    LiveStrings& live = Live();
    std::lock_guard<std::mutex> lock(live.mutex);
    if (live.strings.erase(string) == 0) return false;
  }
  Destroy(string);
  return true;
}

int64_t ReferenceWord(const HostString* string) {
  return WordOf(string)->load(std::memory_order_relaxed);
}

int64_t LiveStringCount() {
  LiveStrings& live = Live();
  std::lock_guard<std::mutex> lock(live.mutex);
  return static_cast<int64_t>(live.strings.size());
}

}  // namespace fm::host
