#pragma once
// One host table as a module sees it: kTableBytes of entries, every 8-byte slot a trap until an
// entry is put there. Internal to the tables room.

#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>

#include "host/tables/entry_calls.h"
#include "host/tables/layout.h"
#include "host/tables/trap.h"

namespace fm::host {

// The host's side of a plain entry `R (A...)`: counts the call, then makes it. It has the entry
// function's own declaration, so arguments, hidden result slots and results pass through as the
// function's compiler places them.
template <const Entry& E, auto Fn, typename Signature = decltype(Fn)>
struct CountedEntry;
template <const Entry& E, auto Fn, typename R, typename... A>
struct CountedEntry<E, Fn, R (*)(A...)> {
  static constexpr size_t kIndex = EntryIndex(E);
  static_assert(kIndex < kEntryCount, "the entry is one of the host's list");
  static R Call(A... args) {
    CountEntryCall(kIndex);
    return Fn(args...);
  }
};

// Turns a plain entry function `R (void* self, A...)` into a member function of a host class, for
// the member entries of the Itanium layout: `(self->*entry)(a...)` arrives as `Fn(self, a...)`.
template <const Entry& E, auto Fn, typename Signature = decltype(Fn)>
struct MemberShim;
template <const Entry& E, auto Fn, typename R, typename... A>
struct MemberShim<E, Fn, R (*)(void*, A...)> {
  R Call(A... args) { return CountedEntry<E, Fn>::Call(static_cast<void*>(this), args...); }
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

  // A plain entry: an 8-byte function pointer on both layouts, its calls counted.
  template <const Entry& E, auto Fn>
  void PutPlain() {
    static_assert(!E.member);
    PutAddress(E, reinterpret_cast<void*>(&CountedEntry<E, Fn>::Call));
  }

  // A plain entry given as its code address (one the boundary made, which counts its calls).
  void PutAddress(const Entry& entry, void* function) {
    assert(!entry.member && entry.table == position_);
    std::memcpy(bytes_.data() + entry.Offset(), &function, sizeof function);
  }

  // A member entry: 8-byte plain function on Windows, 16-byte pointer to member on Itanium; its
  // calls counted.
  template <const Entry& E, auto Fn>
  void PutMember() {
    static_assert(E.member);
    assert(E.table == position_);
    if constexpr (kItaniumLayout) {
      auto member = &MemberShim<E, Fn>::Call;
      static_assert(sizeof member == 16);
      uint64_t words[2];
      std::memcpy(words, &member, sizeof words);
      assert((words[0] & 1) == 0 && words[1] == 0);  // non-virtual, no adjustment
      std::memcpy(bytes_.data() + E.Offset(), words, sizeof words);
    } else {
      void* function = reinterpret_cast<void*>(&CountedEntry<E, Fn>::Call);
      std::memcpy(bytes_.data() + E.Offset(), &function, sizeof function);
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
