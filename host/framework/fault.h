#pragma once
// A switch that makes one host operation refuse: never, always, or only its Nth call from now on.
// Tests use it to drive the module down the paths where the host says no.

#include <atomic>
#include <cstdint>

namespace fm::host {

class FaultSwitch {
 public:
  void Off() { Set(kOff, 0); }
  void Always() { Set(kAlways, 0); }
  // The Nth call after this one refuses (1 = the next call); the others succeed. N < 1 is Off.
  void Nth(int64_t n) {
    if (n < 1) Off(); else Set(kNth, n);
  }

  // Counts the call; true when this call must be refused.
  bool Refuse() {
    const int64_t call = calls_.fetch_add(1, std::memory_order_relaxed) + 1;
    switch (mode_.load(std::memory_order_relaxed)) {
      case kAlways: return true;
      case kNth: return call == nth_.load(std::memory_order_relaxed);
      default: return false;
    }
  }

  // Calls counted since the switch was last set.
  int64_t Calls() const { return calls_.load(std::memory_order_relaxed); }

 private:
  enum Mode : int { kOff, kAlways, kNth };
  void Set(Mode mode, int64_t n) {
    mode_.store(mode, std::memory_order_relaxed);
    nth_.store(n, std::memory_order_relaxed);
    calls_.store(0, std::memory_order_relaxed);
  }
  std::atomic<int> mode_{kOff};
  std::atomic<int64_t> nth_{0};
  std::atomic<int64_t> calls_{0};
};

}  // namespace fm::host
