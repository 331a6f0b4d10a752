// "net.maxon.interface.system": memory, configuration and console for modules.

#include "host/framework/configuration.h"
#include "host/framework/console.h"
#include "host/framework/interfaces.h"
#include "host/framework/memory.h"
#include "host/framework/records.h"
#include "host/framework/registry.h"

namespace fm::host {
namespace {

// Zero-filled block; null when refused. `site` may be null (no site recorded).
void* AllocClear(int64_t size, const records::AllocationSite* site) {
  return HostAllocClear(size, site ? site->file : nullptr, site ? site->line : 0);
}

// Runs the destructor, then frees. Null objects are ignored. A host calls the destructor it is
// handed, so a null one is a fault of the module's (diagnosed; the block is still freed).
void FreeWithDestructorI(void* object, void (*destructor)(void*)) {
  HostFreeWithDestructor(object, destructor);
}

// Records the entry; writes a value set for its name through the entry's variable. Gives an
// error by value (null on success); the entry need not outlive the call.
ErrorValue ConfigurationRegister(const records::ConfigurationEntry* entry) {
  return ErrorValue(RegisterConfiguration(entry));
}

// The channels the host wants to see.
uint32_t GetConsoleOutputType() { return ConsoleOutputMask(); }

// One formatted diagnostic text; it ends its line only when it ends in "\n".
void ConsoleOutput(const char* line, const records::SourceLocation* location, void* /*reserved*/,
                   int64_t flags) {
  ConsoleWrite(line, location ? location->file : nullptr, location ? location->line : 0, flags);
}

}  // namespace

void RegisterSystemInterface() {
  RegisterMethod(kSystemInterface, "AllocClear@701133d89c8735da", AsHostFunction(&AllocClear));
  RegisterMethod(kSystemInterface, "FreeWithDestructorI@6b1a30c0b982b124",
                 AsHostFunction(&FreeWithDestructorI));
  RegisterMethod(kSystemInterface, "ConfigurationRegister@0c43770b3722cf85",
                 AsHostFunction(&ConfigurationRegister));
  RegisterMethod(kSystemInterface, "GetConsoleOutputType@20c32d4d521",
                 AsHostFunction(&GetConsoleOutputType));
  RegisterMethod(kSystemInterface, "_ConsoleOutput@cf78c5c1924d0b0e", AsHostFunction(&ConsoleOutput));
}

}  // namespace fm::host
