#pragma once
// Test meshes: grids of quadrangles split into triangle pairs the way a triangulation leaves them.

#include <cstdint>
#include <vector>

#include "polygonrecord.h"
#include "uvwrecord.h"

namespace fm::test {

// The UVW vector a test mesh gives point `p`, so every corner's UVW names its point.
inline UvwVector PointUvw(int32_t p) { return {p * 1.0, p * 0.5, -p * 1.0}; }

inline UvwRecord PolygonUvw(const PolygonRecord& r) {
  return {PointUvw(r.a), PointUvw(r.b), PointUvw(r.c), PointUvw(r.d)};
}

// A width x height grid of quadrangles (a, b, c, d) counter-clockwise, row by row.
inline std::vector<PolygonRecord> GridQuads(int32_t width, int32_t height) {
  std::vector<PolygonRecord> quads;
  const int32_t stride = width + 1;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const int32_t a = y * stride + x;
      quads.push_back({a, a + 1, a + 1 + stride, a + stride});
    }
  }
  return quads;
}

// Splits quadrangle (a, b, c, d) into (a, b, c) and (a, c, d): the first triangle keeps the
// quadrangle's winding, the second shares the diagonal c->a the other way round.
inline PolygonRecord FirstHalf(const PolygonRecord& q) { return {q.a, q.b, q.c, q.c}; }
inline PolygonRecord SecondHalf(const PolygonRecord& q) { return {q.a, q.c, q.d, q.d}; }

// Triangles i, i + 1 from each quadrangle.
inline std::vector<PolygonRecord> SplitAdjacent(const std::vector<PolygonRecord>& quads) {
  std::vector<PolygonRecord> out;
  for (const PolygonRecord& q : quads) {
    out.push_back(FirstHalf(q));
    out.push_back(SecondHalf(q));
  }
  return out;
}

// All first triangles, then all second triangles: triangle i pairs with i + half.
inline std::vector<PolygonRecord> SplitHalves(const std::vector<PolygonRecord>& quads) {
  std::vector<PolygonRecord> out;
  for (const PolygonRecord& q : quads) out.push_back(FirstHalf(q));
  for (const PolygonRecord& q : quads) out.push_back(SecondHalf(q));
  return out;
}

}  // namespace fm::test
