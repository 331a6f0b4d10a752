#include "host/mesh/triangle_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/fmhost/source_mesh.h"

namespace fm::host::mesh {
namespace {

using namespace fm::test;  // the source meshes

// A triangulated file: its polygons in file order, each one's material run, and the quads whose two
// triangles it holds, as (first triangle, second triangle) file positions.
struct Triangulated {
  std::vector<PolygonRecord> polygons;
  std::vector<uint32_t> runIds;
  std::set<std::pair<uint32_t, uint32_t>> quads;
};

PolygonRecord Triangle(int32_t a, int32_t b, int32_t c) { return PolygonRecord{a, b, c, c}; }

constexpr uint32_t kNoFirst = UINT32_MAX;

PolygonRecord Triangle(const SourceFace& f, const std::vector<int>& corners) {
  return Triangle(f.points[corners[0]], f.points[corners[1]], f.points[corners[2]]);
}

// The order one common tool writes: material by material (stable), and in each material each
// quad's first triangle in the quad's place, other faces where they were, the second triangles
// after them in the quads' order. `dropSecond` leaves out the second triangle of that quad (counted
// over the whole file), `dropFirst` the first, as a tool does that keeps only one of two equal
// triangles.
Triangulated SecondsAfterFirsts(const std::vector<SourceFace>& faces, int dropSecond = -1,
                                int dropFirst = -1) {
  Triangulated out;
  std::vector<int> materials;
  for (const SourceFace& f : faces)
    if (std::find(materials.begin(), materials.end(), f.material) == materials.end())
      materials.push_back(f.material);
  int quad = 0;
  for (const int m : materials) {
    std::vector<std::pair<uint32_t, PolygonRecord>> seconds;
    for (const SourceFace& f : faces) {
      if (f.material != m) continue;
      const bool quadFace = f.points.size() == 4;
      const int number = quadFace ? quad++ : -1;
      if (number != dropFirst || !quadFace) {
        out.runIds.push_back(static_cast<uint32_t>(m));
        out.polygons.push_back(Triangle(f, f.FirstTriangle()));
      }
      if (!quadFace || number == dropSecond) continue;
      // A quad without its first triangle is not one the file holds.
      seconds.emplace_back(number == dropFirst ? kNoFirst
                                               : static_cast<uint32_t>(out.polygons.size() - 1),
                           Triangle(f, f.SecondTriangle()));
    }
    for (const auto& [first, second] : seconds) {
      if (first != kNoFirst) out.quads.emplace(first, static_cast<uint32_t>(out.polygons.size()));
      out.polygons.push_back(second);
      out.runIds.push_back(static_cast<uint32_t>(m));
    }
  }
  return out;
}

// Each quad's two triangles next to each other, the order the command reads as it is.
Triangulated AdjacentPairs(const std::vector<SourceFace>& faces) {
  Triangulated out;
  for (const SourceFace& f : faces) {
    out.polygons.push_back(Triangle(f, f.FirstTriangle()));
    out.runIds.push_back(static_cast<uint32_t>(f.material));
    if (f.points.size() == 4) {
      out.quads.emplace(out.polygons.size() - 1, out.polygons.size());
      out.polygons.push_back(Triangle(f, f.SecondTriangle()));
      out.runIds.push_back(static_cast<uint32_t>(f.material));
    }
  }
  return out;
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
      // Its first triangle is then one that was never paired, and the next second triangles could
      // each take the first triangle to their left instead of their own.
      {"a second triangle dropped mid-way",
       SecondsAfterFirsts(Join(Grid(4, 3), BottomTeeth(4, 3)), 5), 16},
      {"a native against a second triangle", SecondsAfterFirsts(NativeAgainstASecondTriangle(0)),
       9},
      // Quad 6, folded back over quad 5 across two of its edges, gives quad 5's first triangle again,
      // turned; the tool keeps one, and quad 6's second triangle then pairs with nothing before it.
      {"a first triangle dropped as a duplicate", SecondsAfterFirsts([] {
         std::vector<SourceFace> g = Grid(4, 3);
         const std::vector<int32_t>& q = g[5].points;
         g.insert(g.begin() + 6, SourceFace{{q[2], q[1], q[0], 300}});
         return Join(g, BottomTeeth(4, 3));
       }(), -1, 6),
       16},
      // The triangle just before the second ones pairs with the first polygon of all, in a way no
      // quad takes: the split is not one earlier for it.
      {"a native last pairing with a native first", SecondsAfterFirsts([] {
         std::vector<SourceFace> g = Join({SourceFace{{200, 201, 202}}, SourceFace{{300, 301, 302}}},
                                          Grid(4, 3));
         g.push_back(SourceFace{{201, 200, 203}});
         return g;
       }()),
       15},
      {"the last second triangle turned the other way", [] {
         Triangulated t = SecondsAfterFirsts(Join(BottomTeeth(4, 3), Grid(4, 3)));
         std::swap(t.polygons.back().a, t.polygons.back().b);
         t.quads.erase(std::prev(t.quads.end()));  // it no longer runs against its first triangle
         return t;
       }(),
       16},
      {"quads split along both diagonals, natives first", SecondsAfterFirsts([] {
         std::vector<SourceFace> g = Grid(4, 3);
         for (size_t i = 0; i < g.size(); ++i) g[i].otherDiagonal = i % 3 == 1;
         return Join(BottomTeeth(4, 3), g);
       }()),
       16},
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
  // The second triangles in the quads' order backwards.
  Triangulated backwards = SecondsAfterFirsts(Join(BottomTeeth(4, 3), Grid(4, 3)));
  std::reverse(backwards.polygons.begin() + 16, backwards.polygons.end());
  cases.emplace_back("second triangles backwards", backwards);
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

// Two second triangles out of the quads' order: pairing must not follow the order into quads that
// never were. (Where the order is that far off, fewer quads come back; each that does is true.)
TEST(TriangleOrderTest, SecondTrianglesOutOfOrderMakeNoQuadThatWasNot) {
  Triangulated swapped = SecondsAfterFirsts(Join(BottomTeeth(4, 3), Grid(4, 3)));
  std::swap(swapped.polygons[17], swapped.polygons[20]);
  std::set<std::pair<uint32_t, uint32_t>> truth;
  for (auto [first, second] : swapped.quads) {
    if (second == 17 || second == 20) second = 37 - second;
    truth.emplace(first, second);
  }
  const TriangleOrderResult r = RecogniseTriangleOrder(swapped.polygons, swapped.runIds);
  for (const auto& quad : RecognisedQuads(r)) EXPECT_EQ(truth.count(quad), 1u) << quad.first;
}

// Polygon 0 may pair with polygon 1 by chance: a cap of triangles written first, or the first two
// quads split along different diagonals. The command would then read the adjacent layout and make
// quads that never were; the recognised order, which pairs more, is handed over instead. A file in
// the adjacent order itself, triangles that never were quads and all, stays as it is.
TEST(TriangleOrderTest, AChancePairAtPolygonZeroDoesNotHideTheOrder) {
  std::vector<SourceFace> splitBothWays = Grid(4, 3);
  splitBothWays[1].otherDiagonal = true;
  const std::vector<std::pair<std::string, Triangulated>> recognised = {
      {"a cap written first", SecondsAfterFirsts(Join(Cap(6, 200, 0), Grid(4, 3)))},
      {"the first two quads split differently",
       SecondsAfterFirsts(Join(splitBothWays, BottomTeeth(4, 3)))},
  };
  for (const auto& [name, mesh] : recognised) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(FormsTrianglePair(mesh.polygons[0], mesh.polygons[1]));
    EXPECT_FALSE(CommandMergesEveryTriangle(mesh.polygons));
    const TriangleOrderResult r = RecogniseTriangleOrder(mesh.polygons, mesh.runIds);
    ASSERT_EQ(r.order, TriangleOrder::kRecognised) << r.description;
    EXPECT_EQ(RecognisedQuads(r), mesh.quads);
  }
  const Triangulated adjacent = AdjacentPairs(Join(Cap(5, 200, 0), Grid(4, 3)));
  EXPECT_FALSE(CommandMergesEveryTriangle(adjacent.polygons));  // one of the cap is left
  const TriangleOrderResult r = RecogniseTriangleOrder(adjacent.polygons, adjacent.runIds);
  EXPECT_EQ(r.order, TriangleOrder::kCommandReads) << r.description;
  EXPECT_TRUE(CommandMergesEveryTriangle(AdjacentPairs(Grid(4, 3)).polygons));
}

// A triangle that was never a quad against a second triangle could be that quad's first by order
// and edges. The pairs every pairing makes show how the tool split its quads; a bordering triangle
// that runs against the second one the way no quad was split is then not its partner. Where it runs
// the way some quads were split, the order does not tell: that quad stays two triangles, and the
// rest of the run still comes back.
TEST(TriangleOrderTest, WhereTheOrderLeavesAPairingOpenThatQuadStaysTriangles) {
  std::vector<SourceFace> faces = NativeAgainstASecondTriangle(1);
  // The native is face 4; the quad it borders, face 5, is split from point 0, others from point 1.
  for (size_t i = 0; i < faces.size(); ++i) faces[i].otherDiagonal = i % 2 == 0 && i != 4;
  const Triangulated mesh = SecondsAfterFirsts(faces);
  const TriangleOrderResult r = RecogniseTriangleOrder(mesh.polygons, mesh.runIds);
  ASSERT_EQ(r.order, TriangleOrder::kRecognised) << r.description;
  std::set<std::pair<uint32_t, uint32_t>> expected = mesh.quads;
  expected.erase({5, 13});  // face 5's first triangle and the second of quad 4 (counted from 0)
  EXPECT_EQ(RecognisedQuads(r), expected);
  EXPECT_EQ(r.pairs, 7u);

  // Split all one way, the bordering triangle's way is not the tool's: every quad comes back.
  for (SourceFace& f : faces) f.otherDiagonal = false;
  const Triangulated plain = SecondsAfterFirsts(faces);
  const TriangleOrderResult all = RecogniseTriangleOrder(plain.polygons, plain.runIds);
  ASSERT_EQ(all.order, TriangleOrder::kRecognised) << all.description;
  EXPECT_EQ(RecognisedQuads(all), plain.quads);
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
