// The untriangulation command: the run over the selected objects, the work on one polygon object,
// the command's availability and its registration. The host sees the order of every call here
// (undo, status bar, console), so the order is deliberate throughout.

#include "facetmender.h"

#include <cstring>
#include <new>

#include "commandrecord.h"
#include "compactionplan.h"
#include "forwards.h"
#include "iconbitmap.h"
#include "maxon/hoststring.h"
#include "maxon/system.h"
#include "maxon/translationunit.h"
#include "mergetrianglepair.h"
#include "messagebox.h"
#include "pairlayout.h"
#include "polygonrecord.h"
#include "progress.h"
#include "reporttext.h"
#include "resource.h"
#include "uvwrecord.h"

FW_PLUGIN_TRANSLATION_UNIT()

namespace fm {

namespace {

constexpr const char* kRule = "---------------------------------------";
constexpr const char* kBanner = "Facetmender 1.01.0";
constexpr int32_t kUiRunning = 3;
constexpr int32_t kUiIdle = 2;

// ---- console and status texts ----------------------------------------------------------------

// Prints `text` and drops the caller's reference. A string the host could not make is skipped.
void PrintOwned(String text) {
  if (text != nullptr) PrintLine(text);
  maxon::StringRelease(text);
}

void PrintLiteral(const char* text) { PrintOwned(maxon::StringFromCString(text)); }

// `text` followed by `tail`; drops the caller's references to both.
String ThenOwned(String text, String tail) {
  String result = AppendString(text, tail);
  maxon::StringRelease(text);
  maxon::StringRelease(tail);
  return result;
}

// `text` followed by `tail`; drops the caller's reference to `text` only.
String Then(String text, String tail) {
  String result = AppendString(text, tail);
  maxon::StringRelease(text);
  return result;
}

String Then(String text, const char* tail) {
  String result = AppendLiteral(text, tail);
  maxon::StringRelease(text);
  return result;
}

// ---- polygon selections ----------------------------------------------------------------------

// Moves the bit of polygon `from` to polygon `to`. Deselecting first keeps the bit of a polygon
// that stays where it is.
inline void MoveSelectionBit(void* selection, int32_t from, int32_t to) {
  if (selection == nullptr || !SelectionIsSelected(selection, from)) return;
  SelectionDeselect(selection, from);
  SelectionSelect(selection, to);
}

// Clears the bit of polygon `index`.
inline void ClearSelectionBit(void* selection, int32_t index) {
  if (selection == nullptr || !SelectionIsSelected(selection, index)) return;
  SelectionDeselect(selection, index);
}

// The bit of polygon `from` goes to `to`, or is cleared when `to` is -1.
inline void RemapSelectionBit(void* selection, int32_t from, int32_t to) {
  if (to >= 0) {
    MoveSelectionBit(selection, from, to);
  } else {
    ClearSelectionBit(selection, from);
  }
}

// The same move in the object's selection and in every polygon-selection tag from `firstTag` on.
inline void RemapAllSelections(void* objectSelection, void* firstTag, int32_t from, int32_t to) {
  RemapSelectionBit(objectSelection, from, to);
  for (void* tag = firstTag; tag != nullptr; tag = NodeNext(tag)) {
    if (NodeGetType(tag) != kPolygonSelectionTag) continue;
    RemapSelectionBit(TagGetSelection(tag), from, to);
  }
}

// The two polygon indices of a selection of exactly two, in increasing order; false otherwise.
bool FindSelectedPair(void* selection, int32_t n, int32_t (&pair)[2]) {
  if (selection == nullptr || SelectionCount(selection) != 2) return false;
  int found = 0;
  for (int32_t i = 0; i < n && found < 2; ++i) {
    if (SelectionIsSelected(selection, i)) pair[found++] = i;
  }
  return found == 2;
}

// ---- working storage of one object -----------------------------------------------------------

// One block from the framework's heap: the copy of the polygon array the compaction reads from,
// then one link per polygon (see PlanCompaction).
struct Scratch {
  PolygonRecord* copy;
  int32_t* link;
};

bool AllocScratch(int32_t n, Scratch& scratch) {
  const int64_t bytes = static_cast<int64_t>(n) * (sizeof(PolygonRecord) + sizeof(int32_t));
  void* block = FW_ALLOC_CLEAR(bytes);
  if (block == nullptr) return false;
  scratch.copy = static_cast<PolygonRecord*>(block);
  scratch.link = reinterpret_cast<int32_t*>(scratch.copy + n);
  for (int32_t i = 0; i < n; ++i) scratch.link[i] = -1;
  return true;
}

void FreeScratch(Scratch& scratch) {
  maxon::FreeWithDestructorI(scratch.copy, &maxon::DestroyNothing);
  scratch = {};
}

// A text of the string table that is safe to hand to the host: a table without the id may give
// null, which stands for the empty text.
String ResourceText(int32_t id) {
  String text = LoadResourceString(id);
  return text != nullptr ? text : *EmptyString();
}

}  // namespace

// ---- one polygon object ----------------------------------------------------------------------

int32_t UntriangulateObject(void* document, void* object, int32_t total) {
  auto* polygons = static_cast<PolygonRecord*>(ObjectTagDataWritable(object, kPolygonData, 0));
  const int32_t points = ObjectTagDataCount(object, kPointData);
  int32_t n = ObjectTagDataCount(object, kPolygonData);
  void* selection = ObjectPolygonSelection(object);
  // Polygons without an array to reach them cannot be merged; neither can a negative count.
  if (polygons == nullptr || n < 0) n = 0;
  const int32_t half = n >> 1;
  if (total == 0 || n < 1) return half;

  int32_t hint[2] = {};
  const bool hinted = FindSelectedPair(selection, n, hint);
  const PairLayout layout = DetectPairLayout(polygons, n, hinted ? hint : nullptr);
  if (layout == PairLayout::None) return 0;

  // Taken before anything changes: without it the cleared partners could not be squeezed out,
  // so the object must stay untouched.
  Scratch scratch = {};
  if (!AllocScratch(n, scratch)) return 0;

  UvwRecord firstUvw = {};
  UvwRecord partnerUvw = {};
  void* uvwTag = ObjectFindTag(object, kUvwTag, 0);
  void* uvw = uvwTag != nullptr ? TagGetDataHandle(uvwTag) : nullptr;

  UndoAdd(document, kUndoChange, object, nullptr);

  // Merge phase. A candidate must be a live triangle at its turn, so in the Adjacent walk a
  // triangle absorbed by its predecessor is passed over.
  int32_t merges = 0;
  const int32_t candidates = layout == PairLayout::Adjacent ? n - 1 : half;
  for (int32_t i = 0; i < candidates; ++i) {
    const PolygonRecord& candidate = polygons[i];
    if (!IsTriangle(candidate) || IsDead(candidate)) continue;
    const int32_t j = PartnerOf(layout, i, half);
    if (uvw != nullptr) {
      UvwGet(uvw, i, &firstUvw);
      UvwGet(uvw, j, &partnerUvw);
    }
    if (!MergeTrianglePair(polygons, &firstUvw, &partnerUvw, i, j)) continue;
    if (uvw != nullptr) UvwSet(uvw, i, &firstUvw);
    scratch.link[j] = i;
    ++merges;
  }

  // Compaction. Every write goes to an index at or below the one being read, so each source is
  // read before it can be overwritten.
  void* firstTag = ObjectFirstTag(object);
  std::memcpy(static_cast<void*>(scratch.copy), polygons, static_cast<size_t>(n) * sizeof(PolygonRecord));
  PlanCompaction(scratch.copy, scratch.link, n);
  int32_t w = 0;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t target = scratch.link[i];
    if (IsDead(scratch.copy[i])) {
      // A dropped record's bit must not stay behind for whichever polygon lands on its index.
      RemapAllSelections(selection, firstTag, i, target);
      continue;
    }
    polygons[w] = scratch.copy[i];
    if (uvw != nullptr) {
      UvwGet(uvw, i, &firstUvw);
      UvwSet(uvw, w, &firstUvw);
    }
    RemapAllSelections(selection, firstTag, i, w);
    ++w;
  }
  FreeScratch(scratch);

