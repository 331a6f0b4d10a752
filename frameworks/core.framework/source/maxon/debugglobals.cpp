// Debug globals: the debugger question per platform and the break condition.
#include "maxon/debugglobals.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#elif defined(__APPLE__)
#include <sys/sysctl.h>
#include <sys/types.h>
#include <unistd.h>
#endif

#include "maxon/configuration.h"
#include "maxon/diagnostic.h"
#include "maxon/translationunit.h"

FW_CORE_TRANSLATION_UNIT()

namespace maxon {
namespace {

constinit std::atomic<bool> g_debuggerAttached{false};
constinit std::atomic<DebuggerProbe> g_debuggerProbe{nullptr};

#if defined(_WIN32)
bool PlatformDebuggerAttached() { return IsDebuggerPresent() != 0; }
#elif defined(__APPLE__)
// The kernel's process-information query for one process id, and the record it fills: the numbers
// are part of the kernel's interface, so a header that disagreed would describe another system.
static_assert(CTL_KERN == 1 && KERN_PROC == 14 && KERN_PROC_PID == 1);
static_assert(sizeof(struct kinfo_proc) == 648);
static_assert(P_TRACED == 0x800);

bool PlatformDebuggerAttached() {
  int query[4] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, static_cast<int>(getpid())};
  struct kinfo_proc info;
  std::memset(&info, 0, sizeof(info));
  size_t size = sizeof(info);
  const int junk = sysctl(query, 4, &info, &size, nullptr, 0);
  if (junk != 0) {
    // Without an answer nothing is known about a debugger: carry on as if none were attached.
    EmitDiagnostic(CRITICAL_CHANNEL | WITH_LOCATION, "Assertion failed: junk == 0", 272,
                   "maxon/debugglobals");
    return false;
  }
  return (info.kp_proc.p_flag & P_TRACED) != 0;
}
#else
// A tracer's process id stands in /proc/self/status; 0 when nobody traces the process.
bool PlatformDebuggerAttached() {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return false;
  char line[256];
  long tracer = 0;
  while (std::fgets(line, sizeof(line), status) != nullptr) {
    if (std::strncmp(line, "TracerPid:", 10) == 0) {
      tracer = std::strtol(line + 10, nullptr, 10);
      break;
    }
  }
  std::fclose(status);
  return tracer != 0;
}
#endif

bool AskDebuggerAttached() {
  const DebuggerProbe probe = g_debuggerProbe.load(std::memory_order_acquire);
  return probe != nullptr ? probe() : PlatformDebuggerAttached();
}

[[maybe_unused]] const bool g_debuggerAttachedAtLoad = (RefreshDebuggerAttached(), true);

}  // namespace

bool g_enableDebugBreak = ConfigurationRegisterBool(
    "g_enableDebugBreak", &g_enableDebugBreak, true, CONFIGURATION_CATEGORY::DEVELOPMENT,
    "enable debug breaks (when debugger is attached)");
bool g_enableParallelFor = ConfigurationRegisterBool(
    "g_enableParallelFor", &g_enableParallelFor, true, CONFIGURATION_CATEGORY::DEVELOPMENT,
    "enable parallel execution of all ParallelFor loops");

bool IsDebuggerAttached() { return g_debuggerAttached.load(std::memory_order_relaxed); }

void RefreshDebuggerAttached() {
  g_debuggerAttached.store(AskDebuggerAttached(), std::memory_order_relaxed);
}

void SetDebuggerProbe(DebuggerProbe probe) {
  g_debuggerProbe.store(probe, std::memory_order_release);
  RefreshDebuggerAttached();
}

bool DebugBreakCondition() { return IsDebuggerAttached() && g_enableDebugBreak; }

void DebugBreakIfAllowed() {
  if (DebugBreakCondition()) __asm__ volatile("int3");
}

}  // namespace maxon
