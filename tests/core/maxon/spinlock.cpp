// Spin locks: mutual exclusion under contention, the back-off sequence, the yield and tracking
// hooks, and the crash-handler escape.
#include "maxon/spinlock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

#include "maxon/crashhandlerglobals.h"

namespace {

using maxon::RWSpinlock;
using maxon::SpinBackoff;
using maxon::Spinlock;

constexpr int ITERATIONS = 200000;

// Restores the process-wide switches the tests change.
class SpinlockTest : public testing::Test {
 protected:
  void TearDown() override {
    g_CpuYieldDelegate = nullptr;
    maxon::g_trackSpinlocks = false;
    maxon::g_inCrashhandler = false;
    Calls().clear();
  }

  static std::vector<std::pair<uintptr_t, void*>>& Calls() {
    static std::vector<std::pair<uintptr_t, void*>> calls;
    return calls;
  }
  static void Record(void* backoffOrCode, void* lock) {
    Calls().emplace_back(reinterpret_cast<uintptr_t>(backoffOrCode), lock);
  }
};

template <typename Body>
void RunOnTwoThreads(Body body) {
  std::atomic<int> ready{0};
  auto run = [&] {
    ready.fetch_add(1);
    while (ready.load() < 2) {}
    body();
  };
  std::thread other(run);
  run();
  other.join();
}

TEST_F(SpinlockTest, ExclusiveLockKeepsACounterExactUnderContention) {
  static Spinlock lock;
  int64_t counter = 0;  // plain, so only the lock makes the increments safe
  RunOnTwoThreads([&] {
    for (int i = 0; i < ITERATIONS; ++i) {
      lock.Lock();
      ++counter;
      lock.Unlock();
    }
  });
  EXPECT_EQ(counter, 2 * ITERATIONS);
  EXPECT_EQ(lock.Word(), 0u);
}

TEST_F(SpinlockTest, WriteLockKeepsACounterExactUnderContention) {
  static RWSpinlock lock;
  int64_t counter = 0;
  RunOnTwoThreads([&] {
    for (int i = 0; i < ITERATIONS; ++i) {
      lock.WriteLock();
      ++counter;
      lock.WriteUnlock();
    }
  });
  EXPECT_EQ(counter, 2 * ITERATIONS);
  EXPECT_EQ(lock.Word(), 0u);
}

TEST_F(SpinlockTest, ReadersNeverSeeAHalfWrittenPair) {
  // One writer keeps two plain values equal; a reader checks them under the read lock while the
  // writer competes.
  static RWSpinlock lock;
  int64_t first = 0, second = 0;
  std::atomic<int> torn{0};
  std::atomic<int> turn{0};
  RunOnTwoThreads([&] {
    if (turn.fetch_add(1) == 0) {
      for (int i = 0; i < ITERATIONS; ++i) {
        lock.WriteLock();
        ++first;
        ++second;
        lock.WriteUnlock();
      }
    } else {
      for (int i = 0; i < ITERATIONS; ++i) {
        lock.ReadLock();
        if (first != second) torn.fetch_add(1);
        lock.ReadUnlock();
      }
    }
  });
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(first, ITERATIONS);
  EXPECT_EQ(lock.Word(), 0u);
}

TEST_F(SpinlockTest, ReadersShareAndCountInStepsOfFour) {
  RWSpinlock lock;
  lock.ReadLock();
  lock.ReadLock();
  EXPECT_EQ(lock.Word(), 8u);
  lock.ReadUnlock();
  EXPECT_EQ(lock.Word(), 4u);
  lock.ReadUnlock();
  lock.WriteLock();
  EXPECT_EQ(lock.Word(), RWSpinlock::WRITER);
  lock.WriteUnlock();
  EXPECT_EQ(lock.Word(), 0u);
}

TEST_F(SpinlockTest, AWaitingWriterKeepsNewReadersOut) {
  static RWSpinlock lock;
  lock.ReadLock();
  std::atomic<bool> written{false};
  std::thread writer([&] {
    lock.WriteLock();
    written = true;
    lock.WriteUnlock();
  });
  while ((lock.Word() & RWSpinlock::WRITER_WAITING) == 0) std::this_thread::yield();
  EXPECT_FALSE(written.load());
  // A new reader now waits behind the writer.
  std::atomic<bool> read{false};
  std::thread reader([&] {
    lock.ReadLock();
    read = true;
    lock.ReadUnlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(read.load()) << "a reader got in ahead of the waiting writer";
  EXPECT_FALSE(written.load());
  lock.ReadUnlock();
  writer.join();
  reader.join();
  EXPECT_TRUE(written.load());
  EXPECT_TRUE(read.load());
  EXPECT_EQ(lock.Word(), 0u);
}

TEST_F(SpinlockTest, BackoffDoublesToTwoThousandFortyEightThenRestarts) {
  SpinBackoff backoff;
  const int64_t expected[] = {16, 32, 64, 128, 256, 512, 1024, 2048, 16, 32};
  int64_t spent = 0;
  int lock = 0;
  for (int64_t step : expected) {
    SCOPED_TRACE(step);
    EXPECT_EQ(backoff.step, step);
    backoff.Wait(&lock);
    spent += step;
    EXPECT_EQ(backoff.spent, spent);
  }
  backoff.Reset();
  EXPECT_EQ(backoff.spent, 0);
  EXPECT_EQ(backoff.step, 16);
}

TEST_F(SpinlockTest, LongWaitsYieldToTheHostsDelegate) {
  SpinBackoff backoff;
  int lock = 0;
  // Without a delegate the pauses simply go on.
  while (backoff.spent <= SpinBackoff::YIELD_AFTER) backoff.Wait(&lock);
  const int64_t spent = backoff.spent;
  backoff.Wait(&lock);
  EXPECT_GT(backoff.spent, spent);

  g_CpuYieldDelegate = &Record;
  const int64_t spentBefore = backoff.spent;
  const int64_t stepBefore = backoff.step;
  backoff.Wait(&lock);
  backoff.Wait(&lock);
  ASSERT_EQ(Calls().size(), 2u);
  EXPECT_EQ(Calls()[0].first, reinterpret_cast<uintptr_t>(&backoff));
  EXPECT_EQ(Calls()[0].second, &lock);
  EXPECT_EQ(backoff.spent, spentBefore) << "a yielding pass spends no pauses";
  EXPECT_EQ(backoff.step, stepBefore);
}

TEST_F(SpinlockTest, TrackingReportsWaitAcquireAndReleaseForEveryPath) {
  g_CpuYieldDelegate = &Record;
  Spinlock exclusive;
  RWSpinlock shared;
  exclusive.Lock();
  exclusive.Unlock();
  EXPECT_TRUE(Calls().empty()) << "no tracking unless g_trackSpinlocks is set";

  maxon::g_trackSpinlocks = true;
  exclusive.Lock();
  exclusive.Unlock();
  shared.ReadLock();
  shared.ReadUnlock();
  shared.WriteLock();
  shared.WriteUnlock();
  const std::vector<std::pair<uintptr_t, void*>> expected = {
      {2, &exclusive}, {1, &exclusive}, {3, &exclusive}, {2, &shared}, {1, &shared},
      {3, &shared},    {2, &shared},    {1, &shared},    {3, &shared}};
  EXPECT_EQ(Calls(), expected);
}

TEST_F(SpinlockTest, TrackingNeedsTheDelegate) {
  maxon::g_trackSpinlocks = true;
  Spinlock lock;
  lock.Lock();  // no delegate: nothing to call, and nothing may crash
  EXPECT_EQ(lock.Word(), Spinlock::HELD);
  lock.Unlock();
  EXPECT_EQ(lock.Word(), 0u);
}

TEST_F(SpinlockTest, InTheCrashHandlerExclusiveAcquireReturnsAtOnce) {
  maxon::g_inCrashhandler = true;
  Spinlock free;
  free.Lock();
  EXPECT_EQ(free.Word(), 0u) << "the word is not touched";

  // Even a lock held by a thread that will never run again does not stop the handler.
  Spinlock held;
  maxon::g_inCrashhandler = false;
  held.Lock();
  maxon::g_inCrashhandler = true;
  held.Lock();
  EXPECT_EQ(held.Word(), Spinlock::HELD);

  g_CpuYieldDelegate = &Record;
  maxon::g_trackSpinlocks = true;
  free.Lock();
  EXPECT_EQ(Calls(), (std::vector<std::pair<uintptr_t, void*>>{{1, &free}}));
}

TEST_F(SpinlockTest, TheReadWriteLockIgnoresTheCrashHandler) {
  maxon::g_inCrashhandler = true;
  RWSpinlock lock;
  lock.WriteLock();
  EXPECT_EQ(lock.Word(), RWSpinlock::WRITER);
  lock.WriteUnlock();
}

}  // namespace
