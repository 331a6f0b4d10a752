// TagTable: the selection of a selection tag and the per-polygon records of a UVW tag.
#include "host/scene/tags.h"
#include "host/tables/entry_support.h"
#include "host/tables/table_image.h"

namespace fm::host {
namespace {

Tag* AsTag(void* node, const char* entry) {
  auto* n = static_cast<Node*>(node);
  if (!n || n->Kind() != NodeKind::Tag) {
    Diagnose(std::string(entry) + ": " + (n ? "an object" : "a null node") + " given for a tag");
    return nullptr;
  }
  return static_cast<Tag*>(n);
}

// The tag's own selection (lives as long as the tag); null for a tag without one.
void* TagGetSelection(void* tag) {
  Tag* t = AsTag(tag, "TagGetSelection");
  if (!t) return nullptr;
  auto* selection = dynamic_cast<SelectionTag*>(t);
  if (!selection)
    Diagnose("TagGetSelection: tag type " + std::to_string(t->Type()) + " has no selection");
  return selection ? &selection->Elements() : nullptr;
}

// The handle UvwGet and UvwSet take: the tag's record store (lives as long as the tag); null for a
// tag without per-element records.
void* TagGetDataHandle(void* tag) {
  Tag* t = AsTag(tag, "TagGetDataHandle");
  if (!t) return nullptr;
  if (t->Type() == kUvwTagType && CurrentEnvironment().Faults().nullUvwHandle) return nullptr;
  auto* data = dynamic_cast<VariableTag*>(t);
  if (!data)
    Diagnose("TagGetDataHandle: tag type " + std::to_string(t->Type()) + " has no records");
  return data;
}

// Kept out of line so that the entries themselves stay small enough to sit inside their callers:
// they are called several million times in one command.
__attribute__((noinline, cold)) void NoUvwRecord(const char* entry, const VariableTag& data,
                                                  int32_t index) {
  Diagnose(std::string(entry) + ": no UVW record " + std::to_string(index) + " (the tag holds " +
           std::to_string(data.Count()) + ")");
}

// The record of one polygon. Called once or twice per polygon, so the handle is trusted as
// TagGetDataHandle made it; an index outside the records reads zeros (diagnosed).
void UvwGet(void* handle, int32_t index, UvwRecord* out) {
  auto* data = static_cast<VariableTag*>(handle);
  if (!data || !out) return DiagnoseNull("UvwGet", "handle or record");
  if (data->RecordSize() != sizeof(UvwRecord) || !data->Read(index, out)) {
    *out = UvwRecord{};
    NoUvwRecord("UvwGet", *data, index);
  }
}

// An index outside the records changes nothing (diagnosed).
void UvwSet(void* handle, int32_t index, const UvwRecord* in) {
  auto* data = static_cast<VariableTag*>(handle);
  if (!data || !in) return DiagnoseNull("UvwSet", "handle or record");
  if (data->RecordSize() != sizeof(UvwRecord) || !data->Write(index, in)) {
    NoUvwRecord("UvwSet", *data, index);
  }
}

}  // namespace

void FillTagTable(TableImage& table) {
  using E = TagEntries;
  table.PutPlain<E::TagGetSelection, &TagGetSelection>();
  table.PutPlain<E::TagGetDataHandle, &TagGetDataHandle>();
  table.PutPlain<E::UvwGet, &UvwGet>();
  table.PutPlain<E::UvwSet, &UvwSet>();
}

}  // namespace fm::host
