#include "host/tables/entry_calls.h"

#include <atomic>

namespace fm::host {
namespace {

std::atomic<int64_t> g_calls[kEntryCount];

}  // namespace

void CountEntryCall(size_t index) { g_calls[index].fetch_add(1, std::memory_order_relaxed); }

int64_t EntryCalls(const Entry& entry) {
  const size_t index = EntryIndex(entry);
  return index < kEntryCount ? g_calls[index].load(std::memory_order_relaxed) : 0;
}

void ResetEntryCalls() {
  for (std::atomic<int64_t>& calls : g_calls) calls.store(0, std::memory_order_relaxed);
}

}  // namespace fm::host
