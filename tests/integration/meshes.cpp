#include "meshes.h"

#include "host/scene/tags.h"

namespace fm::test {
namespace {

host::Vector3 Uv(int i, int j, int w, int h) {
  return {static_cast<double>(i) / w, static_cast<double>(j) / h, 0.0};
}

}  // namespace

QuadMesh Grid(int w, int h) {
  QuadMesh mesh;
  for (int j = 0; j <= h; ++j) {
    for (int i = 0; i <= w; ++i) mesh.points.push_back({double(i), double(j), 0.0});
  }
  auto at = [w](int i, int j) { return j * (w + 1) + i; };
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < w; ++i) {
      mesh.quads.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
      mesh.uvw.push_back({Uv(i, j, w, h), Uv(i + 1, j, w, h), Uv(i + 1, j + 1, w, h),
                          Uv(i, j + 1, w, h)});
    }
  }
  return mesh;
}

QuadMesh Torus(int w, int h) {
  QuadMesh mesh;
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < w; ++i) mesh.points.push_back({double(i), double(j), 1.0});
  }
  auto at = [w, h](int i, int j) { return (j % h) * w + (i % w); };
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < w; ++i) {
      mesh.quads.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
      mesh.uvw.push_back({Uv(i, j, w, h), Uv(i + 1, j, w, h), Uv(i + 1, j + 1, w, h),
                          Uv(i, j + 1, w, h)});
    }
  }
  return mesh;
}

Triangulation Triangulate(const QuadMesh& mesh, Order order) {
  const int32_t q = static_cast<int32_t>(mesh.quads.size());
  Triangulation t;
  t.polygons.resize(2 * q);
  t.uvw.resize(2 * q);
  t.firstIndex.resize(q);
  t.secondIndex.resize(q);
  for (int32_t i = 0; i < q; ++i) {
    const host::PolygonRecord& p = mesh.quads[i];
    const host::UvwRecord& u = mesh.uvw[i];
    const int32_t first = order == Order::SideBySide ? 2 * i : i;
    const int32_t second = order == Order::SideBySide ? 2 * i + 1 : q + i;
    t.polygons[first] = {p.a, p.b, p.c, p.c};
    t.polygons[second] = {p.a, p.c, p.d, p.d};
    t.uvw[first] = {u.a, u.b, u.c, u.c};
    t.uvw[second] = {u.a, u.c, u.d, u.d};
    t.firstIndex[i] = first;
    t.secondIndex[i] = second;
  }
  return t;
}

void Fill(host::PolygonObject& object, const QuadMesh& mesh, const Triangulation& tris, bool uvw) {
  object.Points() = mesh.points;
  object.Polygons() = tris.polygons;
  if (uvw) {
    host::UvwTag& tag = object.AddUvwTag();
    for (size_t i = 0; i < tris.uvw.size(); ++i) tag.Set(static_cast<int32_t>(i), tris.uvw[i]);
  }
}

}  // namespace fm::test
