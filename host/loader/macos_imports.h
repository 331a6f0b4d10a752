#pragma once
// What a macOS module file may import, mapped onto this platform: each libSystem and libc++
// symbol the facetmender module uses, by its Mach-O name, with the function or data on Linux that
// does the same job. Where macOS differs (its stdout variable, bzero, the process query behind
// the debugger test, static destructors kept per image) the host provides its own.

#include <cstdint>
#include <string>
#include <vector>

namespace fm::host::macos {

inline constexpr const char* kLibSystem = "/usr/lib/libSystem.B.dylib";
inline constexpr const char* kLibCxx = "/usr/lib/libc++.1.dylib";

struct ImportEntry {
  const char* library;
  const char* symbol;  // Mach-O name, leading underscore included
  void* address;
};

// The whole table, in a fixed order.
const std::vector<ImportEntry>& ImportTable();
bool IsKnownLibrary(const std::string& library);
// The address for `symbol` from `library`, or from any library when `library` is empty; null
// when the table lacks it.
void* ResolveImport(const std::string& library, const std::string& symbol);

// What the module's process query (sysctl for the own process) reports about a debugger.
enum class DebuggerAnswer {
  kFromProcess,  // whatever is true of this process (its tracer), the default
  kAttached,
  kNotAttached,
  kQueryFails,  // the query itself fails
};
void SetDebuggerAnswer(DebuggerAnswer answer);

// Destructors a module registered with __cxa_atexit for the image whose header is `dso`: runs
// them newest first (and any they register meanwhile) and forgets them.
void RunExitHandlers(const void* dso);
// Registrations still waiting for their image to unload.
size_t PendingExitHandlers();

}  // namespace fm::host::macos
