#include "support/fakehost.h"

#include <cstring>

#include "maxon/interfacereference.h"
#include "maxon/maxonrecord.h"

namespace fmtest {
namespace {

FakeHost* g_current = nullptr;

void DefaultVoid() {}
int64_t DefaultZero() { return 0; }
float DefaultFloat() { return 0.0f; }
double DefaultDouble() { return 0.0; }
alignas(16) uint8_t g_zeroBlock[64] = {};
void* DefaultPointerToZero() { return g_zeroBlock; }

void* DefaultFor(uint8_t kind) {
  switch (static_cast<maxon::NULL_RETURN_TYPE>(kind)) {
    case maxon::NULL_RETURN_TYPE::VOID_ZERO:
    case maxon::NULL_RETURN_TYPE::VOID_ZERO_FREE_FUNCTION:
      return reinterpret_cast<void*>(&DefaultVoid);
    case maxon::NULL_RETURN_TYPE::INTEGRAL_ZERO:
      return reinterpret_cast<void*>(&DefaultZero);
    case maxon::NULL_RETURN_TYPE::FLOAT_ZERO:
      return reinterpret_cast<void*>(&DefaultFloat);
    case maxon::NULL_RETURN_TYPE::DOUBLE_ZERO:
      return reinterpret_cast<void*>(&DefaultDouble);
    case maxon::NULL_RETURN_TYPE::POINTER_TO_ZERO:
      return reinterpret_cast<void*>(&DefaultPointerToZero);
    default:
      return nullptr;
  }
}

void ForEachRecord(void (*visit)(maxon::EntityBase*, void*), void* context) {
  for (maxon::ModuleRecord* module = g_maxon.modules; module != nullptr; module = module->previous)
    for (maxon::EntityBase* e = module->entities; e != nullptr; e = e->next) visit(e, context);
}

}  // namespace

std::vector<std::string> MethodIds(const maxon::InterfaceReferenceRecord& reference) {
  std::vector<std::string> ids;
  const char* at = reference.methodNames;
  for (int64_t i = 0; i < reference.methodCount; ++i) {
    ids.emplace_back(at);
    at += std::strlen(at) + 1;
  }
  return ids;
}

FakeHost::FakeHost() {
  g_current = this;
  InstallInitializer(true);
  Implement("GetConsoleOutputType@20c32d4d521", reinterpret_cast<void*>(&FakeHost::ConsoleMask));
}

uint32_t FakeHost::ConsoleMask() { return g_current != nullptr ? g_current->consoleMask_ : 7; }

FakeHost::~FakeHost() {
  // Back to the state after load: empty tables with the module's stubs, nothing initialised,
  // no cached declaration, no initialiser.
  ForEachRecord(
      [](maxon::EntityBase* e, void*) {
        using maxon::EntityBase;
        if (e->type == EntityBase::TYPE::NONVIRTUAL_INTERFACE) {
          auto* reference = reinterpret_cast<maxon::InterfaceReferenceRecord*>(e);
          for (int64_t i = 0; i < reference->methodCount; ++i) reference->methods[i] = nullptr;
          reference->filler(e, nullptr);
          e->flags &= ~EntityBase::FLAGS::INITIALIZED;
          e->resolving = nullptr;
        } else if (e->type == EntityBase::TYPE::DECLARATION) {
          reinterpret_cast<maxon::DeclarationRecord*>(e)->cached = nullptr;
        }
      },
      nullptr);
  g_maxon.initializer = nullptr;
  g_current = nullptr;
}

FakeHost* FakeHost::Current() { return g_current; }

void FakeHost::ProvideInterface(const std::string& interfaceId) {
  interfaces_.insert(interfaceId);
}
void FakeHost::Implement(const std::string& methodId, void* function) {
  methods_[methodId] = function;
}
void FakeHost::Withdraw(const std::string& methodId) { methods_.erase(methodId); }
void FakeHost::ProvideObject(const std::string& declarationId, void* object) {
  objects_[declarationId] = object;
}
void FakeHost::InstallInitializer(bool install) {
  g_maxon.initializer = install ? &FakeHost::Initializer : nullptr;
}
void FakeHost::ProvideConsole() {
  ProvideInterface("net.maxon.interface.system");
  Implement("_ConsoleOutput@cf78c5c1924d0b0e", reinterpret_cast<void*>(&FakeHost::ConsoleOutput));
}

void FakeHost::BindAll() {
  ForEachRecord(
      [](maxon::EntityBase* e, void*) {
        if (e->type == maxon::EntityBase::TYPE::NONVIRTUAL_INTERFACE)
          reinterpret_cast<maxon::InterfaceReferenceRecord*>(e)->filler(e, &FakeHost::Binder);
      },
      nullptr);
}

std::vector<maxon::EntityBase*> FakeHost::Records(maxon::EntityBase::TYPE type) const {
  std::vector<maxon::EntityBase*> found;
  for (maxon::ModuleRecord* module = g_maxon.modules; module != nullptr; module = module->previous)
    for (maxon::EntityBase* e = module->entities; e != nullptr; e = e->next)
      if (e->type == type) found.push_back(e);
  return found;
}

maxon::InterfaceReferenceRecord* FakeHost::Reference(const std::string& interfaceId) const {
  for (maxon::EntityBase* e : Records(maxon::EntityBase::TYPE::NONVIRTUAL_INTERFACE))
    if (interfaceId == e->id.text) return reinterpret_cast<maxon::InterfaceReferenceRecord*>(e);
  return nullptr;
}

bool FakeHost::BindTable(maxon::InterfaceReferenceRecord& reference, const uint8_t* kinds) {
  bool complete = true;
  const std::vector<std::string> ids = MethodIds(reference);
  for (size_t i = 0; i < ids.size(); ++i) {
    auto found = methods_.find(ids[i]);
    if (found != methods_.end()) {
      reference.methods[i] = found->second;
      continue;
    }
    complete = false;
    if (kinds[i] != static_cast<uint8_t>(maxon::NULL_RETURN_TYPE::OTHER))
      reference.methods[i] = DefaultFor(kinds[i]);
  }
  return complete;
}

void FakeHost::Binder(maxon::EntityBase* entity, void** methods, const uint8_t* kinds,
                      int64_t count) {
  FakeHost& host = *g_current;
  auto& reference = *reinterpret_cast<maxon::InterfaceReferenceRecord*>(entity);
  if (methods != reference.methods || count != reference.methodCount) return;
  host.BindTable(reference, kinds);
  const std::string id = entity->id.text;
  if (host.interfaces_.count(id) == 0) return;
  auto& record = host.hostRecords_[id];
  if (!record) record = std::make_unique<maxon::EntityBase>();
  record->flags |= maxon::EntityBase::FLAGS::INITIALIZED;
  entity->resolving = record.get();
  entity->flags |= maxon::EntityBase::FLAGS::INITIALIZED;
}

void FakeHost::Initializer(void** errorOut, maxon::EntityBase* entity, void* requester) {
  FakeHost& host = *g_current;
  ++host.initializerCalls_;
  *errorOut = host.FailureError();
  if (requester == entity && entity->type == maxon::EntityBase::TYPE::DECLARATION) {
    auto found = host.objects_.find(entity->id.text);
    if (found == host.objects_.end()) return;
    reinterpret_cast<maxon::DeclarationRecord*>(entity)->cached = found->second;
    *errorOut = nullptr;
    return;
  }
  // Late binding: `entity` is one of this host's records and `requester` the address of the
  // reference's id, which must name the interface that record stands for (packed word first,
  // so nothing else is followed); the reference record lies at the id's fixed offset.
  if (requester == nullptr) return;
  const auto* id = static_cast<const maxon::LiteralId*>(requester);
  for (const auto& [interfaceId, record] : host.hostRecords_) {
    if (record.get() != entity) continue;
    if ((id->packed & ~maxon::LITERAL_OWNED_BIT) != maxon::PackLiteralText(interfaceId.c_str()) ||
        interfaceId != id->text) {
      return;
    }
    auto* reference = reinterpret_cast<maxon::InterfaceReferenceRecord*>(
        static_cast<char*>(requester) - offsetof(maxon::EntityBase, id));
    if (reference->head.resolving != entity) return;
    if (host.BindTable(*reference, maxon::NullReturnTypes(*reference))) *errorOut = nullptr;
    return;
  }
}

void FakeHost::ConsoleOutput(const char* line, const maxon::SourceLocation* location, void*,
                             int64_t) {
  if (g_current == nullptr) return;
  g_current->console_.emplace_back(line);
  g_current->consoleLocations_.push_back(
      location != nullptr ? std::string(location->file) + "(" + std::to_string(location->line) + ")"
                          : std::string());
}

}  // namespace fmtest
