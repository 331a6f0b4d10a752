#include "host/scene/prepare_memory.h"

#include <cstdint>
#include <system_error>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace fm::host {
namespace {

constexpr size_t kPrepareFrom = size_t{1} << 20;

}  // namespace

PrepareInBackground::PrepareInBackground(void* begin, size_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  if (bytes < kPrepareFrom) return;
  const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t first = (reinterpret_cast<uintptr_t>(begin) + page - 1) / page * page;
  const uintptr_t end = (reinterpret_cast<uintptr_t>(begin) + bytes) / page * page;
  if (end <= first) return;
  try {
    thread_ = std::thread([first, end] {
      // Fails harmlessly on a system that does not know it: the pages come as they are written.
      madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
    });
  } catch (const std::system_error&) {
  }
#else
  (void)begin;
  (void)bytes;
#endif
}

}  // namespace fm::host
