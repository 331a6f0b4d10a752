#pragma once
// What fmhost can tell a user about why an object got the quadrangles it got.
//
// The command finds an object's pair layout by trying polygon 0 against polygon `half` (the
// polygon count halved) and then against polygon 1, comparing point indices only: the first pair
// that is two consistently oriented triangles sharing an edge decides. ReadPairLayout asks the same
// question of the polygons as fmhost hands them over (fmhost selects no polygons, so the command's
// selection hint never applies), and when neither probe holds, which polygon polygon 0 does pair
// with, if any. FoldedQuads looks at the merges afterwards with the file's vertex positions, which
// the command never does: a quadrangle whose two triangles face far apart was most likely not a
// quadrangle before the file was triangulated.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/mesh/face_trace.h"
#include "host/mesh/mesh.h"
#include "host/scene/records.h"

namespace fm::host::fmhost {

enum class PairLayout { kNone, kAdjacent, kHalves };

struct PairReading {
  PairLayout layout = PairLayout::kNone;
  int64_t half = 0;  // the polygon count halved, rounded down
  // With no layout: the first polygon after polygon 0 that it pairs with, or -1 for none.
  int64_t polygon0PairsWith = -1;
};

// The command's pair test: `partner` is a live triangle running along one of `first`'s edges a->b,
// b->c, c->a in the opposite direction, with its third corner a valid point.
bool IsTrianglePair(const PolygonRecord& first, const PolygonRecord& partner);

PairReading ReadPairLayout(const std::vector<PolygonRecord>& polygons);

// Merges whose two triangles' normals are more than this far apart count as folded.
constexpr double kFoldedDegrees = 60.0;

struct FoldCount {
  int64_t merged = 0;  // rewritten faces made of two of the file's faces
  int64_t folded = 0;  // of those, the ones folded more than kFoldedDegrees
};

// Objects with at least this many rewritten faces have them counted in two halves side by side.
constexpr size_t kCountFoldsInHalvesFrom = size_t{1} << 16;

// The merges made in `object`, by `trace` (whose rewritten faces are ascending), from `next` on;
// `next` is left at the first rewritten face beyond the object, so that objects taken in file
// order cost one pass over the trace.
FoldCount CountFolds(const mesh::MeshFile& file, const mesh::MeshObject& object,
                     const mesh::FaceTrace& trace, size_t& next,
                     size_t halvesFrom = kCountFoldsInHalvesFrom);

}  // namespace fm::host::fmhost
