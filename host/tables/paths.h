#pragma once
// Path storage words as the host makes them. A path is one pointer-sized word of the owner's
// storage holding a host string with the path text, or null for the empty path. Copies share the
// string; every edit gives the edited path a string of its own, so the copies never change.

#include <cstdint>
#include <string>
#include <string_view>

namespace fm::host {

// Makes `*word` a path holding `text` (empty text: the empty path), whatever the word held
// before; it counts as live until FreePathWord.
void InitPathWord(void** word, std::string_view text = {});

// Releases the word's string and sets it to null.
void FreePathWord(void** word);

// The path text of a word ("" for the empty path or a null word pointer).
std::string PathWordText(void* const* word);

// Replaces the word's text, releasing the string it held.
void SetPathWordText(void** word, std::string_view text);

// Paths made (PathInit, InitPathWord, and the entries that give a path by value) minus paths
// freed. A module that frees what it is given leaves this where it found it.
int64_t LivePathCount();

// A path by value, as the host's API gives it: one path word of its own, freed when the value is
// destroyed. Not trivially copyable, so a C++ compiler returns it through a hidden result slot.
class PathValue {
 public:
  explicit PathValue(std::string_view text = {}) { InitPathWord(&word_, text); }
  PathValue(const PathValue&) = delete;
  PathValue& operator=(const PathValue&) = delete;
  ~PathValue() { FreePathWord(&word_); }

  void** Word() { return &word_; }

 private:
  void* word_ = nullptr;
};
static_assert(sizeof(PathValue) == sizeof(void*));

}  // namespace fm::host
