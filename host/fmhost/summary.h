#pragma once
// The figures of one run, and their machine-readable form (--json).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/mesh/mesh.h"

namespace fm::host::fmhost {

struct ObjectSummary {
  std::string name;
  bool selected = false;
  int64_t polygonsBefore = 0;
  int64_t polygonsAfter = 0;
  int64_t quadsMade = 0;
};

struct RunSummary {
  std::string input;
  std::string output;
  int32_t commandId = 0;
  std::string commandName;
  std::vector<ObjectSummary> objects;
  double seconds = 0.0;  // the command's execute call alone
  bool undoChecked = false;
};

// Quadrangles a run made in one object: the growth in quadrangles whose first two corners differ
// (records with a == b are dead and a run may drop them). Zero when the polygons did not change.
int64_t QuadsMade(const std::vector<mesh::Polygon>& before,
                  const std::vector<mesh::Polygon>& after);

// A JSON string literal of UTF-8 text.
std::string JsonString(std::string_view text);

// One JSON object, ending in a line end.
std::string ToJson(const RunSummary& summary);

}  // namespace fm::host::fmhost