  if (!ObjectResize(object, points, w)) return 0;
  NodeMessage(object, kMessageGeometryChanged, nullptr);
  return merges;
}

// ---- the walk --------------------------------------------------------------------------------

void WalkHierarchy(void* document, void* object, int32_t total, int32_t& merged) {
  if (NodeGetType(object) == kPolygonObject) {
    if (total <= 0) {
      merged += UntriangulateObject(document, object, 0);
    } else {
      String name = nullptr;
      NodeGetName(object, &name);
      String status = AppendString(LoadResourceString(kTextProcessing), name);
      if (status != nullptr) StatusShowText(status);
      maxon::StringRelease(status);

      const int32_t k = UntriangulateObject(document, object, total);

      PrintOwned(Then(ThenOwned(AppendLiteral(name, ": "), DecimalText(k)), " Quadrangles"));
      maxon::StringRelease(name);
      merged += k;
      StatusSetProgress(ProgressPercent(merged, total));
    }
  }
  for (void* child = NodeDown(object); child != nullptr; child = NodeNext(child)) {
    WalkHierarchy(document, child, total, merged);
  }
}

// ---- the command's operations ----------------------------------------------------------------

VadovEzedoduvedivo::~VadovEzedoduvedivo() = default;

bool VadovEzedoduvedivo::Execute(void* document, void*) {
  void* list = NodeArrayAlloc();
  if (list == nullptr) return false;
  CollectSelectedObjects(document, list, 0);

  PrintLiteral(kRule);
  PrintLiteral(kBanner);
  PrintLiteral(kRule);
  SetHostUiState(kUiRunning);
  UndoStart(document);

  const int32_t count = NodeArrayCount(list);
  int32_t merged = 0;
  for (int32_t i = 0; i < count; ++i) {
    void* node = NodeArrayGet(list, i);
    if (node != nullptr) WalkHierarchy(document, node, 0, merged);
  }
  const int32_t total = merged;
  merged = 0;

  if (total < 1) {
    PrintLine(ResourceText(kTextNothingToDo));
    ShowMessageBoxById(kTextNothingToDo);
  } else {
    StatusSetProgress(0);
    // Twice a 32-bit total needs 64 bits.
    String polygons = DecimalText(2 * static_cast<int64_t>(total));
    PrintOwned(Then(AppendString(LoadResourceString(kTextProcessing), polygons), " Polygons"));
    maxon::StringRelease(polygons);
    PrintLiteral(" ");
    for (int32_t i = 0; i < count; ++i) {
      void* node = NodeArrayGet(list, i);
      if (node != nullptr) WalkHierarchy(document, node, total, merged);
    }
  }

  StatusReset();
  UndoEnd(document);
  SetHostUiState(kUiIdle);
  RequestHostUpdate(0);

  if (total >= 1) {
    PrintLiteral(" ");
    PrintOwned(Then(DecimalText(merged), LoadResourceString(kTextMergedTotal)));
  }
  PrintLiteral(kRule);
  NodeArrayFree(&list);
  return true;
}

