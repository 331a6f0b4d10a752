#include "host/framework/binder.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "host/framework/registry.h"

namespace fm::host {
namespace {

// Longer than any identifier a sound module writes; a blob without a NUL within it is corrupt.
constexpr size_t kMaxIdentifierLength = 4096;

std::atomic<int64_t> g_defaultCalls[6];

alignas(64) constexpr unsigned char kZeroBlock[64] = {};

void DefaultVoid() { g_defaultCalls[kVoidZero].fetch_add(1, std::memory_order_relaxed); }
void DefaultVoidFree() {
  g_defaultCalls[kVoidZeroFreeFunction].fetch_add(1, std::memory_order_relaxed);
}
// Returned as a full 64-bit word: also a null pointer and false for narrower results.
int64_t DefaultIntegral() {
  g_defaultCalls[kIntegralZero].fetch_add(1, std::memory_order_relaxed);
  return 0;
}
float DefaultFloat() {
  g_defaultCalls[kFloatZero].fetch_add(1, std::memory_order_relaxed);
  return 0.0f;
}
double DefaultDouble() {
  g_defaultCalls[kDoubleZero].fetch_add(1, std::memory_order_relaxed);
  return 0.0;
}
const void* DefaultPointerToZero() {
  g_defaultCalls[kPointerToZero].fetch_add(1, std::memory_order_relaxed);
  return kZeroBlock;
}

HostFunction DefaultFor(uint8_t kind) {
  switch (kind) {
    case kVoidZero: return AsHostFunction(&DefaultVoid);
    case kVoidZeroFreeFunction: return AsHostFunction(&DefaultVoidFree);
    case kIntegralZero: return AsHostFunction(&DefaultIntegral);
    case kFloatZero: return AsHostFunction(&DefaultFloat);
    case kDoubleZero: return AsHostFunction(&DefaultDouble);
    case kPointerToZero: return AsHostFunction(&DefaultPointerToZero);
    default: return nullptr;
  }
}

void* AsSlot(HostFunction function) { return reinterpret_cast<void*>(function); }

struct Binding {
  std::mutex mutex;  // slots of one table are written by one binder at a time
  std::vector<BindRecord> records;
};

Binding& TheBinding() {
  static auto* binding = new Binding;
  return *binding;
}

const char* IdText(const records::EntityHead& head) { return head.id.text ? head.id.text : ""; }

}  // namespace

bool ReadMethodIdentifiers(const records::InterfaceReferenceRecord& reference,
                           std::vector<std::string>* identifiers, std::string* problem) {
  identifiers->clear();
  if (reference.count < 0) {
    *problem = "negative method count";
    return false;
  }
  if (reference.count == 0) return true;
  if (reference.blob == nullptr) {
    *problem = "no method-name blob";
    return false;
  }
  const char* cursor = reference.blob;
  for (int64_t i = 0; i < reference.count; ++i) {
    const void* end = std::memchr(cursor, '\0', kMaxIdentifierLength);
    if (end == nullptr) {
      *problem = "method identifier " + std::to_string(i) + " is not terminated";
      return false;
    }
    identifiers->emplace_back(cursor);
    cursor = static_cast<const char*>(end) + 1;
  }
  return true;
}

void HostBinder(records::EntityHead* reference, void** methods, const uint8_t* nullReturnTypes,
                int64_t count) {
  Binding& binding = TheBinding();
  std::lock_guard<std::mutex> lock(binding.mutex);
  BindRecord record{reference, "", count, 0, {}, false, ""};
  if (reference == nullptr || methods == nullptr || (count > 0 && nullReturnTypes == nullptr)) {
    record.problem = "binder called without a reference, method table or kinds";
    binding.records.push_back(std::move(record));
    return;
  }
  auto* ref = reinterpret_cast<records::InterfaceReferenceRecord*>(reference);
  record.interfaceId = IdText(ref->head);
  std::vector<std::string> identifiers;
  if (ref->head.type != records::kNonvirtualInterface) {
    record.problem = "not an interface reference (type " + std::to_string(ref->head.type) + ")";
  } else if (count != ref->count) {
    record.problem = "binder count " + std::to_string(count) + " differs from the record's " +
                     std::to_string(ref->count);
  } else if (ReadMethodIdentifiers(*ref, &identifiers, &record.problem)) {
    // The kinds follow the blob's last NUL; a filler pointing elsewhere has the layout wrong.
    const char* blobEnd = ref->blob;
    for (const std::string& id : identifiers) blobEnd += id.size() + 1;
    if (count > 0 && reinterpret_cast<const char*>(nullReturnTypes) != blobEnd)
      record.problem = "null-return kinds do not follow the method-name blob";
  }
  if (!record.problem.empty()) {
    binding.records.push_back(std::move(record));
    return;
  }

  for (int64_t slot = 0; slot < count; ++slot) {
    const std::string& id = identifiers[static_cast<size_t>(slot)];
    if (HostFunction function = FindMethod(record.interfaceId, id)) {
      methods[slot] = AsSlot(function);
      ++record.resolved;
      continue;
    }
    record.unresolved.push_back(id);
    const uint8_t kind = nullReturnTypes[slot];
    if (kind == kOther) continue;  // the filler's stub stays
    if (HostFunction fallback = DefaultFor(kind)) {
      methods[slot] = AsSlot(fallback);
    } else {
      // An unknown kind: a zero result is the least harmful thing a call can get.
      methods[slot] = AsSlot(AsHostFunction(&DefaultIntegral));
      if (record.problem.empty())
        record.problem = "unknown null-return kind " + std::to_string(kind) + " for " + id;
    }
  }
  if (records::EntityHead* host = InterfaceRecord(record.interfaceId)) {
    ref->head.resolving = host;
    ref->head.flags |= records::kInitialized;
    host->flags |= records::kInitialized;
    record.hostInterface = true;
  }
  binding.records.push_back(std::move(record));
}

bool RebindReference(records::InterfaceReferenceRecord* reference) {
  if (reference == nullptr || reference->methods == nullptr) return false;
  Binding& binding = TheBinding();
  std::lock_guard<std::mutex> lock(binding.mutex);
  std::vector<std::string> identifiers;
  std::string problem;
  if (!ReadMethodIdentifiers(*reference, &identifiers, &problem)) return false;
  const std::string interfaceId = IdText(reference->head);
  bool complete = true;
  for (size_t slot = 0; slot < identifiers.size(); ++slot) {
    if (HostFunction function = FindMethod(interfaceId, identifiers[slot]))
      reference->methods[slot] = AsSlot(function);
    else
      complete = false;
  }
  return complete;
}

std::vector<BindRecord> TakeBindRecords() {
  Binding& binding = TheBinding();
  std::lock_guard<std::mutex> lock(binding.mutex);
  std::vector<BindRecord> out = std::move(binding.records);
  binding.records.clear();
  return out;
}

DefaultCallCounts DefaultCalls() {
  DefaultCallCounts counts{};
  for (int k = 0; k < 6; ++k) counts.byKind[k] = g_defaultCalls[k].load(std::memory_order_relaxed);
  return counts;
}

void ResetDefaultCalls() {
  for (auto& counter : g_defaultCalls) counter.store(0, std::memory_order_relaxed);
}

const void* ZeroBlock() { return kZeroBlock; }

}  // namespace fm::host
