// Late resolution of interface references and the filler's common part.
#include "maxon/interfacereference.h"

#include "maxon/debugglobals.h"
#include "maxon/diagnostic.h"
#include "maxon/maxonrecord.h"
#include "maxon/translationunit.h"

FW_CORE_TRANSLATION_UNIT()

namespace maxon {
namespace {

// The framework's object-model source, as its messages name it.
constexpr const char* OBJECT_SOURCE = "maxon/object";

bool Flagged(const EntityBase* entity, uint64_t flag) {
  return entity != nullptr && (entity->flags & flag) != 0;
}

}  // namespace

const uint8_t* NullReturnTypes(const InterfaceReferenceRecord& reference) {
  const char* at = reference.methodNames;
  if (at == nullptr) return nullptr;
  for (int64_t i = 0; i < reference.methodCount; ++i) {
    while (*at != '\0') ++at;
    ++at;
  }
  return reinterpret_cast<const uint8_t*>(at);
}

bool IsInitialized(const InterfaceReferenceRecord& reference) {
  return Flagged(&reference.head, EntityBase::FLAGS::INITIALIZED) &&
         Flagged(reference.head.resolving, EntityBase::FLAGS::INITIALIZED);
}

void ReportUnresolvable(const InterfaceReferenceRecord& reference) {
  const char* id = reference.head.id.text != nullptr ? reference.head.id.text : "";
  EmitDiagnostic(DIAGNOSTIC_CHANNEL | NO_LINE_END, "Method invocation of unresolvable interface ",
                 347, OBJECT_SOURCE);
  EmitDiagnostic(DIAGNOSTIC_CHANNEL, id, 348, OBJECT_SOURCE);
  EmitDiagnostic(CRITICAL_CHANNEL | WITH_LOCATION, "Stop", 349, OBJECT_SOURCE);
  DebugBreakIfAllowed();
}

bool ResolveReference(InterfaceReferenceRecord& reference, bool report) {
  if (reference.head.resolving != nullptr) {
    const Initializer initializer = g_maxon.GetInitializer();
    if (initializer == nullptr) {
      // Never call through the missing initialiser: the reference counts as unresolved.
      EmitDiagnostic(CRITICAL_CHANNEL | WITH_LOCATION,
                     "Assertion failed: g_maxon.GetInitializer()", 139, OBJECT_SOURCE);
      DebugBreakIfAllowed();
    } else {
      // An initialiser that writes nothing has not said "success".
      void* error = NeutralError();
      initializer(&error, reference.head.resolving, &reference.head.id);
      if (error == nullptr) return true;
    }
  }
  if (reference.fallback != nullptr) {
    reference.fallback(reference.methods);
    return true;
  }
  if (report) ReportUnresolvable(reference);
  return false;
}

bool ResolveForSlot(InterfaceReferenceRecord& reference, size_t slot, void* stub, bool report) {
  if (!ResolveReference(reference, report)) return false;
  void* now = reference.methods[slot];
  if (now != nullptr && now != stub) return true;
  if (report) ReportUnresolvable(reference);
  return false;
}

void FillAndBind(InterfaceReferenceRecord& reference, EntityBase* given, Binder binder,
                 void (*writeStubs)()) {
  writeStubs();
  if (binder != nullptr)
    binder(given != nullptr ? given : &reference.head, reference.methods,
           NullReturnTypes(reference), reference.methodCount);
}

}  // namespace maxon
