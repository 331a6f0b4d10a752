#pragma once
// A list of nodes that a module asks the host to fill (the selected objects of a document).

#include <cstdint>
#include <vector>

#include "host/scene/node.h"

namespace fm::host {

class NodeArray {
 public:
  int32_t Count() const { return static_cast<int32_t>(nodes_.size()); }
  // Null for an index out of range.
  Node* Get(int32_t index) const {
    return index >= 0 && index < Count() ? nodes_[static_cast<size_t>(index)] : nullptr;
  }
  std::vector<Node*>& Nodes() { return nodes_; }
  const std::vector<Node*>& Nodes() const { return nodes_; }

 private:
  std::vector<Node*> nodes_;
};

}  // namespace fm::host
