#pragma once
// Scene objects: any object type with children and tags, and the polygon object (type 5100) with
// its points, polygons and polygon selection.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/scene/node.h"
#include "host/scene/records.h"
#include "host/scene/selection.h"
#include "host/scene/tags.h"

namespace fm::host {

class Document;

// The state an undo step brings back: geometry, polygon selection and the data of every tag the
// object carried when it was captured.
struct ObjectState {
  std::vector<Vector3> points;
  std::vector<PolygonRecord> polygons;
  Selection polygonSelection;
  std::vector<std::pair<Tag*, std::unique_ptr<Tag>>> tags;  // the live tag and a copy of its data
};

class Object : public Node {
 public:
  Object(int32_t type, std::string name);

  Object* Parent() const { return parent_; }
  // The document the object is a top-level object of; null for a child or a detached object.
  const Document* TopLevelOf() const { return document_; }
  const std::vector<std::unique_ptr<Object>>& Children() const { return children_; }
  const std::vector<std::unique_ptr<Tag>>& Tags() const { return tags_; }

  // Appends as the last child / last tag and hands back the added node.
  Object& AddChild(std::unique_ptr<Object> child);
  Tag& AddTag(std::unique_ptr<Tag> tag);
  template <typename T, typename... Args>
  T& EmplaceTag(Args&&... args) {
    return static_cast<T&>(AddTag(std::make_unique<T>(std::forward<Args>(args)...)));
  }

  Tag* FirstTag() const { return tags_.empty() ? nullptr : tags_.front().get(); }
  // The `index`-th tag (counting from 0) of the given type, or null.
  Tag* FindTag(int32_t type, int32_t index = 0) const;

  // Membership in the document's object selection.
  bool IsSelected() const { return selected_; }
  void SetSelected(bool selected) { selected_ = selected; }

  virtual int32_t PointCount() const { return 0; }
  virtual int32_t PolygonCount() const { return 0; }

  virtual ObjectState Capture() const;
  virtual void Restore(const ObjectState& state);

 private:
  friend class Document;
  Object* parent_ = nullptr;
  const Document* document_ = nullptr;
  bool selected_ = false;
  std::vector<std::unique_ptr<Object>> children_;
  std::vector<std::unique_ptr<Tag>> tags_;
};

class PolygonObject : public Object {
 public:
  explicit PolygonObject(std::string name);

  std::vector<Vector3>& Points() { return points_; }
  const std::vector<Vector3>& Points() const { return points_; }
  std::vector<PolygonRecord>& Polygons() { return polygons_; }
  const std::vector<PolygonRecord>& Polygons() const { return polygons_; }
  Selection& PolygonSelection() { return polygonSelection_; }
  const Selection& PolygonSelection() const { return polygonSelection_; }

  int32_t PointCount() const override { return static_cast<int32_t>(points_.size()); }
  int32_t PolygonCount() const override { return static_cast<int32_t>(polygons_.size()); }

  // Sets the element counts, keeping the first records of the points, the polygons and every
  // per-element tag and zero-filling new ones; selections forget indices beyond the new counts.
  // False (and nothing changes) for negative counts.
  bool Resize(int32_t points, int32_t polygons);

  // A UVW tag with one zeroed record per current polygon, and an empty polygon-selection tag.
  UvwTag& AddUvwTag(std::string name = {});
  SelectionTag& AddPolygonSelectionTag(std::string name);

  ObjectState Capture() const override;
  void Restore(const ObjectState& state) override;

 private:
  std::vector<Vector3> points_;
  std::vector<PolygonRecord> polygons_;
  Selection polygonSelection_;
};

}  // namespace fm::host
