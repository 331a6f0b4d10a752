// Construction of entity records. Runs from static initialisers on the loader's thread, before
// the host can call the module, so nothing here locks.
#include "maxon/entity.h"

#include <cstring>

#include "maxon/debugglobals.h"
#include "maxon/diagnostic.h"
#include "maxon/maxonrecord.h"
#include "maxon/translationunit.h"

FW_CORE_TRANSLATION_UNIT()

namespace maxon {
namespace {

using FLAGS = EntityBase::FLAGS;
using TYPE = EntityBase::TYPE;

// A malformed record is a mistake in the module's own static data: say so, stop in a debug
// build, and keep the record out of every list so the host never sees half a record.
bool ConstructionFails(const char* what, int line) {
  EmitDiagnostic(CRITICAL_CHANNEL | WITH_LOCATION, what, line, __FILE__);
#ifndef NDEBUG
  __builtin_trap();
#endif
  return true;
}

bool PassesConstructionChecks(const EntityBase& head, const char* id, const EntityBase* owner,
                              uint64_t flags) {
  if ((flags & FLAGS::HOST_STATE_MASK) != 0 && (flags & FLAGS::CLASS_PROXY) == 0)
    return !ConstructionFails("Assertion failed: entity flags name a state only the host sets",
                              __LINE__);
  if (owner != nullptr && (id == nullptr || *id == '\0') &&
      (flags & (FLAGS::PROXY | FLAGS::HIDDEN)) == 0)
    return !ConstructionFails("Assertion failed: entity with an owner but without an id",
                              __LINE__);
  if (head.owner != nullptr || head.hostReserved != nullptr || head.type != TYPE::INVALID_0)
    return !ConstructionFails("Assertion failed: entity constructed twice", __LINE__);
  if (head.id.IsOwned())
    return !ConstructionFails("Assertion failed: entity id owns its text", __LINE__);
  return true;
}

// The module a record belongs to: the one of the translation unit at the top of its owner chain.
ModuleRecord* ModuleOf(EntityBase* owner) {
  for (int depth = 0; owner != nullptr && depth < 64; ++depth) {
    if (owner->type == TYPE::TRANSLATION_UNIT)
      return reinterpret_cast<TranslationUnitRecord*>(owner)->module;
    if (owner->owner == owner) return nullptr;
    owner = owner->owner;
  }
  return nullptr;
}

void LinkIntoModule(EntityBase& head, ModuleRecord* module) {
  if (module != nullptr) {
    head.next = module->entities;
    module->entities = &head;
  }
  if (head.owner != nullptr && head.owner != &head)
    head.owner->flags |= head.flags & FLAGS::ADAPTER;
}

// Common head of every record. Interface declarations and class proxies start from cleared
// flags; every other record keeps what its entity list already gave it (an inherited ADAPTER bit).
bool BuildHead(EntityBase& head, TYPE type, const char* id, EntityBase* owner, uint64_t flags,
               bool definition) {
  if (!PassesConstructionChecks(head, id, owner, flags)) return false;
  const bool clearFlags = type == TYPE::INTERFACE || (flags & FLAGS::CLASS_PROXY) != 0;
  head.type = type;
  head.id.Assign(id);
  head.owner = owner;
  head.flags = (clearFlags ? 0 : head.flags) | flags | FLAGS::CONSTRUCTED |
               (definition ? FLAGS::DEFINITION : 0);
  return true;
}

bool SameInterface(const InterfaceDeclarationRecord& a, const InterfaceDeclarationRecord& b) {
  if (&a == &b) return true;
  if (a.head.id.packed != b.head.id.packed) return false;
  if (a.head.id.text == nullptr || b.head.id.text == nullptr) return false;
  return std::strcmp(a.head.id.text, b.head.id.text) == 0;
}

bool HasBase(const InterfaceDeclarationRecord& record, const InterfaceDeclarationRecord& asked,
             int depth) {
  // Base lists are acyclic by construction; the depth bound only keeps a corrupted list from
  // exhausting the stack.
  if (record.bases == nullptr || depth > 64) return false;
  auto test = [&](const InterfaceDeclarationRecord& base) {
    return SameInterface(base, asked) || HasBase(base, asked, depth + 1);
  };
  if ((record.head.flags & FLAGS::SINGLE_BASE) != 0)
    return test(*static_cast<const InterfaceDeclarationRecord*>(record.bases));
  for (auto* base = static_cast<const InterfaceDeclarationRecord* const*>(record.bases);
       *base != nullptr; ++base)
    if (test(**base)) return true;
  return false;
}

}  // namespace

const char* SourceBaseName(const char* path) {
  if (path == nullptr) return "";
  if (const char* slash = std::strrchr(path, '/')) return slash + 1;
  if (const char* backslash = std::strrchr(path, '\\')) return backslash + 1;
  return path;
}

TranslationUnitRecord* ConstructTranslationUnit(TranslationUnitRecord& record, ModuleRecord& module,
                                                const char* sourceFile, uint64_t flags) {
  if (!BuildHead(record.head, TYPE::TRANSLATION_UNIT, SourceBaseName(sourceFile), &record.head,
                 flags, true))
    return nullptr;
  record.module = &module;
  record.sentinels[0] = -1;
  record.sentinels[1] = -2;
  record.sentinels[2] = -1;
  LinkIntoModule(record.head, &module);
  return &record;
}

ModuleRecord* ConstructModule(ModuleRecord& record, const char* moduleId, EntityBase* owner,
                              uint64_t flags) {
  // The entity list and the dependency list may already be filled by units that initialised
  // first; construction leaves both in place.
  if (!BuildHead(record.head, TYPE::MODULE, moduleId, owner, flags, true)) return nullptr;
  record.previous = g_maxon.modules;
  record.maxon = &g_maxon;
  g_maxon.modules = &record;
  LinkIntoModule(record.head, ModuleOf(owner));
  return &record;
}

InterfaceReferenceRecord* ConstructInterfaceReference(InterfaceReferenceRecord& record,
                                                      const char* interfaceId, void** methods,
                                                      void* hostSlot, const char* methodNames,
                                                      int64_t methodCount, Filler filler,
                                                      Fallback fallback, EntityBase* owner,
                                                      uint64_t flags) {
  if (!BuildHead(record.head, TYPE::NONVIRTUAL_INTERFACE, interfaceId, owner, flags, false))
    return nullptr;
  record.methods = methods;
  record.hostSlot = hostSlot;
  record.methodNames = methodNames;
  record.methodCount = methodCount;
  record.filler = filler;
  record.reserved1 = nullptr;
  record.fallback = fallback;
  record.reserved2 = nullptr;
  LinkIntoModule(record.head, ModuleOf(owner));
  return &record;
}

InterfaceDeclarationRecord* ConstructInterfaceDeclaration(InterfaceDeclarationRecord& record,
                                                          const char* interfaceId,
                                                          const char* declaredName,
                                                          const void* bases,
                                                          const char* methodNames,
                                                          EntityBase* owner, uint64_t flags) {
  if (!BuildHead(record.head, TYPE::INTERFACE, interfaceId, owner, flags, false)) return nullptr;
  record.marker = 0x8000000000000000ull;
  record.reserved1 = nullptr;
  record.bases = bases;
  record.methodNames = methodNames;
  record.interfaceId.Assign(interfaceId);
  record.declaredName = declaredName;
  record.zero = 0;
  record.minusOne = -1;
  LinkIntoModule(record.head, ModuleOf(owner));
  return &record;
}

DeclarationRecord* ConstructDeclaration(DeclarationRecord& record, const char* declarationId,
                                        EntityBase* registry, EntityBase* owner, uint64_t flags) {
  if (!BuildHead(record.head, TYPE::DECLARATION, declarationId, owner, flags, false))
    return nullptr;
  record.registry = registry;
  LinkIntoModule(record.head, ModuleOf(owner));
  return &record;
}

InitializationRecord* ConstructInitialization(InitializationRecord& record,
                                              const char* sourceFile, InitializationInit init,
                                              InitializationFree free, EntityBase* owner) {
  // Named after its unit, so that the record passes the id check every owned record must pass.
  const char* name = SourceBaseName(sourceFile);
  if (!BuildHead(record.head, TYPE::INITIALIZATION, name, owner, 0, true)) return nullptr;
  record.sourceName = name;
  record.init = init;
  record.free = free;
  LinkIntoModule(record.head, ModuleOf(owner));
  return &record;
}

DependencyRecord* ConstructDependency(DependencyRecord& record, EntityBase::TYPE type,
                                      const char* dependencyId, EntityBase* owner,
                                      const char* sourceFile, uint64_t flags) {
  if (type != TYPE::DEPENDENCY) {
    ConstructionFails("Assertion failed: dependency record of another type", __LINE__);
    return nullptr;
  }
  if (!BuildHead(record.head, type, dependencyId, owner, flags, true)) return nullptr;
  record.sourceName = SourceBaseName(sourceFile);
  LinkIntoModule(record.head, ModuleOf(owner));
  return &record;
}

bool SetModuleDependencies(ModuleRecord& module, const LiteralId* dependencies, int64_t count) {
  if (module.dependencies != nullptr || module.dependencyCount != 0) {
    EmitDiagnostic(CRITICAL_CHANNEL | WITH_LOCATION,
                   "Assertion failed: module dependencies set twice", __LINE__, __FILE__);
    DebugBreakIfAllowed();
    return false;
  }
  module.dependencies = dependencies;
  module.dependencyCount = count;
  return true;
}

bool InterfaceHasBase(const InterfaceDeclarationRecord& record,
                      const InterfaceDeclarationRecord& asked) {
  return HasBase(record, asked, 0);
}

}  // namespace maxon
