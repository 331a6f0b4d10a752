#pragma once
// The edge search behind the pair test and the merge: where a partner triangle runs along an edge
// of the first polygon in the opposite direction, and the quadrangle a merge there makes.

#include <cstdint>

#include "polygonrecord.h"

namespace fm {

// The outcome of a search. `edge` is -1 when there is no pair; otherwise 0 (a->b), 1 (b->c) or
// 2 (c->a) of the first polygon. `apex` is the partner's corner off that edge, `partnerCorner`
// names which of the partner's corners it is (0 a, 1 b, 2 c), and `quad` is the record the first
// polygon becomes.
struct SharedEdge {
  int edge;
  int32_t apex;
  int partnerCorner;
  PolygonRecord quad;
};

// The first polygon with `apex` put between the corners of edge k, so the quadrangle keeps the
// first triangle's winding: k 0 gives (a, p, b, c), k 1 (a, b, p, c), k 2 (a, b, c, p).
constexpr PolygonRecord InsertApex(const PolygonRecord& first, int edge, int32_t apex) {
  switch (edge) {
    case 0: return {first.a, apex, first.b, first.c};
    case 1: return {first.a, first.b, apex, first.c};
    default: return {first.a, first.b, first.c, apex};
  }
}

// The first polygon's corners a, b, c are read (its d is not), so a quadrangle may stand first.
// The partner must be a live triangle: not cleared, c == d. For each edge from->to in order, the
// first of three cases that holds decides that edge: the partner's own edge a->b, b->c or c->a
// equals to->from. A neighbour along the same direction never matches.
// A matching edge is passed over, and the search goes on, when the apex is negative or when the
// merge would not make a live quadrangle: a record with a == b is dropped by the compaction (the
// first triangle would be lost), and one with c == d is still a triangle (a quadrangle would be
// counted where none was made). Any other match stands, so a quadrangle that repeats a corner,
// such as (0, 1, 2, 0), comes back like any other.
constexpr SharedEdge FindSharedEdge(const PolygonRecord& first, const PolygonRecord& partner) {
  constexpr SharedEdge kNone = {-1, 0, 0, {0, 0, 0, 0}};
  if (IsCleared(partner) || !IsTriangle(partner)) return kNone;
  const int32_t corners[3] = {first.a, first.b, first.c};
  for (int k = 0; k < 3; ++k) {
    const int32_t from = corners[k];
    const int32_t to = corners[(k + 1) % 3];
    int32_t apex = 0;
    int partnerCorner = 0;
    if (partner.b == from && partner.a == to) {
      apex = partner.c;
      partnerCorner = 2;
    } else if (partner.c == from && partner.b == to) {
      apex = partner.a;
      partnerCorner = 0;
    } else if (partner.a == from && partner.c == to) {
      apex = partner.b;
      partnerCorner = 1;
    } else {
      continue;
    }
    if (apex < 0) continue;
    const PolygonRecord quad = InsertApex(first, k, apex);
    if (IsDead(quad) || IsTriangle(quad)) continue;
    return {k, apex, partnerCorner, quad};
  }
  return kNone;
}

}  // namespace fm
