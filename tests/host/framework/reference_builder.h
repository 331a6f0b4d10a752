#pragma once
// Builds an interface reference record the way a module lays one out: blob of identifiers, then
// one kind byte per method, and a method table.

#include <cstdint>
#include <string>
#include <vector>

#include "host/framework/binder.h"
#include "host/framework/records.h"

namespace fm::host::testing {

struct Method {
  std::string identifier;
  uint8_t kind;
};

class ReferenceBuilder {
 public:
  ReferenceBuilder(std::string interfaceId, std::vector<Method> methods)
      : id_(std::move(interfaceId)), methods_(std::move(methods)) {
    for (const Method& m : methods_) blob_.insert(blob_.end(), m.identifier.c_str(),
                                                  m.identifier.c_str() + m.identifier.size() + 1);
    kindsOffset_ = blob_.size();
    for (const Method& m : methods_) blob_.push_back(static_cast<char>(m.kind));
    table_.assign(methods_.size(), nullptr);
    record_ = records::InterfaceReferenceRecord{};
    record_.head.type = records::kNonvirtualInterface;
    record_.head.id = {id_.c_str(), records::PackLiteral(id_)};
    record_.head.flags = records::kConstructed;
    record_.methods = table_.data();
    record_.blob = blob_.data();
    record_.count = static_cast<int64_t>(methods_.size());
  }

  // What a module's filler does: its stub into every OTHER slot, then the binder.
  void Fill(void* stub) {
    for (size_t i = 0; i < methods_.size(); ++i)
      if (methods_[i].kind == kOther) table_[i] = stub;
    HostBinder(&record_.head, table_.data(), Kinds(), record_.count);
  }

  const uint8_t* Kinds() const {
    return reinterpret_cast<const uint8_t*>(blob_.data() + kindsOffset_);
  }
  records::InterfaceReferenceRecord& Record() { return record_; }
  records::EntityHead* Head() { return &record_.head; }
  void*& Slot(size_t i) { return table_[i]; }

 private:
  std::string id_;
  std::vector<Method> methods_;
  std::vector<char> blob_;
  size_t kindsOffset_ = 0;
  std::vector<void*> table_;
  records::InterfaceReferenceRecord record_{};
};

}  // namespace fm::host::testing
