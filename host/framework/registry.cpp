#include "host/framework/registry.h"

#include <map>
#include <memory>
#include <mutex>

#include "host/framework/interfaces.h"
#include "host/framework/switches.h"

namespace fm::host {
namespace {

struct Interface {
  std::vector<std::pair<std::string, HostFunction>> methods;  // registration order
};

// Host records live as long as the process: a module keeps pointing at them through its
// references' resolving entities, and a reset of the registry must not leave those dangling.
struct RecordBox {
  std::string id;
  records::EntityHead head;
};

struct Registry {
  std::recursive_mutex mutex;
  std::map<std::string, Interface, std::less<>> interfaces;
  std::map<std::string, std::unique_ptr<RecordBox>, std::less<>> records;
  bool builtIns = false;
};

Registry& Raw() {
  static auto* registry = new Registry;
  return *registry;
}

// The registry with the host's own interfaces in it; the caller holds the lock.
Registry& Installed(Registry& registry) {
  if (!registry.builtIns) {
    registry.builtIns = true;
    RegisterSystemInterface();
    RegisterStringInterface();
    RegisterThreadServicesInterface();
  }
  return registry;
}

}  // namespace

void RegisterMethod(std::string_view interfaceId, std::string_view methodIdentifier,
                    HostFunction function) {
  Registry& registry = Raw();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  auto found = registry.interfaces.find(interfaceId);
  if (found == registry.interfaces.end())
    found = registry.interfaces.emplace(std::string(interfaceId), Interface{}).first;
  for (auto& [id, existing] : found->second.methods) {
    if (id == methodIdentifier) {
      existing = function;
      return;
    }
  }
  found->second.methods.emplace_back(std::string(methodIdentifier), function);
}

bool ImplementsInterface(std::string_view interfaceId) {
  Registry& registry = Raw();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  return Installed(registry).interfaces.count(interfaceId) != 0;
}

HostFunction FindMethod(std::string_view interfaceId, std::string_view methodIdentifier) {
  if (IsMethodOmitted(methodIdentifier)) return nullptr;
  Registry& registry = Raw();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  const auto found = Installed(registry).interfaces.find(interfaceId);
  if (found == registry.interfaces.end()) return nullptr;
  for (const auto& [id, function] : found->second.methods)
    if (id == methodIdentifier) return function;
  return nullptr;
}

std::vector<std::string> MethodsOf(std::string_view interfaceId) {
  Registry& registry = Raw();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  std::vector<std::string> out;
  const auto found = Installed(registry).interfaces.find(interfaceId);
  if (found != registry.interfaces.end())
    for (const auto& method : found->second.methods) out.push_back(method.first);
  return out;
}

records::EntityHead* InterfaceRecord(std::string_view interfaceId) {
  Registry& registry = Raw();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  if (Installed(registry).interfaces.count(interfaceId) == 0) return nullptr;
  auto found = registry.records.find(interfaceId);
  if (found == registry.records.end()) {
    auto box = std::make_unique<RecordBox>();
    box->id = std::string(interfaceId);
    box->head = records::EntityHead{};
    box->head.type = records::kNonvirtualInterface;
    box->head.id = records::LiteralId{box->id.c_str(), records::PackLiteral(box->id)};
    box->head.flags = records::kConstructed | records::kDefinition;
    found = registry.records.emplace(box->id, std::move(box)).first;
  }
  return &found->second->head;
}

std::string_view InterfaceOfRecord(const records::EntityHead* record) {
  if (record == nullptr) return {};
  Registry& registry = Raw();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  for (const auto& [id, box] : registry.records)
    if (&box->head == record) return box->id;
  return {};
}

void ResetRegistry() {
  Registry& registry = Raw();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  registry.interfaces.clear();
  registry.builtIns = false;
  Installed(registry);
}

}  // namespace fm::host
