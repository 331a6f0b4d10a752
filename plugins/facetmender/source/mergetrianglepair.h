#pragma once
// Turns a triangle pair back into the quadrangle it came from.

#include <cassert>
#include <cstdint>

#include "polygonrecord.h"
#include "sharededge.h"
#include "uvwrecord.h"

namespace fm {

// On a match at edge k of the first polygon, the first polygon becomes the quadrangle the search
// made (the apex p between the edge's two corners; see InsertApex). The first UVW record is
// rearranged the same way, the partner's UVW vector of the apex corner taking p's place, so every
// UVW vector stays with its point; it is left alone when `firstUvw` is null (then `partnerUvw` is
// not read either). The partner is cleared to (0, 0, 0, 0). Without a match nothing changes and
// the answer is false.
// `first` and `partner` must be valid, distinct indices; they are not checked.
inline bool MergeTrianglePair(PolygonRecord* polygons, UvwRecord* firstUvw,
                              const UvwRecord* partnerUvw, int32_t first, int32_t partner) {
  PolygonRecord& p = polygons[first];
  PolygonRecord& q = polygons[partner];
  const SharedEdge shared = FindSharedEdge(p, q);
  if (shared.edge < 0) return false;

  p = shared.quad;

  if (firstUvw != nullptr) {
    assert(partnerUvw != nullptr && "a first UVW record needs the partner's");
    const UvwVector& apex = shared.partnerCorner == 0   ? partnerUvw->a
                            : shared.partnerCorner == 1 ? partnerUvw->b
                                                        : partnerUvw->c;
    const UvwRecord u = *firstUvw;
    switch (shared.edge) {
      case 0: *firstUvw = {u.a, apex, u.b, u.c}; break;
      case 1: *firstUvw = {u.a, u.b, apex, u.c}; break;
      default: *firstUvw = {u.a, u.b, u.c, apex}; break;
    }
  }

  q = {0, 0, 0, 0};
  return true;
}

}  // namespace fm
