#include "host/scene/prepare_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace fm::host {
namespace {

std::vector<uint32_t> Pattern(size_t n) {
  std::vector<uint32_t> list(n);
  for (size_t i = 0; i < n; ++i) list[i] = static_cast<uint32_t>(i * 2654435761u);
  return list;
}

TEST(PrepareMemoryTest, MakingMemoryPresentLeavesItsBytesAsTheyAre) {
  // Large enough to be made present, with ends that are not on page boundaries.
  const size_t n = (size_t{5} << 20) / sizeof(uint32_t) + 3;
  std::vector<uint32_t> list = Pattern(n);
  MakePresent(reinterpret_cast<char*>(list.data()) + 7, n * sizeof(uint32_t) - 11);
  EXPECT_EQ(list, Pattern(n));
  MakeReady(reinterpret_cast<char*>(list.data()) + 5, n * sizeof(uint32_t) - 9);
  EXPECT_EQ(list, Pattern(n));
  MakeReadyOnTwoThreads(reinterpret_cast<char*>(list.data()) + 3, n * sizeof(uint32_t) - 3);
  EXPECT_EQ(list, Pattern(n));
  // Memory that was never written reads as zero afterwards, as it did before.
  std::vector<uint32_t> fresh;
  fresh.reserve(n);
  MakePresent(fresh.data(), n * sizeof(uint32_t));
  MakeReadyOnTwoThreads(fresh.data(), n * sizeof(uint32_t));
  fresh.resize(n);
  EXPECT_EQ(fresh, std::vector<uint32_t>(n, 0));
  MakePresent(nullptr, 0);
  MakePresent(nullptr, size_t{8} << 20);
  MakeReady(nullptr, size_t{8} << 20);
  MakeReadyOnTwoThreads(nullptr, size_t{8} << 20);
}

TEST(PrepareMemoryTest, ReservingPresentRoomKeepsTheElementsAndLeavesRoomEnough) {
  for (const size_t count : {size_t{10}, size_t{3} << 20}) {
    SCOPED_TRACE(count);
    std::vector<uint32_t> list = Pattern(5);
    ReservePresent(list, count);
    EXPECT_EQ(list, Pattern(5));
    ASSERT_GE(list.capacity(), count);
    const uint32_t* data = list.data();
    const std::vector<uint32_t> more = Pattern(count);
    list.insert(list.end(), more.begin() + 5, more.end());
    EXPECT_EQ(list.data(), data) << "appending up to the count moved the list";
    EXPECT_EQ(list, more);
    // A list with room enough is left alone.
    ReservePresent(list, count / 2);
    EXPECT_EQ(list.data(), data);
    EXPECT_EQ(list, more);
  }
}

TEST(PrepareMemoryTest, MemoryPreparedInTheBackgroundKeepsItsBytes) {
  const size_t n = (size_t{6} << 20) / sizeof(uint32_t);
  std::vector<uint32_t> list = Pattern(n);
  {
    PrepareInBackground prepare(list.data() + n / 2, (n - n / 2) * sizeof(uint32_t));
    for (size_t i = 0; i < n / 2; ++i) list[i] ^= 1;
  }
  std::vector<uint32_t> expected = Pattern(n);
  for (size_t i = 0; i < n / 2; ++i) expected[i] ^= 1;
  EXPECT_EQ(list, expected);
}

#if defined(__linux__)
TEST(PrepareMemoryTest, LargePagesAreTakenOnlyWhereTheMemoryIsTouched) {
  // The reader's face list is reserved for an estimate, advised as a whole and made present a
  // piece at a time as it fills: what it never reaches must not be taken, whether or not the
  // system gives large pages.
  constexpr size_t kMB = size_t{1} << 20;
  const size_t bytes = 64 * kMB;
  void* map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  char* block = static_cast<char*>(map);
  PreferLargePages(block + 100, bytes - 200);
  MakePresent(block + 20 * kMB + 5, 3 * kMB);
  MakeReady(block + 40 * kMB, 2 * kMB + 1);
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> resident(bytes / page);
  ASSERT_EQ(mincore(block, bytes, resident.data()), 0);
  // A touched range may take the rest of the 2 MB stretches it lies in, and no more.
  const auto Near = [&](size_t at, size_t from, size_t to) {
    return at + 2 * kMB > from && at < to + 2 * kMB;
  };
  for (size_t p = 0; p < resident.size(); ++p) {
    const size_t at = p * page;
    const bool touched = (at >= 20 * kMB + page && at + page <= 23 * kMB) ||
                         (at >= 40 * kMB && at + page <= 42 * kMB);
    if (touched) {
      EXPECT_TRUE(resident[p] & 1) << "page at " << at << " was not made present";
    }
    if (!Near(at, 20 * kMB, 23 * kMB) && !Near(at, 40 * kMB, 42 * kMB)) {
      EXPECT_FALSE(resident[p] & 1) << "page at " << at << " was taken, far from any touched range";
    }
  }
  // Its bytes read as zero and keep what is written, large pages or not.
  for (size_t at = 0; at < bytes; at += page / 2) ASSERT_EQ(block[at], 0) << at;
  block[21 * kMB] = 7;
  block[63 * kMB] = 9;
  EXPECT_EQ(block[21 * kMB] + block[63 * kMB], 16);
  munmap(map, bytes);
}
#endif

}  // namespace
}  // namespace fm::host
