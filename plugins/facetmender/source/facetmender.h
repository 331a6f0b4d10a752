#pragma once
// The untriangulation command: its class, its run, its registration.

#include <cstdint>

#include "commanddata.h"
#include "hosttables.h"

namespace fm {

// Plug-in id and kind of the command.
constexpr int32_t kCommandId = 1050896;
constexpr int32_t kCommandKind = 4;

// String-table ids.
constexpr int32_t kTextCommandName = 10000;
constexpr int32_t kTextProcessing = 10001;  // before a number, and before an object name
constexpr int32_t kTextMergedTotal = 10002;  // after a number
constexpr int32_t kTextNothingToDo = 10003;

// Host identifiers.
constexpr int32_t kPolygonObject = 5100;
constexpr int32_t kPointData = 5600;
constexpr int32_t kPolygonData = 5604;
constexpr int32_t kUvwTag = 5671;
constexpr int32_t kPolygonSelectionTag = 5673;
constexpr int32_t kUndoChange = 40;
constexpr int32_t kMessageGeometryChanged = 5;

// The command. It holds no state: an instance is its virtual-table pointer.
class VadovEzedoduvedivo : public CommandData {
 public:
  ~VadovEzedoduvedivo() override;
  // Untriangulates every polygon object among the document's selected objects and their
  // descendants in one undo group, with progress and a console report. False only when the
  // object list cannot be made.
  bool Execute(void* document, void* parentWindow) override;
  // Enabled while the document has a selected object of any type.
  int32_t GetState(void* document, void* parentWindow) override;
};

// Counting pass (`total` 0): the most merges the object could give, n >> 1, changing nothing.
// Processing pass (`total` non-zero): merges the object's triangle pairs into quadrangles,
// compacts its polygons with their UVW coordinates and selections, resizes it and tells the host;
// the number of merges, or 0 when nothing was done (no layout, no memory, resize refused).
int32_t UntriangulateObject(void* document, void* object, int32_t total);

// `object` and all its descendants, depth-first, parent first. `total` 0 counts into `merged`;
// otherwise processes and reports every polygon object, adding its merges to `merged` and showing
// the progress relative to `total`.
void WalkHierarchy(void* document, void* object, int32_t total, int32_t& merged);

// Creates the command object and registers it with its name, icon and help text. The host's
// answer; false without asking the host when the object cannot be made.
bool RegisterUntriangulateCommand();

}  // namespace fm
