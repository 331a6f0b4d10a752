#pragma once
// One output function for every assertion and diagnostic line of the framework runtime.

#include <cstdint>

namespace maxon {

enum : uint32_t {
  DIAGNOSTIC_CHANNEL = 1,
  WARNING_CHANNEL = 2,
  CRITICAL_CHANNEL = 4,
  NO_LINE_END = 0x20000000,
  WITH_LOCATION = 0x40000000,
};

// Formats and writes one message: to the host's console once the system interface is bound,
// otherwise to standard output (and the debugger output on Windows).
void EmitDiagnostic(uint32_t flags, const char* text, int line, const char* file);

}  // namespace maxon
