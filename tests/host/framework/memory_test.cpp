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
