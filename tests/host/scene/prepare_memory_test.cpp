#include "host/scene/prepare_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

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

}  // namespace
}  // namespace fm::host
