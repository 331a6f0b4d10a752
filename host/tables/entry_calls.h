#pragma once
// How often each table entry has been called, counted by the host's side of every entry, so a
// test can walk the whole list and see which entries a module file reached. The counts are the
// process's (all environments share the tables).

#include <atomic>
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

namespace entry_calls_detail {
inline std::atomic<int64_t> counts[kEntryCount];
}  // namespace entry_calls_detail

// Called by an entry's host side on every call (millions of times in a command on a big mesh).
// `index` must be below kEntryCount. Counted without a locked instruction: of calls made at the
// same moment on several threads one may go uncounted, which the counts' use (which entries a
// module reached, and how often on one thread) allows.
inline void CountEntryCall(size_t index) {
  std::atomic<int64_t>& calls = entry_calls_detail::counts[index];
  calls.store(calls.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

// Calls of `entry` since the last reset (0 for an entry not in the list).
int64_t EntryCalls(const Entry& entry);
void ResetEntryCalls();

}  // namespace fm::host
