#include "host/scene/prepare_memory.h"

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
};

// The whole pages inside the range; empty when it is too small to be worth a call.
PageRange WholePages(void* begin, size_t bytes) {
  PageRange range;
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  if (begin == nullptr || bytes < kPrepareFrom) return range;
  const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  range.first = (reinterpret_cast<uintptr_t>(begin) + page - 1) / page * page;
  range.end = (reinterpret_cast<uintptr_t>(begin) + bytes) / page * page;
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
  if (range.end > range.first) {
    madvise(reinterpret_cast<void*>(range.first), range.end - range.first, MADV_POPULATE_WRITE);
  }
#else
  (void)range;
#endif
}

}  // namespace

void MakePresent(void* begin, size_t bytes) { Populate(WholePages(begin, bytes)); }

PrepareInBackground::PrepareInBackground(void* begin, size_t bytes) {
  const PageRange range = WholePages(begin, bytes);
  if (range.end <= range.first) return;
  try {
    thread_ = std::thread([range] { Populate(range); });
  } catch (const std::system_error&) {
  }
}

}  // namespace fm::host
