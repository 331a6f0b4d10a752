#pragma once
// One host table as a module sees it: kTableBytes of entries, every 8-byte slot a trap until an
// entry is put there. Internal to the tables room.

#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>

#include "host/tables/layout.h"
#include "host/tables/trap.h"

namespace fm::host {

// Turns a plain entry function `R (void* self, A...)` into a member function of a host class, for
// the member entries of the Itanium layout: `(self->*entry)(a...)` arrives as `Fn(self, a...)`.
template <auto Fn, typename Signature = decltype(Fn)>
struct MemberShim;
template <auto Fn, typename R, typename... A>
struct MemberShim<Fn, R (*)(void*, A...)> {
  R Call(A... args) { return Fn(static_cast<void*>(this), args...); }
};

class TableImage {
 public:
  explicit TableImage(uint32_t position) : position_(position) {
    for (uint32_t offset = 0; offset < kTableBytes; offset += 8) {
      const TrapFunction trap = TrapFor(position, offset);
      std::memcpy(bytes_.data() + offset, &trap, sizeof trap);
    }
  }

  uint32_t Position() const { return position_; }
  const void* Data() const { return bytes_.data(); }

  // A plain entry: an 8-byte function pointer on both layouts.
  template <typename Fn>
  void PutPlain(const Entry& entry, Fn* function) {
    assert(!entry.member && entry.table == position_);
    std::memcpy(bytes_.data() + entry.Offset(), &function, sizeof function);
  }

  // A member entry: 8-byte plain function on Windows, 16-byte pointer to member on Itanium.
  template <auto Fn>
  void PutMember(const Entry& entry) {
    assert(entry.member && entry.table == position_);
    if constexpr (kItaniumLayout) {
      auto member = &MemberShim<Fn>::Call;
      static_assert(sizeof member == 16);
      uint64_t words[2];
      std::memcpy(words, &member, sizeof words);
      assert((words[0] & 1) == 0 && words[1] == 0);  // non-virtual, no adjustment
      std::memcpy(bytes_.data() + entry.Offset(), words, sizeof words);
    } else {
      PutPlain(Entry{entry.table, entry.windows, entry.itanium, false}, Fn);
    }
  }

  // An entry given as its bytes (a member entry the boundary made); `width` must be the entry's.
  void PutEntryBytes(const Entry& entry, const void* bytes, uint32_t width) {
    assert(width == entry.Width() && entry.table == position_);
    std::memcpy(bytes_.data() + entry.Offset(), bytes, width);
  }

  // A data word (StringTable entry 0).
  void PutData(const Entry& entry, const void* data) {
    assert(!entry.member && entry.table == position_);
    std::memcpy(bytes_.data() + entry.Offset(), &data, sizeof data);
  }

 private:
  uint32_t position_;
  alignas(16) std::array<uint8_t, kTableBytes> bytes_{};
};

// The fillers, one per used table (each in the file named for its table).
void FillGeneralTable(TableImage& table);
void FillStringTable(TableImage& table);
void FillBitmapTable(TableImage& table);
void FillPathTable(TableImage& table);
void FillResourceTable(TableImage& table);
void FillTagTable(TableImage& table);
void FillObjectTable(TableImage& table);
void FillDocumentTable(TableImage& table);
void FillSelectionTable(TableImage& table);
void FillValueTable(TableImage& table);
void FillNodeTable(TableImage& table);

}  // namespace fm::host
