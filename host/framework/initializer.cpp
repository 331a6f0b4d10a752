#include "host/framework/initializer.h"

#include <atomic>
#include <cstddef>
#include <string_view>

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

// `idAddress` is where the requesting reference keeps its id. The id must name the interface
// `hostRecord` stands for: its packed word is compared before its text is read, so a pointer to
// anything else is turned away without following what it holds. Only then is the record behind
// the id looked at, and only a reference this host bound to `hostRecord` is re-bound through it.
void* ResolveReference(records::EntityHead* hostRecord, std::string_view interfaceId,
                       void* idAddress) {
  g_referenceCalls.fetch_add(1, std::memory_order_relaxed);
  if (idAddress == nullptr) return Fail(NullptrError());
  const auto* id = static_cast<const records::LiteralId*>(idAddress);
  if ((id->packed & ~records::kLiteralOwnedBit) != records::PackLiteral(interfaceId) ||
      id->text == nullptr || interfaceId != id->text) {
    return Fail(IllegalArgumentError());
  }
  auto* requester = reinterpret_cast<records::EntityHead*>(static_cast<char*>(idAddress) -
                                                           offsetof(records::EntityHead, id));
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

void HostInitializer(void** errorOut, records::EntityHead* entity, void* requester) {
  if (errorOut == nullptr) return;
  if (entity == nullptr) {
    *errorOut = Fail(NullptrError());
  } else if (const std::string_view interfaceId = InterfaceOfRecord(entity); !interfaceId.empty()) {
    *errorOut = ResolveReference(entity, interfaceId, requester);
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
