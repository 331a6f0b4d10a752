// Spin locks: relaxed loads while waiting, compare-and-swap with acquire to take, release to give.
#include "maxon/spinlock.h"

#include "maxon/configuration.h"
#include "maxon/crashhandlerglobals.h"
#include "maxon/translationunit.h"

FW_CORE_TRANSLATION_UNIT()

CpuYieldDelegate g_CpuYieldDelegate = nullptr;

namespace maxon {
namespace {

inline void Pause() { __builtin_ia32_pause(); }

// The tracking hook, when tracking is on and the host has set a delegate; else null.
CpuYieldDelegate Tracker() {
  return g_trackSpinlocks ? g_CpuYieldDelegate : nullptr;
}

void Track(CpuYieldDelegate tracker, SPINLOCK_TRACK code, void* lock) {
  if (tracker != nullptr) tracker(reinterpret_cast<void*>(static_cast<uintptr_t>(code)), lock);
}

}  // namespace

bool g_trackSpinlocks = ConfigurationRegisterBool(
    "g_trackSpinlocks", &g_trackSpinlocks, false, CONFIGURATION_CATEGORY::DEVELOPMENT,
    "Track usage of Spinlocks (either for performance checks or deadlock detection)");

void SpinBackoff::Wait(void* lock) {
  if (spent > YIELD_AFTER) {
    if (const CpuYieldDelegate yield = g_CpuYieldDelegate) {
      yield(this, lock);
      return;
    }
  }
  spent += step;
  for (int64_t group = 0; group < step / 8; ++group) {
    Pause(); Pause(); Pause(); Pause();
    Pause(); Pause(); Pause(); Pause();
  }
  step *= 2;
  if (step > LAST_STEP) step = FIRST_STEP;
}

void Spinlock::Lock() {
  const CpuYieldDelegate tracker = Tracker();
  if (g_inCrashhandler) {
    Track(tracker, SPINLOCK_TRACK_ACQUIRED, this);
    return;
  }
  Track(tracker, SPINLOCK_TRACK_WAIT, this);
  for (;;) {
    SpinBackoff backoff;
    while (word_.load(std::memory_order_relaxed) != 0) backoff.Wait(this);
    uint32_t expected = 0;
    if (word_.compare_exchange_strong(expected, HELD, std::memory_order_acquire,
                                      std::memory_order_relaxed))
      break;
  }
  Track(tracker, SPINLOCK_TRACK_ACQUIRED, this);
}

void Spinlock::Unlock() {
  Track(Tracker(), SPINLOCK_TRACK_RELEASED, this);
  word_.store(0, std::memory_order_release);
}

void RWSpinlock::ReadLock() {
  const CpuYieldDelegate tracker = Tracker();
  Track(tracker, SPINLOCK_TRACK_WAIT, this);
  SpinBackoff backoff;
  for (;;) {
    uint32_t word = word_.load(std::memory_order_relaxed);
    if ((word & (WRITER | WRITER_WAITING)) != 0) {
      backoff.Wait(this);
      continue;
    }
    if (word_.compare_exchange_strong(word, word + READER, std::memory_order_acquire,
                                      std::memory_order_relaxed))
      break;
    backoff.Reset();
  }
  Track(tracker, SPINLOCK_TRACK_ACQUIRED, this);
}

void RWSpinlock::ReadUnlock() {
  Track(Tracker(), SPINLOCK_TRACK_RELEASED, this);
  word_.fetch_sub(READER, std::memory_order_release);
}

void RWSpinlock::WriteLock() {
  const CpuYieldDelegate tracker = Tracker();
  Track(tracker, SPINLOCK_TRACK_WAIT, this);
  SpinBackoff backoff;
  for (;;) {
    uint32_t word = word_.load(std::memory_order_relaxed);
    if ((word & ~WRITER_WAITING) != 0) {
      // Announce the waiting writer so that no new reader gets in ahead of it.
      if ((word & WRITER_WAITING) == 0) word_.fetch_or(WRITER_WAITING, std::memory_order_relaxed);
      backoff.Wait(this);
      continue;
    }
    if (word_.compare_exchange_strong(word, WRITER, std::memory_order_acquire,
                                      std::memory_order_relaxed))
      break;
    backoff.Reset();
  }
  Track(tracker, SPINLOCK_TRACK_ACQUIRED, this);
}

void RWSpinlock::WriteUnlock() {
  Track(Tracker(), SPINLOCK_TRACK_RELEASED, this);
  word_.store(0, std::memory_order_release);
}

}  // namespace maxon
