#pragma once
// Recognising the triangle orders that triangulating tools write, so that fmhost can hand an object's
// polygons to the command in an order the command reads.
//
// The command finds its pair layout from polygon 0 alone: polygon 0 with polygon n/2 (halves) or
// with polygon 1 (adjacent). Many files pair their triangles another way: each split quad's first
// triangle stays in the quad's place, triangles that were never quads stay where they were, and the
// second triangles follow all of them in the quads' order, once per material run. Such an object
// gets no quads from the command as it stands. RecogniseTriangleOrder finds that order from the
// polygons' order and shared edges alone (never positions, which the command does not use either)
// and gives an order to hand the polygons over in: each recognised first triangle directly followed
// by its second, which the command reads as the adjacent layout. The command still makes every merge
// itself; the hand-over order is only offered when a dry run of the command's own walk over it makes
// exactly the recognised pairs and nothing else.

#include <cstdint>
#include <string>
#include <vector>

#include "host/mesh/mesh.h"
#include "host/scene/records.h"

namespace fm::host::mesh {

// Whether the command would merge `partner` into `first`: the partner is a live triangle that runs
// along an edge of the first (a->b, b->c, c->a; the first's d is not read) in the opposite direction,
// with a non-negative apex. Exactly the command's own pair test.
bool FormsTrianglePair(const PolygonRecord& first, const PolygonRecord& partner);

enum class TriangleOrder {
  kCommandReads,   // polygon 0 already pairs with n/2 or 1, and the pairs that gives are kept
  kRecognised,     // handed over in `handOver` order
  kNotRecognised,  // handed over as it is, and the command finds no layout
};

struct TriangleOrderResult {
  TriangleOrder order = TriangleOrder::kNotRecognised;
  // kRecognised only: handOver[k] is the object's polygon (file order) handed over at position k.
  std::vector<uint32_t> handOver;
  // kRecognised only: per polygon, the polygon it is recognised to pair with, or -1.
  std::vector<int64_t> partner;
  uint32_t pairs = 0;
  uint32_t runsWithPairs = 0;  // material runs in which second triangles were found
  uint32_t runs = 0;           // material runs of the object
  uint32_t secondsFrom = 0;    // first second triangle of the first run with pairs
  std::string description;     // one phrase for fmhost's summary: the order it read
};

// Per face of `object`, the material run it lies in (0 for its first run, counting up).
std::vector<uint32_t> MaterialRunIds(const MeshObject& object);

// Whether the command, reading the layout it finds in the file's order, merges every live triangle of
// the object (nothing better can be found then). One pass, without allocating.
bool CommandMergesEveryTriangle(const std::vector<PolygonRecord>& polygons);

// `polygons`: one object's polygons in file order. `runIds`: per polygon, the material run it lies
// in; a run is a stretch of consecutive polygons with one id (an id may come back later as another
// run). Linear in the number of polygons.
TriangleOrderResult RecogniseTriangleOrder(const std::vector<PolygonRecord>& polygons,
                                           const std::vector<uint32_t>& runIds);

}  // namespace fm::host::mesh
