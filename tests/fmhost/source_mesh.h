#pragma once
// Meshes as they were before a tool triangulated them, for the tests of how fmhost reads the orders
// such tools write: faces of 3 or 4 points, each with its material and the diagonal its quad was
// split along.
#include <cstdint>
#include <vector>

namespace fm::test {

struct SourceFace {
  std::vector<int32_t> points;
  int material = 0;
  // A quad's triangles: (0, 1, 2) and (0, 2, 3) across the diagonal from point 0, or with
  // `otherDiagonal` (0, 1, 3) and (1, 2, 3) across the one from point 1. Either pair merges back into
  // (0, 1, 2, 3).
  bool otherDiagonal = false;

  std::vector<int> FirstTriangle() const {
    if (points.size() == 3) return {0, 1, 2};
    return otherDiagonal ? std::vector<int>{0, 1, 3} : std::vector<int>{0, 1, 2};
  }
  std::vector<int> SecondTriangle() const {
    return otherDiagonal ? std::vector<int>{1, 2, 3} : std::vector<int>{0, 2, 3};
  }
};

inline int32_t GridPoint(int x, int y, int w) { return y * (w + 1) + x; }

// A w x h grid of quads, row by row, consistently wound; its points are the first (w+1)(h+1).
inline std::vector<SourceFace> Grid(int w, int h, int material = 0) {
  std::vector<SourceFace> faces;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      faces.push_back({{GridPoint(x, y, w), GridPoint(x + 1, y, w), GridPoint(x + 1, y + 1, w),
                        GridPoint(x, y + 1, w)},
                       material});
  return faces;
}

// Triangles below the grid's bottom edges, each with a point of its own after the grid's, wound like
// the grid: they share an edge with the bottom row's first triangles, not with one another.
inline std::vector<SourceFace> BottomTeeth(int w, int h, int material = 0) {
  const int32_t apex = (w + 1) * (h + 1);
  std::vector<SourceFace> faces;
  for (int x = 0; x < w; ++x)
    faces.push_back({{GridPoint(x + 1, 0, w), GridPoint(x, 0, w), apex + x}, material});
  return faces;
}

// A closed fan of k triangles over points base .. base + k - 1 around point base + k, as a cap.
inline std::vector<SourceFace> Cap(int k, int32_t base, int material) {
  std::vector<SourceFace> faces;
  for (int i = 0; i < k; ++i) faces.push_back({{base + i, base + (i + 1) % k, base + k}, material});
  return faces;
}

inline std::vector<SourceFace> Join(std::vector<SourceFace> a, const std::vector<SourceFace>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The grid with each bottom tooth but the first just before the quad it pairs with, so that handed
// over as it stands each would be merged with that quad's first triangle. The first goes last, as
// polygon 0 would otherwise pair with polygon 1 already.
inline std::vector<SourceFace> TeethBeforeTheirQuads(int w, int h) {
  const std::vector<SourceFace> grid = Grid(w, h);
  const std::vector<SourceFace> teeth = BottomTeeth(w, h);
  std::vector<SourceFace> faces;
  for (size_t i = 0; i < grid.size(); ++i) {
    if (i > 0 && i < teeth.size()) faces.push_back(teeth[i]);
    faces.push_back(grid[i]);
  }
  faces.push_back(teeth[0]);
  return faces;
}

// A 4 x 2 grid with a triangle that was never a quad against the left edge of the top row's first
// quad, which is that quad's second triangle's edge, placed just before the quad: by order and edges
// alone either triangle could be the quad's first. `edge` says which of the triangle's edges runs
// along the grid: 0 for its first, 1 for its second.
inline std::vector<SourceFace> NativeAgainstASecondTriangle(int edge) {
  std::vector<SourceFace> faces = Grid(4, 2);
  const int32_t from = GridPoint(0, 1, 4), to = GridPoint(0, 2, 4), apex = 100;
  faces.insert(faces.begin() + 4, SourceFace{edge == 0 ? std::vector<int32_t>{from, to, apex}
                                                       : std::vector<int32_t>{apex, from, to}});
  return faces;
}

}  // namespace fm::test
