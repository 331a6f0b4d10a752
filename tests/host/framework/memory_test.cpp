#include "host/framework/memory.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "host/framework/framework.h"

namespace fm::host {
namespace {

class MemoryTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFramework(); live_ = LiveAllocationCount(); }
  void TearDown() override {
    ResetFramework();
    EXPECT_EQ(LiveAllocationCount(), live_);
  }
  int64_t live_ = 0;
};

int g_destructed = 0;
void CountDestruction(void* object) {
  EXPECT_EQ(*static_cast<unsigned char*>(object), 0xAB);
  ++g_destructed;
}

TEST_F(MemoryTest, AllocClearZeroFillsAndRecordsItsSite) {
  auto* block = static_cast<unsigned char*>(HostAllocClear(100, "source/main.cpp", 42));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(block[i], 0) << i;
  EXPECT_EQ(LiveAllocationCount(), live_ + 1);
  const std::vector<AllocationRecord> records = LiveAllocations();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back().block, block);
  EXPECT_EQ(records.back().size, 100);
  EXPECT_EQ(records.back().file, "source/main.cpp");
  EXPECT_EQ(records.back().line, 42);
  HostFreeWithDestructor(block, nullptr);
  EXPECT_EQ(LiveAllocationCount(), live_);
}

TEST_F(MemoryTest, LargeBlocksAreClearedEvenWhereFreedBytesWere) {
  // Blocks of several megabytes are made present as they are handed out; they must still read as
  // zero, also where a block just freed had left its bytes.
  constexpr int64_t kSize = int64_t{12} << 20;
  for (int round = 0; round < 3; ++round) {
    const int64_t size = kSize - round * 4093;
    auto* block = static_cast<unsigned char*>(HostAllocClear(size, nullptr, 0));
    ASSERT_NE(block, nullptr);
    for (int64_t i = 0; i < size; i += 511) ASSERT_EQ(block[i], 0) << round << " " << i;
    std::fill(block, block + size, static_cast<unsigned char>(0xAB));
    HostFreeWithDestructor(block, nullptr);
  }
}

TEST_F(MemoryTest, FreeRunsTheDestructorFirstAndIgnoresNull) {
  g_destructed = 0;
  auto* block = static_cast<unsigned char*>(HostAllocClear(8, nullptr, 0));
  ASSERT_NE(block, nullptr);
  *block = 0xAB;
  HostFreeWithDestructor(block, &CountDestruction);
  EXPECT_EQ(g_destructed, 1);
  HostFreeWithDestructor(nullptr, &CountDestruction);
  EXPECT_EQ(g_destructed, 1);
}

TEST_F(MemoryTest, ForeignAndDoubleFreesAreRefused) {
  g_destructed = 0;
  unsigned char local = 0xAB;
  HostFreeWithDestructor(&local, &CountDestruction);
  void* block = HostAllocClear(1, nullptr, 0);
  HostFreeWithDestructor(block, nullptr);
  HostFreeWithDestructor(block, &CountDestruction);
  EXPECT_EQ(g_destructed, 0);
  EXPECT_EQ(ForeignFreeCount(), 2);
  EXPECT_EQ(NullDestructorFreeCount(), 1) << "a live block freed without a destructor is counted";
}

TEST_F(MemoryTest, SizesAtTheEdges) {
  void* zero = HostAllocClear(0, nullptr, 0);
  void* other = HostAllocClear(0, nullptr, 0);
  ASSERT_NE(zero, nullptr);
  EXPECT_NE(zero, other);
  EXPECT_EQ(HostAllocClear(-1, nullptr, 0), nullptr);
  HostFreeWithDestructor(zero, nullptr);
  HostFreeWithDestructor(other, nullptr);
}

