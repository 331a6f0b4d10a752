#pragma once
// The forwarding layer: one inline function per host operation the module uses. A forward reads
// the table pointer, reads the entry and calls it with the caller's arguments, handing the result
// back unchanged: no checks, no conversion, no caching, no locks. So every forward expands at its
// call site into two loads and a call, which is what the command's per-polygon loops rely on.
//
// No forward may run before BindHostTables (ValueFree alone tolerates it). Host objects are opaque
// pointers owned by the host. A forward that gives a string or a path by value fills the caller's
// slot, overwriting whatever it held (so the slot must not hold anything the caller still owns);
// the caller then owns what it gets (release a string's reference, PathFree a path). Every slot is
// set to null before a host sees it, so a host that treats it as a live value finds an empty one.

#include <cstdint>

#include "hosttables.h"
#include "maxon/hoststring.h"

namespace fm {

// The module's API version, put in front of every registration.
constexpr int32_t kApiVersion = 21000;

inline void PathFree(PathWord* path);
inline void PathInit(PathWord* storage);
inline void PathCopy(PathWord* src, PathWord* dst);

// A result the host handed back in a temporary goes into the caller's slot: a string by copying
// its pointer and taking a reference for the slot, a path by a copy into a freshly made path. The
// temporary gives up its own share when it is destroyed, at the end of the caller's expression.
// Nothing throws across the boundary, and the forwards that hold such a temporary say so
// (noexcept): the compiler then plans no unwinding through them, so the module needs no unwinder.
inline void MoveIntoSlot(String* slot, const StringValue& temporary) noexcept {
  *slot = temporary.Get();
  maxon::StringAddReference(*slot);
}

inline void MoveIntoSlot(PathWord* slot, PathValue& temporary) noexcept {
  PathInit(slot);
  PathCopy(temporary.Word(), slot);
}

// ---- GeneralTable ---------------------------------------------------------------------------

// A host string argument reaches the host as the address of `text`, the forward's own holder.
inline void PrintLine(String text) { g_hostTables->general->PrintLine(text); }

inline void GetHostStartupDirectory(PathWord* result) noexcept {
  PathValue directory = g_hostTables->general->GetHostStartupDirectory();
  MoveIntoSlot(result, directory);
}

inline void ShowMessageBox(String text, int32_t style) {
  g_hostTables->general->ShowMessageBox(text, style);
}

inline void SetHostUiState(int32_t state) { g_hostTables->general->SetHostUiState(state); }

inline void StatusReset() { g_hostTables->general->StatusReset(); }

inline void StatusSetProgress(int32_t percent) {
  g_hostTables->general->StatusSetProgress(percent);
}

inline void StatusShowText(String text) { g_hostTables->general->StatusShowText(text); }

// Always registers under the module's own API version, whatever version the host reported.
inline bool PluginRegister(int32_t kind, int32_t id, String name, void* record, int32_t size) {
  return g_hostTables->general->PluginRegister(kApiVersion, kind, id, name, record, size);
}

inline void RequestHostUpdate(int32_t flags) { g_hostTables->general->RequestHostUpdate(flags); }

// ---- StringTable ----------------------------------------------------------------------------

// The host's holder of its shared empty string: the string is never released by the module.
inline const String* EmptyString() { return g_hostTables->string->empty; }

// The member is called on the caller's holder `*dst`, which the host may point at another string.
inline void StringInsert(String* dst, int32_t pos, String src, int32_t start, int32_t end) {
  CallMember(g_hostTables->string->StringInsert, dst, pos, src, start, end);
}

// ---- BitmapTable ----------------------------------------------------------------------------

inline void* BitmapAlloc() { return g_hostTables->bitmap->BitmapAlloc(); }

// Frees the bitmap held by `*bitmap` and nulls the variable, so it cannot be freed twice.
inline void BitmapFree(void** bitmap) {
  g_hostTables->bitmap->BitmapFree(*bitmap);
  *bitmap = nullptr;
}

inline int32_t BitmapLoadFile(void* bitmap, PathWord* path, int32_t frame, bool* flag) {
  return g_hostTables->bitmap->BitmapLoadFile(bitmap, path, frame, flag);
}

inline void BitmapSetProperty(void* bitmap, int32_t id, const TaggedValue* value) {
  g_hostTables->bitmap->BitmapSetProperty(bitmap, id, value);
}

// ---- PathTable ------------------------------------------------------------------------------

inline void PathToString(String* result, PathWord* path) noexcept {
  MoveIntoSlot(result, g_hostTables->path->PathToString(path));
}

inline void PathAssignString(PathWord* path, String text) {
  g_hostTables->path->PathAssignString(path, text);
}

inline void PathDirectory(PathWord* result, PathWord* path) noexcept {
  PathValue directory = g_hostTables->path->PathDirectory(path);
  MoveIntoSlot(result, directory);
}

inline void PathFilePart(PathWord* result, PathWord* path) noexcept {
  PathValue last = g_hostTables->path->PathFilePart(path);
  MoveIntoSlot(result, last);
}

inline bool PathEquals(PathWord* a, PathWord* b) { return g_hostTables->path->PathEquals(a, b); }

inline void PathAppend(PathWord* path, PathWord* component) {
  g_hostTables->path->PathAppend(path, component);
}

// Nulls the word before the host sees it, so the host never reads stale storage as a path.
inline void PathInit(PathWord* storage) {
  *storage = nullptr;
  g_hostTables->path->PathInit(storage);
}

// After the host's entry, drops whatever host string the word still holds and nulls it: the
// word is empty afterwards in every case.
inline void PathFree(PathWord* path) {
  g_hostTables->path->PathFree(path);
  if (*path != nullptr) {
    maxon::StringRelease(static_cast<maxon::StringObject*>(*path));
    *path = nullptr;
  }
}

inline void PathCopy(PathWord* src, PathWord* dst) { g_hostTables->path->PathCopy(src, dst); }

inline PathValue::~PathValue() { PathFree(&word_); }

inline void PathAssignText(PathWord* path, const char* text) {
  g_hostTables->path->PathAssignText(path, text);
}

inline void PathStripSuffix(PathWord* path) { g_hostTables->path->PathStripSuffix(path); }

// A new path in the raw slot `result`: `a` followed by `component`. Both inputs stay unchanged.
inline void PathJoin(PathWord* result, PathWord* a, PathWord* component) {
  PathInit(result);
  PathCopy(a, result);
  PathAppend(result, component);
}

// A new path in the raw slot `result` holding the 8-bit text `text`.
inline void PathFromText(PathWord* result, const char* text) {
  PathInit(result);
  PathAssignText(result, text);
}

// ---- ResourceTable --------------------------------------------------------------------------

inline void* ResourceLoad(PathWord* directory) {
  return g_hostTables->resource->ResourceLoad(directory);
}

inline const String* ResourceGetString(void* set, int32_t id) {
  return g_hostTables->resource->ResourceGetString(set, id);
}

inline void ResourceFree(void* set, uint8_t flag) {
  g_hostTables->resource->ResourceFree(set, flag);
}

// ---- TagTable -------------------------------------------------------------------------------

inline void* TagGetSelection(void* tag) { return g_hostTables->tag->TagGetSelection(tag); }

inline void* TagGetDataHandle(void* tag) { return g_hostTables->tag->TagGetDataHandle(tag); }

inline void UvwGet(void* handle, int32_t index, UvwRecord* out) {
  g_hostTables->tag->UvwGet(handle, index, out);
}

inline void UvwSet(void* handle, int32_t index, const UvwRecord* record) {
  g_hostTables->tag->UvwSet(handle, index, record);
}

// ---- ObjectTable ----------------------------------------------------------------------------

inline void* ObjectFirstTag(void* object) { return g_hostTables->object->ObjectFirstTag(object); }

inline void* ObjectFindTag(void* object, int32_t type, int32_t index) {
  return g_hostTables->object->ObjectFindTag(object, type, index);
}

inline void* ObjectTagDataWritable(void* object, int32_t type, int32_t zero) {
  return g_hostTables->object->ObjectTagDataWritable(object, type, zero);
}

inline int32_t ObjectTagDataCount(void* object, int32_t type) {
  return g_hostTables->object->ObjectTagDataCount(object, type);
}

inline void* ObjectPolygonSelection(void* object) {
  return g_hostTables->object->ObjectPolygonSelection(object);
}

inline bool ObjectResize(void* object, int32_t points, int32_t polygons) {
  return g_hostTables->object->ObjectResize(object, points, polygons);
}

// ---- DocumentTable --------------------------------------------------------------------------

inline void UndoStart(void* document) { g_hostTables->document->UndoStart(document); }

inline void UndoEnd(void* document) { g_hostTables->document->UndoEnd(document); }

inline void CollectSelectedObjects(void* document, void* array, int32_t flags) {
  CallMember(g_hostTables->document->CollectSelectedObjects, document, array, flags);
}

inline void UndoAdd(void* document, int32_t kind, void* node, void* zero) {
  g_hostTables->document->UndoAdd(document, kind, node, zero);
}

// ---- SelectionTable -------------------------------------------------------------------------

inline int32_t SelectionCount(void* selection) {
  return g_hostTables->selection->SelectionCount(selection);
}

inline void SelectionSelect(void* selection, int32_t index) {
  g_hostTables->selection->SelectionSelect(selection, index);
}

inline void SelectionDeselect(void* selection, int32_t index) {
  g_hostTables->selection->SelectionDeselect(selection, index);
}

inline bool SelectionIsSelected(void* selection, int32_t index) {
  return g_hostTables->selection->SelectionIsSelected(selection, index);
}

// ---- ValueTable -----------------------------------------------------------------------------

// The one forward that may run unbound: without tables it does nothing.
inline void ValueFree(TaggedValue* value) {
  if (g_hostTables == nullptr || g_hostTables->value == nullptr) return;
  g_hostTables->value->ValueFree(value);
}

// ---- NodeTable ------------------------------------------------------------------------------

inline int32_t NodeGetType(void* node) {
  return CallMember(g_hostTables->node->NodeGetType, node);
}

inline void NodeMessage(void* node, int32_t id, void* data) {
  CallMember(g_hostTables->node->NodeMessage, node, id, data);
}

inline void* NodeNext(void* node) { return CallMember(g_hostTables->node->NodeNext, node); }

inline void* NodeDown(void* node) { return CallMember(g_hostTables->node->NodeDown, node); }

inline void NodeGetName(void* node, String* result) noexcept {
#ifdef _WIN32
  *result = nullptr;
  (void)g_hostTables->node->NodeGetName(node, result);
#else
  MoveIntoSlot(result, CallMember(g_hostTables->node->NodeGetName, node));
#endif
}

inline void* NodeArrayAlloc() { return g_hostTables->node->NodeArrayAlloc(); }

// Hands the host the address of the caller's variable; the host frees the array and nulls it.
inline void NodeArrayFree(void** array) { g_hostTables->node->NodeArrayFree(array); }

inline int32_t NodeArrayCount(void* array) {
  return CallMember(g_hostTables->node->NodeArrayCount, array);
}

inline void* NodeArrayGet(void* array, int32_t index) {
  return CallMember(g_hostTables->node->NodeArrayGet, array, index);
}

}  // namespace fm
