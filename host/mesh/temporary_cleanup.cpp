#include "host/mesh/temporary_cleanup.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace fm::host::mesh {
namespace {

constexpr int kSlots = 8;
constexpr size_t kPathBytes = 4096;

// A slot is free (0), being filled (1) or armed (2). The signal handler reads only armed slots, and
// only through the atomic state and the fixed buffer, so it never allocates or locks.
struct Slot {
  std::atomic<int> state{0};
  char path[kPathBytes];
};
static_assert(std::atomic<int>::is_always_lock_free, "the handler reads slot states lock-free");

Slot g_slots[kSlots];

void RemoveArmed() {
  for (Slot& slot : g_slots) {
    if (slot.state.load(std::memory_order_acquire) != 2) continue;
#ifdef _WIN32
    DeleteFileA(slot.path);
#else
    unlink(slot.path);
#endif
  }
}

#ifdef _WIN32

BOOL WINAPI OnConsoleEvent(DWORD) {
  RemoveArmed();
  return FALSE;  // the default handling then ends the process
}

void InstallHandlers() { SetConsoleCtrlHandler(&OnConsoleEvent, TRUE); }

#else

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
struct sigaction g_previous[sizeof kSignals / sizeof kSignals[0]];

void OnSignal(int signal) {
  const int saved = errno;
  RemoveArmed();
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
    if (kSignals[i] == signal) sigaction(signal, &g_previous[i], nullptr);
  }
  errno = saved;
  // Blocked while this handler runs, so it is delivered to the previous action once we return.
  raise(signal);
}

void InstallHandlers() {
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
    if (sigaction(kSignals[i], nullptr, &g_previous[i]) != 0) continue;
    if (g_previous[i].sa_handler == SIG_IGN) continue;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    for (int other : kSignals) sigaddset(&action.sa_mask, other);
    sigaction(kSignals[i], &action, nullptr);
  }
}

sigset_t CleanupSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kSignals) sigaddset(&set, signal);
  return set;
}

#endif

}  // namespace

int ArmTemporaryCleanup(const std::string& path) {
  static std::once_flag installed;
  std::call_once(installed, &InstallHandlers);
  if (path.size() >= kPathBytes) return -1;
  for (int s = 0; s < kSlots; ++s) {
    int expected = 0;
    if (!g_slots[s].state.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(g_slots[s].path, path.c_str(), path.size() + 1);
    g_slots[s].state.store(2, std::memory_order_release);
    return s;
  }
  return -1;
}

void DisarmTemporaryCleanup(int slot) {
  if (slot >= 0 && slot < kSlots) g_slots[slot].state.store(0, std::memory_order_release);
}

#ifdef _WIN32
DeferredSignals::DeferredSignals() = default;
DeferredSignals::~DeferredSignals() = default;
#else
DeferredSignals::DeferredSignals() {
  const sigset_t set = CleanupSignals();
  sigprocmask(SIG_BLOCK, &set, &saved_);
}
DeferredSignals::~DeferredSignals() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
#endif

}  // namespace fm::host::mesh
