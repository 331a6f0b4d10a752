#pragma once
// The edge search behind the pair test and the merge: where a partner triangle runs along an edge
// of the first polygon in the opposite direction.

#include <cstdint>

#include "polygonrecord.h"

namespace fm {

// The outcome of a search. `edge` is -1 when there is no pair; otherwise 0 (a->b), 1 (b->c) or
// 2 (c->a) of the first polygon. `apex` is the partner's corner off that edge and `partnerCorner`
// names which of the partner's corners it is (0 a, 1 b, 2 c).
struct SharedEdge {
  int edge;
  int32_t apex;
  int partnerCorner;
};

// The first polygon's corners a, b, c are read (its d is not), so a quadrangle may stand first.
// The partner must be a live triangle: not cleared, c == d. For each edge from->to in order, the
// first of three cases that holds decides that edge: the partner's own edge a->b, b->c or c->a
// equals to->from. A neighbour along the same direction never matches. An edge is rejected, and
// the search goes on, when the apex is negative or lies on the edge itself: such a partner has
// only two distinct corners and is no half of a quadrangle (merging it would also produce a
// record whose first two corners coincide, which the compaction then drops).
constexpr SharedEdge FindSharedEdge(const PolygonRecord& first, const PolygonRecord& partner) {
  constexpr SharedEdge kNone = {-1, 0, 0};
  if (IsCleared(partner) || !IsTriangle(partner)) return kNone;
  const int32_t corners[3] = {first.a, first.b, first.c};
  for (int k = 0; k < 3; ++k) {
    const int32_t from = corners[k];
    const int32_t to = corners[(k + 1) % 3];
    SharedEdge found = kNone;
    if (partner.b == from && partner.a == to) {
      found = {k, partner.c, 2};
    } else if (partner.c == from && partner.b == to) {
      found = {k, partner.a, 0};
    } else if (partner.a == from && partner.c == to) {
      found = {k, partner.b, 1};
    } else {
      continue;
    }
    if (found.apex >= 0 && found.apex != from && found.apex != to) return found;
  }
  return kNone;
}

}  // namespace fm
