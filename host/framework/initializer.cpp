#include "host/framework/initializer.h"

#include <atomic>

#include "host/framework/binder.h"
#include "host/framework/declarations.h"
#include "host/framework/errors.h"
#include "host/framework/registry.h"

namespace fm::host {
namespace {

std::atomic<int64_t> g_referenceCalls{0};
std::atomic<int64_t> g_declarationCalls{0};
std::atomic<int64_t> g_failures{0};

void* Fail(const HostError* error) {
  g_failures.fetch_add(1, std::memory_order_relaxed);
  return const_cast<HostError*>(error);
}

void* ResolveReference(records::EntityHead* hostRecord, records::EntityHead* requester) {
  g_referenceCalls.fetch_add(1, std::memory_order_relaxed);
  // Only a reference this host bound to `hostRecord` may be re-bound through it.
  if (requester == nullptr) return Fail(NullptrError());
  if (requester->type != records::kNonvirtualInterface || requester->resolving != hostRecord)
    return Fail(IllegalArgumentError());
  auto* reference = reinterpret_cast<records::InterfaceReferenceRecord*>(requester);
  return RebindReference(reference) ? nullptr : Fail(UnresolvedError());
}

void* ResolveDeclaration(records::EntityHead* entity) {
  g_declarationCalls.fetch_add(1, std::memory_order_relaxed);
  auto* declaration = reinterpret_cast<records::DeclarationRecord*>(entity);
  const void* object = DeclaredObject(entity->id.text ? entity->id.text : "");
  if (object == nullptr) return Fail(UnresolvedError());
  declaration->cached = const_cast<void*>(object);
  return nullptr;
}

}  // namespace

void HostInitializer(void** errorOut, records::EntityHead* entity, records::EntityHead* requester) {
  if (errorOut == nullptr) return;
  if (entity == nullptr) {
    *errorOut = Fail(NullptrError());
  } else if (!InterfaceOfRecord(entity).empty()) {
    *errorOut = ResolveReference(entity, requester);
  } else if (entity->type == records::kDeclaration) {
    *errorOut = ResolveDeclaration(entity);
  } else {
    *errorOut = Fail(UnresolvedError());
  }
}

InitializerCallCounts InitializerCalls() {
  return {g_referenceCalls.load(std::memory_order_relaxed),
          g_declarationCalls.load(std::memory_order_relaxed),
          g_failures.load(std::memory_order_relaxed)};
}

void ResetInitializerCalls() {
  g_referenceCalls.store(0, std::memory_order_relaxed);
  g_declarationCalls.store(0, std::memory_order_relaxed);
  g_failures.store(0, std::memory_order_relaxed);
}

}  // namespace fm::host
