// DocumentTable: undo groups and steps, and the document's selected objects.
#include "host/tables/entry_support.h"
#include "host/tables/table_image.h"

namespace fm::host {
namespace {

Document* AsDocument(void* document, const char* entry) {
  if (!CurrentEnvironment().OwnsDocument(document)) {
    Diagnose(std::string(entry) + ": not a document of this host");
    return nullptr;
  }
  return static_cast<Document*>(document);
}

// Costs the object's depth, not the document's size: a command that captures every one of many
// objects stays linear.
bool BelongsTo(const Object& object, const Document& document) {
  const Object* root = &object;
  while (root->Parent()) root = root->Parent();
  return root->TopLevelOf() == &document;
}

void Record(UiEventKind kind, const void* subject, int32_t value = 0, std::string text = {}) {
  CurrentEnvironment().Ui().Record(UiEvent{kind, std::move(text), value, subject});
}

// Opens an undo group; groups nest, and only the outermost pair makes a group.
void UndoStart(void* document) {
  Document* doc = AsDocument(document, "UndoStart");
  if (!doc) return;
  Record(UiEventKind::UndoStart, doc);
  doc->Undo().Start();
}

void UndoEnd(void* document) {
  Document* doc = AsDocument(document, "UndoEnd");
  if (!doc) return;
  Record(UiEventKind::UndoEnd, doc);
  if (!doc->Undo().End()) Diagnose("UndoEnd: no undo group is open");
}

// Fills `array` (replacing what it held) with the selected objects, parent before children and
// siblings in order. Flags other than 0 are not offered and read as 0 (diagnosed).
void CollectSelectedObjects(void* document, void* array, int32_t flags) {
  Document* doc = AsDocument(document, "CollectSelectedObjects");
  NodeArray* list = CurrentEnvironment().FindNodeArray(array);
  if (!list) Diagnose("CollectSelectedObjects: not a node array of this host");
  if (!doc || !list) return;
  if (flags != 0) Diagnose("CollectSelectedObjects: flags " + std::to_string(flags) + " read as 0");
  list->Nodes().clear();
  for (Object* object : doc->SelectedObjects()) list->Nodes().push_back(object);
}

// Kind 40 captures the object before it changes, into the open group (or, with none open, into a
// group of its own so the change can still be undone). `extra` is not used by kind 40.
void UndoAdd(void* document, int32_t kind, void* node, void* /*extra*/) {
  Document* doc = AsDocument(document, "UndoAdd");
  Object* object = AsObject(node, "UndoAdd");
  Record(UiEventKind::UndoAdd, node, kind, object ? object->Name() : std::string());
  if (!doc || !object) return;
  if (!BelongsTo(*object, *doc)) {
    return Diagnose("UndoAdd: \"" + object->Name() + "\" is not in this document");
  }
  switch (doc->Undo().Add(kind, *object)) {
    case UndoHistory::AddResult::Added:
      break;
    case UndoHistory::AddResult::AddedAsOwnGroup:
      Diagnose("UndoAdd: no undo group is open; \"" + object->Name() + "\" got a group of its own");
      break;
    case UndoHistory::AddResult::UnknownKind:
      Diagnose("UndoAdd: undo kind " + std::to_string(kind) + " is not offered");
      break;
  }
}

}  // namespace

void FillDocumentTable(TableImage& table) {
  using E = DocumentEntries;
  table.PutPlain<E::UndoStart, &UndoStart>();
  table.PutPlain<E::UndoEnd, &UndoEnd>();
  table.PutMember<E::CollectSelectedObjects, &CollectSelectedObjects>();
  table.PutPlain<E::UndoAdd, &UndoAdd>();
}

}  // namespace fm::host
