#pragma once
// The figures of one run, and their machine-readable form (--json).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>


namespace fm::host::fmhost {

struct ObjectSummary {
  std::string name;
  bool selected = false;
  int64_t polygonsBefore = 0;
  int64_t polygonsAfter = 0;
  int64_t quadsMade = 0;
  // Why the object was not handed to the command but written as it is; empty when it was.
  std::string leftAsIs;
  // How the command's probes on polygon 0 read the object's pairs: "halves", "adjacent" or
  // "none"; empty for an object the command did not walk.
  std::string layout;
  int64_t half = 0;                // the polygon count halved, where the layout was read
  int64_t polygon0PairsWith = -1;  // with layout "none": the polygon polygon 0 pairs with, or -1
  int64_t mergedQuads = 0;         // quadrangles fmhost found merged in the written faces
  int64_t foldedQuads = 0;         // of those, the ones folded more than 60 degrees
  // Where the object's face order is recognisably one the command does not read, what it is.
  std::string orderHint;
  // For an object the command walked, the order fmhost read its triangles in ("the file's order:
  // ...", or the recognised order it was handed over in instead).
  std::string order;
  bool reordered = false;  // handed over in the recognised order rather than the file's
};

struct RunSummary {
  std::string input;
  std::string output;
  int32_t commandId = 0;
  std::string commandName;
  std::vector<ObjectSummary> objects;
  double seconds = 0.0;  // the command's execute call alone
  double readSeconds = 0.0;   // reading the mesh file
  double writeSeconds = 0.0;  // writing the result
  bool undoChecked = false;
  // Merged faces written without texture coordinates or normals, since only some of their corners
  // carried them.
  int64_t mergedWithoutTexcoords = 0;
  int64_t mergedWithoutNormals = 0;
};

// The quadrangles the command reported for each of the objects it walked, named in walk order, read
// from its console lines ("NAME: COUNT ..."), which come in that same order. An object without such
// a line counts 0: the command reports every polygon object it processes, and none when it has
// nothing to do.
std::vector<int64_t> ReportedQuads(const std::vector<std::string>& consoleLines,
                                   const std::vector<std::string>& walkedNames);

// A JSON string literal of `text`. Bytes that are not part of well-formed UTF-8 become U+FFFD (the
// replacement character), so the result is valid JSON whatever the text holds.
std::string JsonString(std::string_view text);

// fmhost's own lines about the run, for the console: per object the layout the command read (or
// what polygon 0 paired with instead), strongly folded merges and hints on the face order; objects
// left as they are; attributes merged faces lost.
std::vector<std::string> ReportLines(const RunSummary& summary);

// One JSON object, ending in a line end.
std::string ToJson(const RunSummary& summary);

// What --json prints instead of the summary when a run fails: {"error": MESSAGE, "exitCode": N}
// on one line.
std::string FailureJson(std::string_view message, int exitCode);

}  // namespace fm::host::fmhost
