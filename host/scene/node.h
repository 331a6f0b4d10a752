#pragma once
// A scene node: an object or a tag. Nodes carry a type id and a name and are linked to their next
// sibling and first child, the way a module walks them (an object's siblings are objects, a tag's
// siblings are the tags after it on the same object; tags have no children).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fm::host {

// Host type ids the headless host gives meaning to.
inline constexpr int32_t kPolygonObjectType = 5100;
inline constexpr int32_t kNullObjectType = 5140;
inline constexpr int32_t kUvwTagType = 5671;
inline constexpr int32_t kPolygonSelectionTagType = 5673;

// Element data types of a polygon object.
inline constexpr int32_t kPointDataType = 5600;
inline constexpr int32_t kPolygonDataType = 5604;

enum class NodeKind { Object, Tag };

class Node {
 public:
  virtual ~Node() = default;
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  NodeKind Kind() const { return kind_; }
  int32_t Type() const { return type_; }
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  Node* Next() const { return next_; }
  Node* Down() const { return down_; }

  // Threads the node just appended to an owning list behind its predecessor. Only those two
  // nodes are touched, so building a list of n siblings costs O(n), not O(n²). The owners
  // (objects for children and tags, documents for top-level objects) call this after every append.
  template <typename T>
  static void LinkAppended(const std::vector<std::unique_ptr<T>>& list) {
    if (list.empty()) return;
    list.back()->next_ = nullptr;
    if (list.size() > 1) list[list.size() - 2]->next_ = list.back().get();
  }

 protected:
  Node(NodeKind kind, int32_t type, std::string name)
      : kind_(kind), type_(type), name_(std::move(name)) {}

  void SetDown(Node* down) { down_ = down; }

 private:
  NodeKind kind_;
  int32_t type_;
  std::string name_;
  Node* next_ = nullptr;
  Node* down_ = nullptr;
};

}  // namespace fm::host