int32_t VadovEzedoduvedivo::GetState(void* document, void*) {
  int32_t state = 0;
  void* list = NodeArrayAlloc();
  if (list != nullptr) {
    CollectSelectedObjects(document, list, 0);
    if (NodeArrayCount(list) != 0) state = kEnabled;
  }
  NodeArrayFree(&list);
  return state;
}

// ---- registration ----------------------------------------------------------------------------

bool RegisterUntriangulateCommand() {
  VadovEzedoduvedivo* command = nullptr;
  if (void* memory = FW_ALLOC_CLEAR(sizeof(VadovEzedoduvedivo))) {
    command = new (memory) VadovEzedoduvedivo();
  }
  String help = maxon::StringFromCString(kBanner);
  String iconName = maxon::StringFromCString("icon.tif");
  void* icon = iconName != nullptr ? LoadIconBitmap(iconName, 1.0) : nullptr;
  maxon::StringRelease(iconName);
  String name = LoadResourceString(kTextCommandName);

  bool registered = false;
  if (command != nullptr) {
    CommandRegistrationRecord record;
    // The record points at `help`, the holder of the help text, which outlives the call.
    FillCommandRecord(&record, command, &help, icon);
    registered = PluginRegister(kCommandKind, kCommandId, name, &record,
                                static_cast<int32_t>(sizeof(record)));
  }

  // The object is the host's from the registration call on, even when it refuses: a host may keep
  // or release a refused object, so freeing it here could free it twice. Left unowned, it costs
  // eight bytes.
  if (icon != nullptr) BitmapFree(&icon);
  maxon::StringRelease(help);
  return registered;
}

}  // namespace fm
