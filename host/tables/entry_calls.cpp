#include "host/tables/entry_calls.h"

namespace fm::host {

int64_t EntryCalls(const Entry& entry) {
  const size_t index = EntryIndex(entry);
  return index < kEntryCount ? entry_calls_detail::counts[index].load(std::memory_order_relaxed) : 0;
}

void ResetEntryCalls() {
  for (std::atomic<int64_t>& calls : entry_calls_detail::counts) {
    calls.store(0, std::memory_order_relaxed);
  }
}

}  // namespace fm::host
