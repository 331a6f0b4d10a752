#pragma once
// Tags attached to objects: plain tags, tags with one record per point or polygon (UVW and
// others), and selection tags.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/scene/node.h"
#include "host/scene/records.h"
#include "host/scene/selection.h"

namespace fm::host {

class Object;

enum class ElementKind { Point, Polygon };

class Tag : public Node {
 public:
  explicit Tag(int32_t type, std::string name = {}) : Node(NodeKind::Tag, type, std::move(name)) {}

  // The object the tag is attached to; null while detached.
  Object* Host() const { return host_; }

  // Follows a change of the host object's element counts: per-element data keeps its first
  // records and zero-fills new ones; selections forget indices at or beyond the new count.
  virtual void FollowResize(int32_t points, int32_t polygons);

  // A detached copy of the tag's data, for undo; Restore puts such a copy's data back.
  virtual std::unique_ptr<Tag> Clone() const;
  virtual void Restore(const Tag& saved);

 private:
  friend class Object;
  Object* host_ = nullptr;
};

// One fixed-size record per point or per polygon of the host object.
class VariableTag : public Tag {
 public:
  VariableTag(int32_t type, ElementKind element, int32_t recordSize, int32_t count = 0,
              std::string name = {});

  ElementKind Element() const { return element_; }
  int32_t RecordSize() const { return recordSize_; }
  int32_t Count() const;
  uint8_t* Record(int32_t index);  // null when the index is out of range
  const uint8_t* Record(int32_t index) const;
  std::vector<uint8_t>& Bytes() { return bytes_; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  void SetCount(int32_t count);

  void FollowResize(int32_t points, int32_t polygons) override;
  std::unique_ptr<Tag> Clone() const override;
  void Restore(const Tag& saved) override;

 private:
  ElementKind element_;
  int32_t recordSize_;
  std::vector<uint8_t> bytes_;
};

// Texture coordinates: one UvwRecord per polygon.
class UvwTag : public VariableTag {
 public:
  explicit UvwTag(int32_t polygons = 0, std::string name = {});

  // Out-of-range indices: Get gives zeros, Set changes nothing and answers false.
  UvwRecord Get(int32_t index) const;
  bool Set(int32_t index, const UvwRecord& record);

  std::unique_ptr<Tag> Clone() const override;
};

// A named selection of points or polygons (type 5673 for polygons).
class SelectionTag : public Tag {
 public:
  SelectionTag(int32_t type, ElementKind element, std::string name = {});

  ElementKind Element() const { return element_; }
  Selection& Elements() { return selection_; }
  const Selection& Elements() const { return selection_; }

  void FollowResize(int32_t points, int32_t polygons) override;
  std::unique_ptr<Tag> Clone() const override;
  void Restore(const Tag& saved) override;

 private:
  ElementKind element_;
  Selection selection_;
};

}  // namespace fm::host
