#pragma once
// A document: a tree of objects, an object selection and an undo history.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/scene/object.h"
#include "host/scene/undo.h"

namespace fm::host {

class Document {
 public:
  explicit Document(std::string name = "Untitled");
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  const std::string& Name() const { return name_; }

  // Appends `object` as the last top-level object, or as the last child of `parent` (which must
  // belong to this document).
  Object& AddObject(std::unique_ptr<Object> object, Object* parent = nullptr);
  PolygonObject& AddPolygonObject(std::string name, Object* parent = nullptr);
  // Any other object type, e.g. a group (null) object.
  Object& AddGroupObject(std::string name, Object* parent = nullptr,
                         int32_t type = kNullObjectType);

  const std::vector<std::unique_ptr<Object>>& Objects() const { return roots_; }
  Object* FirstObject() const { return roots_.empty() ? nullptr : roots_.front().get(); }

  // Every object of the document, parent before children, siblings in order.
  std::vector<Object*> AllObjects() const;
  // The selected objects in that same order.
  std::vector<Object*> SelectedObjects() const;
  // Finds an object by name (the first in tree order), or null.
  Object* FindObject(const std::string& name) const;

  // Removes every object and forgets the undo history; the name stays. A host that runs many
  // scenes one after another reuses its document this way.
  void Clear();

  UndoHistory& Undo() { return undo_; }
  const UndoHistory& Undo() const { return undo_; }

 private:
  std::string name_;
  std::vector<std::unique_ptr<Object>> roots_;
  UndoHistory undo_;
};

}  // namespace fm::host
