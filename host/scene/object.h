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
#include "host/scene/shared_array.h"
#include "host/scene/tags.h"

namespace fm::host {

class Document;

// The state an undo step brings back: geometry, polygon selection and the data of every tag the
// object carried when it was captured. Points and polygons are shared with the object for as long
// as it leaves them alone, or kept as the rule that makes them (neither for an object without them).
struct ObjectState {
  SharedArray<Vector3>::Snapshot points;
  SharedArray<PolygonRecord>::Snapshot polygons;
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

  // The writable arrays are for use at once: an undo capture shares them with the object until
  // the next call here, so a reference kept across a capture would change the captured state.
  std::vector<Vector3>& Points() { return points_.Mutable(); }
  const std::vector<Vector3>& Points() const { return points_.Get(); }
  std::vector<PolygonRecord>& Polygons() { return polygons_.Mutable(); }
  const std::vector<PolygonRecord>& Polygons() const { return polygons_.Get(); }

  // The first record of the points / polygons for a caller that writes through it later (a
  // module), null when there are none. A capture taken while the array is still the lent one
  // copies it instead of sharing it, since writes through the pointer cannot be seen.
  Vector3* LendPoints();
  PolygonRecord* LendPolygons();
  // Holds `points` as its points without copying them; they must stay as they are while the
  // object or an undo record of it lives. A write copies them first.
  void BorrowPoints(const std::vector<Vector3>& points) { points_.Borrow(points); }
  // The polygons as they stand are the ones `rule` makes; a capture of lent polygons that are
  // still the rule's keeps the rule instead of a copy. Forgotten once the polygons are changed here.
  void SetPolygonsRule(std::shared_ptr<const SharedArray<PolygonRecord>::Rule> rule) {
    polygons_.SetRule(std::move(rule));
  }
  Selection& PolygonSelection() { return polygonSelection_; }
  const Selection& PolygonSelection() const { return polygonSelection_; }

  int32_t PointCount() const override { return static_cast<int32_t>(points_.Get().size()); }
  int32_t PolygonCount() const override { return static_cast<int32_t>(polygons_.Get().size()); }

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
  SharedArray<Vector3> points_;
  SharedArray<PolygonRecord> polygons_;
  // The arrays' first records as last lent; a capture copies an array whose records are still there.
  const void* lentPoints_ = nullptr;
  const void* lentPolygons_ = nullptr;
  Selection polygonSelection_;
};

}  // namespace fm::host
