#include "host/scene/prepare_memory.h"

#include <atomic>
#include <cstdint>
#include <system_error>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace fm::host {
namespace {

// Smaller blocks usually come from memory the allocator already holds.
constexpr size_t kPrepareFrom = size_t{1} << 20;

struct PageRange {
  uintptr_t first = 0;
  uintptr_t end = 0;
  uintptr_t page = 0;
  bool Empty() const { return end <= first; }
};

// The whole pages inside the range; empty when it is too small to be worth a call.
PageRange WholePages(void* begin, size_t bytes) {
  PageRange range;
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  if (begin == nullptr || bytes < kPrepareFrom) return range;
  range.page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  range.first = (reinterpret_cast<uintptr_t>(begin) + range.page - 1) / range.page * range.page;
  range.end = (reinterpret_cast<uintptr_t>(begin) + bytes) / range.page * range.page;
  if (range.end < range.first) range.end = range.first;
#else
  (void)begin;
  (void)bytes;
#endif
  return range;
}

void Populate(PageRange range) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  // Fails harmlessly on a system that does not know it: the pages come as they are written.
  if (!range.Empty()) {
    madvise(reinterpret_cast<void*>(range.first), range.end - range.first, MADV_POPULATE_WRITE);
  }
#else
  (void)range;
#endif
}

void PopulateAndRead(PageRange range) {
  Populate(range);
  unsigned char sum = 0;
  for (uintptr_t at = range.first; at < range.end; at += range.page) {
    sum = static_cast<unsigned char>(sum + *reinterpret_cast<const volatile unsigned char*>(at));
  }
  // Kept, so that the reads are made.
  static std::atomic<unsigned char> sink;
  sink.store(sum, std::memory_order_relaxed);
}

}  // namespace

void MakePresent(void* begin, size_t bytes) { Populate(WholePages(begin, bytes)); }

void MakeReady(void* begin, size_t bytes) { PopulateAndRead(WholePages(begin, bytes)); }

PrepareInBackground::PrepareInBackground(void* begin, size_t bytes) {
  const PageRange range = WholePages(begin, bytes);
  if (range.Empty()) return;
  try {
    thread_ = std::thread([range] { PopulateAndRead(range); });
  } catch (const std::system_error&) {
  }
}

void MakeReadyOnTwoThreads(void* begin, size_t bytes) {
  if (begin == nullptr) return;
  const size_t half = bytes / 2;
  PrepareInBackground back(static_cast<char*>(begin) + half, bytes - half);
  MakeReady(begin, half);
}

}  // namespace fm::host
