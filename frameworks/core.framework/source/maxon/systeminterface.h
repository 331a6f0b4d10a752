#pragma once
// The host's system interface ("net.maxon.interface.system") as the module uses it: memory,
// configuration registration and the console. Allocation is in maxon/system.h.

#include <cstddef>
#include <cstdint>

#include "maxon/entity.h"
#include "maxon/errorref.h"

namespace maxon {

struct ConfigurationEntry;

struct AllocationSite {
  const char* file;
  int64_t line;
};
static_assert(sizeof(AllocationSite) == 16);

struct SourceLocation {
  const char* file;
  int64_t line;
};
static_assert(sizeof(SourceLocation) == 16);

// Slots of the method table, in the order of the interface's method-name blob.
enum SystemSlot : size_t {
  // void* (int64_t size, const AllocationSite* site): zero-filled memory, null when refused.
  SYSTEM_ALLOC_CLEAR = 0,
  // void (void* object, void (*destructor)(void*)): runs the destructor, then frees. The host
  // calls the destructor as given, so it is never null.
  SYSTEM_FREE_WITH_DESTRUCTOR = 1,
  // ErrorRef (const ConfigurationEntry* entry): the error comes back through the caller's result
  // slot; the host may write the variable.
  SYSTEM_CONFIGURATION_REGISTER = 2,
  // uint32_t (): the console's channel mask.
  SYSTEM_GET_CONSOLE_OUTPUT_TYPE = 3,
  // void (const char* line, const SourceLocation* location, void* reserved, int64_t flags).
  SYSTEM_CONSOLE_OUTPUT = 4,
  SYSTEM_METHOD_COUNT = 5,
};

extern InterfaceReferenceRecord g_systemInterface;

// Hands one configuration entry to the host; its error answer is passed on.
ErrorRef SystemConfigurationRegister(const ConfigurationEntry* entry);

// The host's console mask; false (and *mask untouched) while the slot is empty.
bool SystemGetConsoleOutputType(uint32_t* mask);

// One line to the host's console; false while the slot is empty.
bool SystemConsoleOutput(const char* line, const SourceLocation* location);

}  // namespace maxon
