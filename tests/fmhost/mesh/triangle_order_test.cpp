#include "host/mesh/triangle_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fm::host::mesh {
namespace {

// A face of the mesh before triangulation: 3 or 4 corners, and the material it carries.
struct SourceFace {
  std::vector<int32_t> corners;
  uint32_t material = 0;
};

// A triangulated file: its polygons in file order, each one's material run, and the quads whose two
// triangles it holds, as (first triangle, second triangle) file positions.
struct Triangulated {
  std::vector<PolygonRecord> polygons;
  std::vector<uint32_t> runIds;
  std::set<std::pair<uint32_t, uint32_t>> quads;
};

PolygonRecord Triangle(int32_t a, int32_t b, int32_t c) { return PolygonRecord{a, b, c, c}; }

// The order one common tool writes: material by material (stable), and in each material each
// quad's first triangle in the quad's place, other faces where they were, the second triangles
// after them in the quads' order. `dropSecond` leaves out the second triangle of that quad (counted
// over the whole file), as a tool does that keeps only one of two equal triangles.
Triangulated SecondsAfterFirsts(const std::vector<SourceFace>& faces, int dropSecond = -1) {
  Triangulated out;
  std::vector<uint32_t> materials;
  for (const SourceFace& f : faces)
    if (std::find(materials.begin(), materials.end(), f.material) == materials.end())
      materials.push_back(f.material);
  int quad = 0;
  for (const uint32_t m : materials) {
    std::vector<std::pair<uint32_t, PolygonRecord>> seconds;
    for (const SourceFace& f : faces) {
      if (f.material != m) continue;
      const auto& v = f.corners;
      out.runIds.push_back(m);
      if (v.size() == 3) {
        out.polygons.push_back(Triangle(v[0], v[1], v[2]));
        continue;
      }
      out.polygons.push_back(Triangle(v[0], v[1], v[2]));
      if (quad++ != dropSecond)
        seconds.emplace_back(static_cast<uint32_t>(out.polygons.size() - 1),
                             Triangle(v[0], v[2], v[3]));
    }
    for (const auto& [first, second] : seconds) {
      out.quads.emplace(first, static_cast<uint32_t>(out.polygons.size()));
      out.polygons.push_back(second);
      out.runIds.push_back(m);
    }
  }
  return out;
}

// Each quad's two triangles next to each other, the order the command reads as it is.
Triangulated AdjacentPairs(const std::vector<SourceFace>& faces) {
  Triangulated out;
  for (const SourceFace& f : faces) {
    const auto& v = f.corners;
    out.polygons.push_back(Triangle(v[0], v[1], v[2]));
    out.runIds.push_back(f.material);
    if (v.size() == 4) {
      out.quads.emplace(out.polygons.size() - 1, out.polygons.size());
      out.polygons.push_back(Triangle(v[0], v[2], v[3]));
      out.runIds.push_back(f.material);
    }
  }
  return out;
}

int32_t GridPoint(int x, int y, int w) { return y * (w + 1) + x; }

// A w x h grid of quads, row by row, all consistently wound.
std::vector<SourceFace> Grid(int w, int h, uint32_t material = 0) {
  std::vector<SourceFace> faces;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      faces.push_back({{GridPoint(x, y, w), GridPoint(x + 1, y, w), GridPoint(x + 1, y + 1, w),
                        GridPoint(x, y + 1, w)},
                       material});
  return faces;
}

// Triangles on the grid's bottom edges, each with a new point of its own, wound like the grid; they
// pair with the bottom row's first triangles, not with one another.
std::vector<SourceFace> BottomTeeth(int w, int h, uint32_t material = 0) {
  const int32_t apex = (w + 1) * (h + 1);
  std::vector<SourceFace> faces;
  for (int x = 0; x < w; ++x)
    faces.push_back({{GridPoint(x + 1, 0, w), GridPoint(x, 0, w), apex + x}, material});
  return faces;
}

// A closed fan of k triangles around a new point over points base .. base + k - 1, as a cap.
std::vector<SourceFace> Cap(int k, int32_t base, uint32_t material) {
  std::vector<SourceFace> faces;
  for (int i = 0; i < k; ++i)
    faces.push_back({{base + i, base + (i + 1) % k, base + k}, material});
  return faces;
}

// The grid with each bottom tooth but the first just before the quad it pairs with, so that handed
// over as it stands each would be merged with that quad's first triangle. The first goes last, as
// polygon 0 would otherwise pair with polygon 1 already.
std::vector<SourceFace> TeethBeforeTheirQuads(int w, int h) {
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

std::vector<SourceFace> Join(std::vector<SourceFace> a, const std::vector<SourceFace>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The pairs the hand-over order gives the command: positions 2k, 2k + 1 as long as they are a
// recognised pair, mapped back to file positions.
std::set<std::pair<uint32_t, uint32_t>> RecognisedQuads(const TriangleOrderResult& r) {
  std::set<std::pair<uint32_t, uint32_t>> quads;
  for (uint32_t i = 0; i < r.partner.size(); ++i)
    if (r.partner[i] > static_cast<int64_t>(i)) quads.emplace(i, static_cast<uint32_t>(r.partner[i]));
  return quads;
}

void ExpectPermutation(const std::vector<uint32_t>& order, size_t n) {
  std::vector<uint32_t> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  ASSERT_EQ(sorted.size(), n);
  for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(sorted[i], i);
}

struct RecognisedCase {
  std::string name;
  Triangulated mesh;
  uint32_t secondsFrom;
};

TEST(TriangleOrderTest, RecognisesEveryQuadOfSecondsAfterFirsts) {
  const std::vector<RecognisedCase> cases = {
      {"natives first", SecondsAfterFirsts(Join(BottomTeeth(4, 3), Grid(4, 3))), 16},
      {"natives last", SecondsAfterFirsts(Join(Grid(4, 3), BottomTeeth(4, 3))), 16},
      {"natives in the middle",
       SecondsAfterFirsts([] {
         std::vector<SourceFace> g = Grid(4, 3);
         const std::vector<SourceFace> teeth = BottomTeeth(4, 3);
         g.insert(g.begin() + 5, teeth.begin(), teeth.end());
         return g;
       }()),
       16},
      {"one material run of triangles only",
       SecondsAfterFirsts(Join(Grid(4, 3, 1), Cap(6, 200, 2))), 12},
      {"two material runs", SecondsAfterFirsts([] {
         std::vector<SourceFace> g = Grid(4, 3);
         for (size_t i = 0; i < g.size(); ++i) g[i].material = i % 3 == 0 ? 1 : 2;
         return Join(g, BottomTeeth(4, 3, 2));
       }()),
       4},
      {"natives just before the quads they pair with",
       SecondsAfterFirsts(TeethBeforeTheirQuads(4, 3)), 16},
      {"the last quad's second triangle dropped",
       SecondsAfterFirsts(Join(Grid(4, 3), BottomTeeth(4, 3)), 11), 16},
  };
  for (const RecognisedCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TriangleOrderResult r = RecogniseTriangleOrder(c.mesh.polygons, c.mesh.runIds);
    ASSERT_EQ(r.order, TriangleOrder::kRecognised) << r.description;
    EXPECT_EQ(RecognisedQuads(r), c.mesh.quads);
    EXPECT_EQ(r.pairs, c.mesh.quads.size());
    EXPECT_EQ(r.secondsFrom, c.secondsFrom);
    ExpectPermutation(r.handOver, c.mesh.polygons.size());
  }
}

// What the command does with the hand-over order: it must read the adjacent layout from polygon 0
// and merge exactly the recognised pairs (checked with the pair rule alone, independently of the
// recogniser's own check).
TEST(TriangleOrderTest, HandOverOrderMakesTheCommandMergeExactlyThePairs) {
  const std::vector<std::pair<std::string, Triangulated>> cases = {
      {"natives first", SecondsAfterFirsts(Join(BottomTeeth(5, 2), Grid(5, 2)))},
      {"natives before their quads", SecondsAfterFirsts(TeethBeforeTheirQuads(5, 2))},
  };
  for (const auto& [name, mesh] : cases) {
    SCOPED_TRACE(name);
    const TriangleOrderResult r = RecogniseTriangleOrder(mesh.polygons, mesh.runIds);
    ASSERT_EQ(r.order, TriangleOrder::kRecognised);
    std::vector<PolygonRecord> handed;
    for (const uint32_t i : r.handOver) handed.push_back(mesh.polygons[i]);
    ASSERT_FALSE(FormsTrianglePair(handed[0], handed[handed.size() / 2]));
    ASSERT_TRUE(FormsTrianglePair(handed[0], handed[1]));
    std::set<std::pair<uint32_t, uint32_t>> merged;
    for (size_t i = 0; i + 1 < handed.size(); ++i) {
      if (handed[i].c != handed[i].d || handed[i].a == handed[i].b) continue;
      if (!FormsTrianglePair(handed[i], handed[i + 1])) continue;
      merged.emplace(r.handOver[i], r.handOver[i + 1]);
      handed[i].d = -1;
      handed[i + 1] = PolygonRecord{};
    }
    EXPECT_EQ(merged, mesh.quads);
  }
}

TEST(TriangleOrderTest, OrdersTheCommandReadsStayAsTheyAre) {
  const std::vector<std::pair<std::string, Triangulated>> cases = {
      {"each quad's triangles adjacent", AdjacentPairs(Join(Grid(3, 2), BottomTeeth(3, 2)))},
      {"all quads, halves", SecondsAfterFirsts(Grid(3, 2))},
  };
  for (const auto& [name, mesh] : cases) {
    SCOPED_TRACE(name);
    const TriangleOrderResult r = RecogniseTriangleOrder(mesh.polygons, mesh.runIds);
    EXPECT_EQ(r.order, TriangleOrder::kCommandReads);
    EXPECT_TRUE(r.handOver.empty());
  }
}

TEST(TriangleOrderTest, LeavesUnknownAndAlmostRecognisedOrdersAlone) {
  std::vector<std::pair<std::string, Triangulated>> cases;
  // Two second triangles swapped: no longer in the quads' order.
  Triangulated swapped = SecondsAfterFirsts(Join(BottomTeeth(4, 3), Grid(4, 3)));
  std::swap(swapped.polygons[17], swapped.polygons[20]);
  cases.emplace_back("two second triangles swapped", swapped);
  // One second triangle turned the other way: it no longer runs against its first triangle.
  Triangulated flipped = SecondsAfterFirsts(Join(BottomTeeth(4, 3), Grid(4, 3)));
  std::swap(flipped.polygons.back().a, flipped.polygons.back().b);
  cases.emplace_back("last second triangle reversed", flipped);
  // A closed fan of triangles only: every triangle pairs with its neighbours, none was a quad.
  Triangulated fan;
  for (int32_t i = 0; i < 8; ++i) {
    fan.polygons.push_back(Triangle(1 + i, 1 + (i + 1) % 8, 0));
    fan.runIds.push_back(0);
  }
  std::swap(fan.polygons[1], fan.polygons[5]);  // so that polygon 0 pairs with neither probe
  cases.emplace_back("closed fan", fan);
  for (const auto& [name, mesh] : cases) {
    SCOPED_TRACE(name);
    ASSERT_FALSE(FormsTrianglePair(mesh.polygons[0], mesh.polygons[1]));
    const TriangleOrderResult r = RecogniseTriangleOrder(mesh.polygons, mesh.runIds);
    EXPECT_NE(r.order, TriangleOrder::kRecognised) << r.description;
    EXPECT_TRUE(r.handOver.empty());
  }
}

// Where the order leaves open which triangles were quads (a triangle that was never a quad shares
// an edge with a second triangle, or a second triangle is missing mid-way, so that one of several
// first triangles could be its partner), no quad is made in that run rather than a wrong one.
TEST(TriangleOrderTest, AnOrderWithSeveralPairingsMakesNoQuad) {
  std::vector<std::pair<std::string, Triangulated>> cases;
  std::vector<SourceFace> faces = Grid(4, 2);
  // Against the left edge of the top row's first quad, which is its second triangle's, and placed
  // before that quad: either triangle could be the quad's first.
  faces.insert(faces.begin() + 4, SourceFace{{GridPoint(0, 1, 4), GridPoint(0, 2, 4), 100}, 0});
  cases.emplace_back("a native against a second triangle", SecondsAfterFirsts(faces));
  cases.emplace_back("a second triangle dropped mid-way",
                     SecondsAfterFirsts(Join(Grid(4, 3), BottomTeeth(4, 3)), 5));
  for (const auto& [name, mesh] : cases) {
    SCOPED_TRACE(name);
    const TriangleOrderResult r = RecogniseTriangleOrder(mesh.polygons, mesh.runIds);
    EXPECT_EQ(r.order, TriangleOrder::kNotRecognised) << r.description;
    EXPECT_EQ(r.pairs, 0u);
  }
}

TEST(TriangleOrderTest, MaterialRunIdsCountTheRunsOfAnObject) {
  MeshObject object;
  object.faceCount = 6;
  EXPECT_EQ(MaterialRunIds(object), (std::vector<uint32_t>{0, 0, 0, 0, 0, 0}));
  object.materialRuns = {1, 4, 5};
  EXPECT_EQ(MaterialRunIds(object), (std::vector<uint32_t>{0, 1, 1, 1, 2, 3}));
}

TEST(TriangleOrderTest, PairRuleRunsAgainstTheFirstTrianglesEdges) {
  struct Case {
    const char* name;
    PolygonRecord first, partner;
    bool pair;
  };
  const Case cases[] = {
      {"against a->b", Triangle(0, 1, 2), Triangle(1, 0, 3), true},
      {"against c->a", Triangle(0, 1, 2), Triangle(0, 2, 3), true},
      {"same direction", Triangle(0, 1, 2), Triangle(0, 1, 3), false},
      {"partner a quad", Triangle(0, 1, 2), PolygonRecord{1, 0, 3, 4}, false},
      {"partner cleared", Triangle(0, 1, 2), PolygonRecord{}, false},
      {"negative apex", Triangle(0, 1, 2), Triangle(1, 0, -1), false},
      {"first a quad, its d unread", PolygonRecord{0, 1, 2, 3}, Triangle(0, 2, 5), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FormsTrianglePair(c.first, c.partner), c.pair);
  }
}

}  // namespace
}  // namespace fm::host::mesh
