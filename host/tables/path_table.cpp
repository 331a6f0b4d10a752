// PathTable: file-system paths held in one storage word each (see paths.h). Entries that give a
// path or string by value return the host's value classes; the compiler builds them in the
// caller's hidden result slot, and the caller owns them from then on.
#include "host/scene/path_text.h"
#include "host/tables/entry_support.h"
#include "host/tables/paths.h"
#include "host/tables/table_image.h"

namespace fm::host {
namespace {

bool Present(const void* word, const char* entry) {
  if (!word) Diagnose(std::string(entry) + ": no path storage");
  return word != nullptr;
}

// The path's text, a new string with one reference for the caller.
StringValue PathToString(void** path) { return StringValue(NewString(PathWordText(path))); }

// The path takes the string's text (a copy: the string may be edited later).
void PathAssignString(void** path, const StringValue& text) {
  if (Present(path, "PathAssignString")) SetPathWordText(path, ToUtf8(text.Get()));
}

// A new path, the directory part of `path`.
PathValue PathDirectory(void** path) { return PathValue(PathDirectoryText(PathWordText(path))); }

// A new path, the last component of `path`.
PathValue PathFilePart(void** path) { return PathValue(PathFileText(PathWordText(path))); }

bool PathEquals(void** a, void** b) { return PathTextsEqual(PathWordText(a), PathWordText(b)); }

void PathAppend(void** path, void** component) {
  if (Present(path, "PathAppend")) {
    SetPathWordText(path, PathJoinedText(PathWordText(path), PathWordText(component)));
  }
}

// Makes the storage an empty path, whatever it held (the storage may be uninitialised).
void PathInit(void** path) {
  if (Present(path, "PathInit")) InitPathWord(path);
}

// Releases the path and leaves the word null.
void PathFree(void** path) {
  if (Present(path, "PathFree")) FreePathWord(path);
}

// `destination` shares `source`'s string; a later edit of either gives that one its own.
void PathCopy(void** source, void** destination) {
  if (!Present(destination, "PathCopy") || source == destination) return;
  auto* shared = source ? static_cast<HostString*>(*source) : nullptr;
  Retain(shared);
  Release(static_cast<HostString*>(*destination));
  *destination = shared;
}

// Null text makes the empty path.
void PathAssignText(void** path, const char* text) {
  if (Present(path, "PathAssignText")) SetPathWordText(path, text ? text : "");
}

void PathStripSuffix(void** path) {
  if (Present(path, "PathStripSuffix")) {
    SetPathWordText(path, PathWithoutSuffix(PathWordText(path)));
  }
}

}  // namespace

void FillPathTable(TableImage& table) {
  using E = PathEntries;
  table.PutPlain<E::PathToString, &PathToString>();
  table.PutPlain<E::PathAssignString, &PathAssignString>();
  table.PutPlain<E::PathDirectory, &PathDirectory>();
  table.PutPlain<E::PathFilePart, &PathFilePart>();
  table.PutPlain<E::PathEquals, &PathEquals>();
  table.PutPlain<E::PathAppend, &PathAppend>();
  table.PutPlain<E::PathInit, &PathInit>();
  table.PutPlain<E::PathFree, &PathFree>();
  table.PutPlain<E::PathCopy, &PathCopy>();
  table.PutPlain<E::PathAssignText, &PathAssignText>();
  table.PutPlain<E::PathStripSuffix, &PathStripSuffix>();
}

}  // namespace fm::host
