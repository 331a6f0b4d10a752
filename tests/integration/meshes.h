#pragma once
// Quad meshes and the triangulations a host makes of them, for whole-module tests.

#include <cstdint>
#include <string>
#include <vector>

#include "host/scene/document.h"
#include "host/scene/object.h"
#include "host/scene/records.h"

namespace fm::test {

struct QuadMesh {
  std::vector<host::Vector3> points;
  std::vector<host::PolygonRecord> quads;
  std::vector<host::UvwRecord> uvw;  // one per quad
};

// A grid of w x h quads over (w+1) x (h+1) points, UVs from the point's grid position.
QuadMesh Grid(int w, int h);
// A torus of w x h quads: the grid closed in both directions (every edge shared).
QuadMesh Torus(int w, int h);

enum class Order { SideBySide, Halves };

// Each quad (a,b,c,d) becomes (a,b,c) and (a,c,d), with its UVW corners following the points.
// SideBySide: the two triangles of a quad at 2i, 2i+1; Halves: all first triangles, then all
// second ones. `firstIndex` / `secondIndex` give where the triangles of quad q land.
struct Triangulation {
  std::vector<host::PolygonRecord> polygons;
  std::vector<host::UvwRecord> uvw;
  std::vector<int32_t> firstIndex;
  std::vector<int32_t> secondIndex;
};
Triangulation Triangulate(const QuadMesh& mesh, Order order);

// Fills `object` with the triangulated mesh, optionally with a UVW tag.
void Fill(host::PolygonObject& object, const QuadMesh& mesh, const Triangulation& tris, bool uvw);

}  // namespace fm::test