// A block reserved ahead goes to the first cleared allocation it suits (no larger than its room,
// an eighth more than was asked, and more than half of that) and reads as zero, also where freed
// bytes were, beyond the part made ready, and when it is taken before the thread making it ready
// is through. Others leave it reserved until it is dropped.
TEST_F(MemoryTest, AReservedBlockGoesToTheRequestItSuits) {
  constexpr size_t kMiB = size_t{1} << 20;
  const auto AllZero = [](const unsigned char* block, size_t size) {
    for (size_t i = 0; i < size; i += 509) {
      if (block[i] != 0) return false;
    }
    return size == 0 || block[size - 1] == 0;
  };
  // Freed bytes that the reserve may be made of.
  auto* dirty = static_cast<unsigned char*>(HostAllocClear(int64_t{40} << 20, nullptr, 0));
  ASSERT_NE(dirty, nullptr);
  std::fill(dirty, dirty + (size_t{40} << 20), static_cast<unsigned char>(0xAB));
  HostFreeWithDestructor(dirty, nullptr);

  ReserveClearedBlock(32 * kMiB);
  EXPECT_EQ(ReservedBlockSize(), 36 * kMiB);
  ReserveClearedBlock(20 * kMiB);  // it suits this size too, so it stays as it is
  EXPECT_EQ(ReservedBlockSize(), 36 * kMiB);
  for (const size_t size : {18 * kMiB, 36 * kMiB + 1, size_t{100}}) {
    auto* other = static_cast<unsigned char*>(HostAllocClear(static_cast<int64_t>(size), nullptr, 0));
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(AllZero(other, size)) << size;
    EXPECT_EQ(ReservedBlockSize(), 36 * kMiB) << size;
    HostFreeWithDestructor(other, nullptr);
  }
  // More than was asked for: the estimate was short.
  const size_t size = 34 * kMiB - 4093;
  auto* taken = static_cast<unsigned char*>(HostAllocClear(static_cast<int64_t>(size), "a.cpp", 7));
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(ReservedBlockSize(), 0u);
  EXPECT_TRUE(AllZero(taken, size));
  const std::vector<AllocationRecord> records = LiveAllocations();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back().block, taken);
  EXPECT_EQ(records.back().size, static_cast<int64_t>(size));
  std::fill(taken, taken + size, static_cast<unsigned char>(0xCD));
  HostFreeWithDestructor(taken, nullptr);

  // Taken at once, while it is being made ready, over the bytes just freed.
  for (int round = 0; round < 3; ++round) {
    ReserveClearedBlock(48 * kMiB);
    auto* block = static_cast<unsigned char*>(HostAllocClear(int64_t{48} << 20, nullptr, 0));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(ReservedBlockSize(), 0u);
    EXPECT_TRUE(AllZero(block, 48 * kMiB)) << round;
    std::fill(block, block + 48 * kMiB, static_cast<unsigned char>(0xEF));
    HostFreeWithDestructor(block, nullptr);
  }

  // A size it does not suit replaces the reserve; small ones are not reserved at all.
  ReserveClearedBlock(4 * kMiB);
  ReserveClearedBlock(12 * kMiB);
  EXPECT_EQ(ReservedBlockSize(), 12 * kMiB + 12 * kMiB / 8);
  ReserveClearedBlock(1000);
  EXPECT_EQ(ReservedBlockSize(), 0u);
  ReserveClearedBlock(12 * kMiB);
  DropReservedBlock();
  EXPECT_EQ(ReservedBlockSize(), 0u);
  DropReservedBlock();
}

TEST_F(MemoryTest, FaultSwitchRefusesAllOrOnlyTheNth) {
  AllocationFault().Always();
  EXPECT_EQ(HostAllocClear(8, nullptr, 0), nullptr);
  EXPECT_EQ(HostAllocClear(8, nullptr, 0), nullptr);
  AllocationFault().Nth(2);
  void* first = HostAllocClear(8, nullptr, 0);
  void* second = HostAllocClear(8, nullptr, 0);
  void* third = HostAllocClear(8, nullptr, 0);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  EXPECT_EQ(AllocationFault().Calls(), 3);
  EXPECT_EQ(LiveAllocationCount(), live_ + 2);
  HostFreeWithDestructor(first, nullptr);
  HostFreeWithDestructor(third, nullptr);
  AllocationFault().Off();
  void* fine = HostAllocClear(8, nullptr, 0);
  EXPECT_NE(fine, nullptr);
  HostFreeWithDestructor(fine, nullptr);
}

}  // namespace
}  // namespace fm::host
