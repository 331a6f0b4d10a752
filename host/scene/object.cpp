#include "host/scene/object.h"

namespace fm::host {

Object::Object(int32_t type, std::string name) : Node(NodeKind::Object, type, std::move(name)) {}

Object& Object::AddChild(std::unique_ptr<Object> child) {
  child->parent_ = this;
  children_.push_back(std::move(child));
  LinkAppended(children_);
  SetDown(children_.front().get());
  return *children_.back();
}

Tag& Object::AddTag(std::unique_ptr<Tag> tag) {
  tag->host_ = this;
  tags_.push_back(std::move(tag));
  LinkAppended(tags_);
  return *tags_.back();
}

Tag* Object::FindTag(int32_t type, int32_t index) const {
  if (index < 0) return nullptr;
  for (const auto& tag : tags_) {
    if (tag->Type() == type && index-- == 0) return tag.get();
  }
  return nullptr;
}

ObjectState Object::Capture() const {
  ObjectState state;
  for (const auto& tag : tags_) state.tags.emplace_back(tag.get(), tag->Clone());
  return state;
}

void Object::Restore(const ObjectState& state) {
  // Tags are never removed from an object, so every captured tag is still attached here.
  for (const auto& [live, saved] : state.tags) live->Restore(*saved);
}

PolygonObject::PolygonObject(std::string name) : Object(kPolygonObjectType, std::move(name)) {}

bool PolygonObject::Resize(int32_t points, int32_t polygons) {
  if (points < 0 || polygons < 0) return false;
  // An unchanged count leaves the array alone, so that an array shared with an undo record is not
  // copied for nothing.
  if (points_.Get().size() != static_cast<size_t>(points)) points_.Resize(static_cast<size_t>(points));
  if (polygons_.Get().size() != static_cast<size_t>(polygons)) {
    polygons_.Resize(static_cast<size_t>(polygons));
  }
  polygonSelection_.Truncate(polygons);
  for (const auto& tag : Tags()) tag->FollowResize(points, polygons);
  return true;
}

Vector3* PolygonObject::LendPoints() {
  Vector3* points = points_.Lend();
  lentPoints_ = points;
  return points;
}

PolygonRecord* PolygonObject::LendPolygons() {
  PolygonRecord* polygons = polygons_.Lend();
  lentPolygons_ = polygons;
  return polygons;
}

UvwTag& PolygonObject::AddUvwTag(std::string name) {
  return EmplaceTag<UvwTag>(PolygonCount(), std::move(name));
}

SelectionTag& PolygonObject::AddPolygonSelectionTag(std::string name) {
  return EmplaceTag<SelectionTag>(kPolygonSelectionTagType, ElementKind::Polygon, std::move(name));
}

ObjectState PolygonObject::Capture() const {
  ObjectState state = Object::Capture();
  const bool pointsLent = lentPoints_ != nullptr && lentPoints_ == points_.Get().data();
  const bool polygonsLent = lentPolygons_ != nullptr && lentPolygons_ == polygons_.Get().data();
  state.points = pointsLent ? points_.Copy() : points_.Share();
  state.polygons = polygonsLent ? polygons_.Copy() : polygons_.Share();
  state.polygonSelection = polygonSelection_;
  return state;
}

void PolygonObject::Restore(const ObjectState& state) {
  Object::Restore(state);
  points_.Adopt(state.points);
  polygons_.Adopt(state.polygons);
  polygonSelection_ = state.polygonSelection;
}

}  // namespace fm::host
