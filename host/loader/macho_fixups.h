#pragma once
// The rebase and bind opcode streams of a Mach-O dylib (the form of LC_DYLD_INFO), decoded into
// lists of pointer slots. Each slot is checked to lie inside a writable segment; a stream that
// runs off its end, uses an opcode or fixup kind this loader does not know, or names a segment
// the file lacks is refused.

#include <cstdint>
#include <string>
#include <vector>

#include "host/loader/macho_file.h"

namespace fm::host::macho {

// A pointer-sized slot at `offset` in segment `segment`.
struct Rebase {
  uint32_t segment;
  uint64_t offset;
};

// Library ordinals below 1 name no imported library.
inline constexpr int64_t kOrdinalSelf = 0;
inline constexpr int64_t kOrdinalFlatLookup = -1;
inline constexpr int64_t kOrdinalMainExecutable = -2;
inline constexpr int64_t kOrdinalWeakLookup = -3;

struct Bind {
  uint32_t segment;
  uint64_t offset;
  int64_t ordinal;  // 1-based index into File::libraries, or one of the special ordinals
  std::string symbol;
  int64_t addend;
  bool weakImport;  // may stay unresolved: the slot then holds 0
};

enum class BindStream { kRegular, kLazy, kWeak };

bool DecodeRebases(const File& file, const std::vector<uint8_t>& bytes, std::vector<Rebase>* rebases,
                   std::string* error);
bool DecodeBinds(const File& file, const std::vector<uint8_t>& bytes, BindStream stream,
                 std::vector<Bind>* binds, std::string* error);

}  // namespace fm::host::macho
