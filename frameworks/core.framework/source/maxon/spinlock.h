#pragma once
// Spin locks of the framework: one atomic 32-bit word each, constant-initialised and trivially
// destructible, so they are safe as globals from the first static initialiser to the last exit
// handler.

#include <atomic>
#include <cstdint>
#include <type_traits>

#include "maxon/export.h"

// Hook the host may set: called with (back-off state, lock) once a waiter has spun for long, and,
// when g_trackSpinlocks is set, with a small code instead of the back-off state: 2 before waiting,
// 1 once acquired, 3 on release.
using CpuYieldDelegate = void (*)(void* backoffOrCode, void* lock);

extern "C" {
FW_EXPORT extern CpuYieldDelegate g_CpuYieldDelegate;
}

namespace maxon {

extern bool g_trackSpinlocks;   // configuration variable, default false

enum SPINLOCK_TRACK : uintptr_t {
  SPINLOCK_TRACK_ACQUIRED = 1,
  SPINLOCK_TRACK_WAIT = 2,
  SPINLOCK_TRACK_RELEASED = 3,
};

// Back-off of a waiting thread. Each pass spends `step` pause instructions and doubles the step,
// restarting at 16 after 2048; past 0x40000 spent pauses a pass yields to g_CpuYieldDelegate
// instead (when the host has set it).
struct SpinBackoff {
  static constexpr int64_t FIRST_STEP = 16;
  static constexpr int64_t LAST_STEP = 2048;
  static constexpr int64_t YIELD_AFTER = 0x40000;

  int64_t spent = 0;
  int64_t step = FIRST_STEP;

  void Wait(void* lock);
  void Reset() {
    spent = 0;
    step = FIRST_STEP;
  }
};

// Exclusive lock. Word: 0 free, 0xFFFFFFFF held.
class Spinlock {
 public:
  static constexpr uint32_t HELD = 0xFFFFFFFFu;

  constexpr Spinlock() = default;
  Spinlock(const Spinlock&) = delete;
  Spinlock& operator=(const Spinlock&) = delete;

  // Returns at once, without touching the word, while g_inCrashhandler is set: a crash handler
  // must never wait for a thread that will not run again.
  void Lock();
  void Unlock();

  uint32_t Word() const { return word_.load(std::memory_order_relaxed); }

 private:
  std::atomic<uint32_t> word_{0};
};

// Read-write lock. Word: bit 0 a writer holds it, bit 1 a writer waits, readers count in steps
// of 4. Waiting writers keep new readers out.
class RWSpinlock {
 public:
  static constexpr uint32_t WRITER = 1;
  static constexpr uint32_t WRITER_WAITING = 2;
  static constexpr uint32_t READER = 4;

  constexpr RWSpinlock() = default;
  RWSpinlock(const RWSpinlock&) = delete;
  RWSpinlock& operator=(const RWSpinlock&) = delete;

  void ReadLock();
  void ReadUnlock();
  void WriteLock();
  void WriteUnlock();

  uint32_t Word() const { return word_.load(std::memory_order_relaxed); }

 private:
  std::atomic<uint32_t> word_{0};
};

static_assert(sizeof(Spinlock) == 4 && sizeof(RWSpinlock) == 4);
static_assert(std::is_trivially_destructible_v<Spinlock>);
static_assert(std::is_trivially_destructible_v<RWSpinlock>);

}  // namespace maxon
