// The system interface reference: its method table, blob and filler, and the calls the module
// makes through it. Slots of kinds other than OTHER are null until the host binds them, so every
// call checks its slot first.
#include "maxon/system.h"

#include <iterator>

#include "maxon/configuration.h"
#include "maxon/interfacereference.h"
#include "maxon/systeminterface.h"
#include "maxon/translationunit.h"

FW_CORE_TRANSLATION_UNIT()

namespace maxon {
namespace {

using K = NULL_RETURN_TYPE;

constexpr MethodEntry SYSTEM_METHODS[] = {
    {"AllocClear@701133d89c8735da", K::INTEGRAL_ZERO},
    {"FreeWithDestructorI@6b1a30c0b982b124", K::VOID_ZERO},
    {"ConfigurationRegister@0c43770b3722cf85", K::OTHER},
    {"GetConsoleOutputType@20c32d4d521", K::INTEGRAL_ZERO},
    {"_ConsoleOutput@cf78c5c1924d0b0e", K::VOID_ZERO},
};
static_assert(std::size(SYSTEM_METHODS) == SYSTEM_METHOD_COUNT);

constexpr auto SYSTEM_BLOB = MakeMethodBlob<MethodBlobSize(SYSTEM_METHODS)>(SYSTEM_METHODS);

constinit void* g_systemMethods[SYSTEM_METHOD_COUNT]{};

void WriteSystemStubs() {
  g_systemMethods[SYSTEM_CONFIGURATION_REGISTER] =
      StubAddress<ErrorChannelStub<g_systemInterface, SYSTEM_CONFIGURATION_REGISTER,
                                   ErrorRef(const ConfigurationEntry*)>>();
}

void FillSystem(EntityBase* reference, Binder binder) {
  FillAndBind(g_systemInterface, reference, binder, WriteSystemStubs);
}

// Stubs are in place from load on, so a call before the host binds lands in a stub.
InterfaceReferenceRecord* BuildSystemReference() {
  WriteSystemStubs();
  return ConstructInterfaceReference(g_systemInterface, "net.maxon.interface.system",
                                     g_systemMethods, nullptr, SYSTEM_BLOB.bytes,
                                     SYSTEM_METHOD_COUNT, FillSystem, nullptr,
                                     FW_THIS_TRANSLATION_UNIT, 0);
}

}  // namespace

constinit InterfaceReferenceRecord g_systemInterface{};

namespace {
[[maybe_unused]] InterfaceReferenceRecord* const g_systemInterfaceBuilt = BuildSystemReference();
}  // namespace

void* AllocClear(int64_t size, const char* file, int line) {
  if (size < 0) return nullptr;
  auto allocClear = SlotAs<void* (*)(int64_t, const AllocationSite*)>(g_systemInterface,
                                                                       SYSTEM_ALLOC_CLEAR);
  if (allocClear == nullptr) return nullptr;
  const AllocationSite site{file, line};
  return allocClear(size, &site);
}

void FreeWithDestructorI(void* object, void (*destructor)(void* object)) {
  if (object == nullptr) return;
  auto free = SlotAs<void (*)(void*, void (*)(void*))>(g_systemInterface,
                                                       SYSTEM_FREE_WITH_DESTRUCTOR);
  // Without a bound allocator nothing can have come from AllocClear.
  if (free == nullptr) return;
  free(object, destructor != nullptr ? destructor : &DestroyNothing);
}

void DestroyNothing(void*) {}

ErrorRef SystemConfigurationRegister(const ConfigurationEntry* entry) {
  // The stub is always present, so this slot is never null.
  return SlotAs<ErrorRef (*)(const ConfigurationEntry*)>(g_systemInterface,
                                                         SYSTEM_CONFIGURATION_REGISTER)(entry);
}

bool SystemGetConsoleOutputType(uint32_t* mask) {
  auto get = SlotAs<uint32_t (*)()>(g_systemInterface, SYSTEM_GET_CONSOLE_OUTPUT_TYPE);
  if (get == nullptr) return false;
  *mask = get();
  return true;
}

bool SystemConsoleOutput(const char* line, const SourceLocation* location) {
  auto output = SlotAs<void (*)(const char*, const SourceLocation*, void*, int64_t)>(
      g_systemInterface, SYSTEM_CONSOLE_OUTPUT);
  if (output == nullptr) return false;
  output(line, location, nullptr, 0);
  return true;
}

}  // namespace maxon
