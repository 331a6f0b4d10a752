#include "host/scene/document.h"

namespace fm::host {
namespace {

void Collect(const Object& object, bool selectedOnly, std::vector<Object*>& out) {
  if (!selectedOnly || object.IsSelected()) out.push_back(const_cast<Object*>(&object));
  for (const auto& child : object.Children()) Collect(*child, selectedOnly, out);
}

Object* Find(const Object& object, const std::string& name) {
  if (object.Name() == name) return const_cast<Object*>(&object);
  for (const auto& child : object.Children()) {
    if (Object* found = Find(*child, name)) return found;
  }
  return nullptr;
}

}  // namespace

Document::Document(std::string name) : name_(std::move(name)) {}

Object& Document::AddObject(std::unique_ptr<Object> object, Object* parent) {
  if (parent) return parent->AddChild(std::move(object));
  object->document_ = this;
  roots_.push_back(std::move(object));
  Node::LinkAppended(roots_);
  return *roots_.back();
}

PolygonObject& Document::AddPolygonObject(std::string name, Object* parent) {
  return static_cast<PolygonObject&>(
      AddObject(std::make_unique<PolygonObject>(std::move(name)), parent));
}

Object& Document::AddGroupObject(std::string name, Object* parent, int32_t type) {
  return AddObject(std::make_unique<Object>(type, std::move(name)), parent);
}

void Document::Clear() {
  undo_ = UndoHistory();  // its steps point at the objects, so it goes first
  roots_.clear();
}

std::vector<Object*> Document::AllObjects() const {
  std::vector<Object*> out;
  for (const auto& root : roots_) Collect(*root, false, out);
  return out;
}

std::vector<Object*> Document::SelectedObjects() const {
  std::vector<Object*> out;
  for (const auto& root : roots_) Collect(*root, true, out);
  return out;
}

Object* Document::FindObject(const std::string& name) const {
  for (const auto& root : roots_) {
    if (Object* found = Find(*root, name)) return found;
  }
  return nullptr;
}

}  // namespace fm::host
