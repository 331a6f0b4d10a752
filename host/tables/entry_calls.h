#pragma once
// How often each table entry has been called, counted by the host's side of every entry, so a
// test can walk the whole list and see which entries a module file reached. The counts are the
// process's (all environments share the tables).

#include <cstddef>
#include <cstdint>

#include "host/tables/layout.h"

namespace fm::host {

inline constexpr size_t kEntryCount = sizeof kAllEntries / sizeof kAllEntries[0];

// The entry's place in kAllEntries, found by table and offset; kEntryCount when it is not there.
constexpr size_t EntryIndex(const Entry& entry) {
  for (size_t i = 0; i < kEntryCount; ++i) {
    if (kAllEntries[i].table == entry.table && kAllEntries[i].windows == entry.windows &&
        kAllEntries[i].itanium == entry.itanium) {
      return i;
    }
  }
  return kEntryCount;
}

// Called by an entry's host side on every call. `index` must be below kEntryCount.
void CountEntryCall(size_t index);

// Calls of `entry` since the last reset (0 for an entry not in the list).
int64_t EntryCalls(const Entry& entry);
void ResetEntryCalls();

}  // namespace fm::host
