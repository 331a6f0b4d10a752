// Diagnostic output: one formatted line per message, to the host's console once the framework's
// references are bound, else to standard output (and the debugger output on Windows).
#include "maxon/diagnostic.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include "maxon/debugglobals.h"
#include "maxon/entity.h"
#include "maxon/interfacereference.h"
#include "maxon/stringinterface.h"
#include "maxon/systeminterface.h"
#include "maxon/threadservices.h"
#include "maxon/translationunit.h"

FW_CORE_TRANSLATION_UNIT()

namespace maxon {
namespace {

constexpr uint32_t CHANNEL_MASK = 7;
// All channels, plus the "ask the host" bit, until the host's system interface answers.
constexpr uint32_t INITIAL_CONSOLE_MASK = 0x20000007;
constexpr size_t STACK_LINE = 2048;
constexpr size_t LOCATION_LIMIT = 1024;  // 1023 characters and the NUL

constinit std::atomic<bool> g_firstMessageDone{false};
constinit std::atomic<uint32_t> g_consoleMask{INITIAL_CONSOLE_MASK};

bool ConsoleBound() {
  return IsInitialized(g_systemInterface) && IsInitialized(g_stringInterface) &&
         IsInitialized(g_threadServicesInterface);
}

uint32_t CurrentMask() {
  uint32_t mask = g_consoleMask.load(std::memory_order_relaxed);
  if ((mask & NO_LINE_END) != 0 && IsInitialized(g_systemInterface)) {
    uint32_t answer = 0;
    if (SystemGetConsoleOutputType(&answer)) {
      mask = answer;
      g_consoleMask.store(mask, std::memory_order_relaxed);
    }
  }
  return mask;
}

void WriteLine(const char* line, const char* file, int sourceLine) {
  if (ConsoleBound()) {
    const SourceLocation location{file, sourceLine};
    if (SystemConsoleOutput(line, &location)) return;
  }
  std::printf("%s", line);
  std::fflush(stdout);
#if defined(_WIN32)
  OutputDebugStringA(line);
#endif
}

}  // namespace

void EmitDiagnostic(uint32_t flags, const char* text, int line, const char* file) {
  if (!g_firstMessageDone.exchange(true, std::memory_order_relaxed)) {
    g_consoleMask.store(INITIAL_CONSOLE_MASK, std::memory_order_relaxed);
    RefreshDebuggerAttached();
  }
  if ((CurrentMask() & flags & CHANNEL_MASK) == 0) return;
  if (text == nullptr) text = "";
  if (file == nullptr) file = "";

  const bool debugger = IsDebuggerAttached();
  char location[LOCATION_LIMIT] = "";
  if ((flags & WITH_LOCATION) != 0) {
    // With a debugger the location leads in the form IDEs jump to; without one it trails, short.
    if (debugger)
      std::snprintf(location, sizeof(location), "%s(%d): ", file, line);
    else
      std::snprintf(location, sizeof(location), " [%s(%d)]", SourceBaseName(file), line);
  }
  const char* prefix = (flags & WARNING_CHANNEL) != 0    ? "WARNING: "
                       : (flags & CRITICAL_CHANNEL) != 0 ? "CRITICAL: "
                                                          : "";
  const char* lineEnd = (flags & NO_LINE_END) != 0 ? "" : "\n";
  const char* leading = debugger ? location : "";
  const char* trailing = debugger ? "" : location;

  const size_t needed = std::strlen(leading) + std::strlen(prefix) + std::strlen(text) +
                        std::strlen(trailing) + std::strlen(lineEnd) + 1;
  char stackLine[STACK_LINE];
  char* buffer = stackLine;
  size_t capacity = sizeof(stackLine);
  if (needed > capacity) {
    // A line too long for the stack goes to the heap; if even that fails, the line is cut
    // rather than lost.
    if (char* heap = static_cast<char*>(std::malloc(needed))) {
      buffer = heap;
      capacity = needed;
    }
  }
  std::snprintf(buffer, capacity, "%s%s%s%s%s", leading, prefix, text, trailing, lineEnd);
  WriteLine(buffer, file, line);
  if (buffer != stackLine) std::free(buffer);
}

}  // namespace maxon
