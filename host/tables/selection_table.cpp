// SelectionTable: one bit per element index. These run once or more per polygon, so the
// selection pointer is trusted as the host handed it out; only null is caught.
#include "host/scene/selection.h"
#include "host/tables/entry_support.h"
#include "host/tables/table_image.h"

namespace fm::host {
namespace {

Selection* AsSelection(void* selection, const char* entry) {
  if (!selection) DiagnoseNull(entry, "selection");
  return static_cast<Selection*>(selection);
}

int32_t SelectionCount(void* selection) {
  Selection* s = AsSelection(selection, "SelectionCount");
  return s ? s->Count() : 0;
}

// Selecting beyond the stored range grows it. A negative index changes nothing (diagnosed).
void SelectionSelect(void* selection, int32_t index) {
  Selection* s = AsSelection(selection, "SelectionSelect");
  if (s && !s->Select(index)) Diagnose("SelectionSelect: negative index " + std::to_string(index));
}

void SelectionDeselect(void* selection, int32_t index) {
  Selection* s = AsSelection(selection, "SelectionDeselect");
  if (s && !s->Deselect(index)) {
    Diagnose("SelectionDeselect: negative index " + std::to_string(index));
  }
}

// Beyond the stored range, and for negative indices: not selected.
bool SelectionIsSelected(void* selection, int32_t index) {
  Selection* s = AsSelection(selection, "SelectionIsSelected");
  return s && s->IsSelected(index);
}

}  // namespace

void FillSelectionTable(TableImage& table) {
  using E = SelectionEntries;
  table.PutPlain<E::SelectionCount, &SelectionCount>();
  table.PutPlain<E::SelectionSelect, &SelectionSelect>();
  table.PutPlain<E::SelectionDeselect, &SelectionDeselect>();
  table.PutPlain<E::SelectionIsSelected, &SelectionIsSelected>();
}

}  // namespace fm::host
