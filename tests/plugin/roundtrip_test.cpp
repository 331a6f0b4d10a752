// The pure pieces together on generated meshes: detecting the layout, merging every pair and
// planning the compaction give back exactly the quadrangles the triangles were cut from, each
// UVW vector still with its point.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "compactionplan.h"
#include "mergetrianglepair.h"
#include "pairlayout.h"
#include "quadmesh.h"

namespace fm {
namespace {

using test::PolygonUvw;

struct Result {
  PairLayout layout;
  int32_t merges;
  std::vector<PolygonRecord> polygons;
  std::vector<UvwRecord> uvw;
};

// The merge and compaction passes of the command over plain arrays.
Result Untriangulate(std::vector<PolygonRecord> polygons) {
  const int32_t n = static_cast<int32_t>(polygons.size());
  const int32_t half = n >> 1;
  std::vector<UvwRecord> uvw;
  for (const PolygonRecord& p : polygons) uvw.push_back(PolygonUvw(p));

  Result result = {DetectPairLayout(polygons.data(), n, nullptr), 0, {}, {}};
  if (result.layout == PairLayout::None) return result;
  std::vector<int32_t> link(static_cast<size_t>(n), -1);
  const int32_t candidates = result.layout == PairLayout::Adjacent ? n - 1 : half;
  for (int32_t i = 0; i < candidates; ++i) {
    if (!IsTriangle(polygons[i]) || IsDead(polygons[i])) continue;
    const int32_t j = PartnerOf(result.layout, i, half);
    UvwRecord first = uvw[i];
    if (!MergeTrianglePair(polygons.data(), &first, &uvw[j], i, j)) continue;
    uvw[i] = first;
    link[j] = i;
    ++result.merges;
  }
  const int32_t kept = PlanCompaction(polygons.data(), link.data(), n);
  result.polygons.resize(static_cast<size_t>(kept));
  result.uvw.resize(static_cast<size_t>(kept));
  for (int32_t i = 0; i < n; ++i) {
    if (IsDead(polygons[i])) continue;
    result.polygons[link[i]] = polygons[i];
    result.uvw[link[i]] = uvw[i];
  }
  return result;
}

std::string Text(const PolygonRecord& p) {
  return "(" + std::to_string(p.a) + ", " + std::to_string(p.b) + ", " + std::to_string(p.c) +
         ", " + std::to_string(p.d) + ")";
}

void ExpectQuads(const std::vector<PolygonRecord>& expected, const Result& r) {
  ASSERT_EQ(expected.size(), r.polygons.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("polygon " + std::to_string(i));
    EXPECT_EQ(Text(expected[i]), Text(r.polygons[i]));
    const UvwRecord want = PolygonUvw(expected[i]);
    EXPECT_EQ(want.a.u, r.uvw[i].a.u);
    EXPECT_EQ(want.b.u, r.uvw[i].b.u);
    EXPECT_EQ(want.c.u, r.uvw[i].c.u);
    EXPECT_EQ(want.d.u, r.uvw[i].d.u);
  }
}

TEST(Untriangulation, RecoversSplitGrids) {
  struct Case {
    const char* what;
    int32_t width;
    int32_t height;
    bool halves;
  };
  const Case cases[] = {
      {"one quadrangle", 1, 1, false},
      {"strip in order", 7, 1, false},
      {"grid in order", 5, 4, false},
      {"grid by halves", 5, 4, true},
      {"tall grid by halves", 1, 9, true},
      {"large grid in order", 40, 25, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<PolygonRecord> quads = test::GridQuads(c.width, c.height);
    const Result r = Untriangulate(c.halves ? test::SplitHalves(quads) : test::SplitAdjacent(quads));
    EXPECT_EQ(static_cast<int32_t>(quads.size()), r.merges);
    ExpectQuads(quads, r);
  }
}

TEST(Untriangulation, KeepsQuadranglesInPlaceAndDropsDeadRecords) {
  // T0 T1 T2 T3 Q4 D5: two pairs, a quadrangle that was never split, a dead record. The two
  // split quadrangles share no edge, so polygons 0 and 3 cannot pair.
  const std::vector<PolygonRecord> quads = {{0, 1, 2, 3}, {4, 5, 6, 7}};
  std::vector<PolygonRecord> polygons = test::SplitAdjacent(quads);
  const PolygonRecord q4 = {30, 31, 32, 33};
  polygons.push_back(q4);
  polygons.push_back({40, 40, 41, 41});
  const Result r = Untriangulate(polygons);
  EXPECT_EQ(PairLayout::Adjacent, r.layout);
  EXPECT_EQ(2, r.merges);
  ExpectQuads({quads[0], quads[1], q4}, r);
}

TEST(Untriangulation, NeighboursInAGridCanReadAsHalves) {
  // In a grid split in order, the first triangle of quadrangle 0 shares the edge between
  // quadrangles 0 and 1 with the second triangle of quadrangle 1, polygon 3 = half of 6. The
  // halves probe comes first, so the grid reads as Halves: (0, 3) and (2, 5) merge across
  // quadrangle borders, (1, 4) do not pair. A selection of two neighbours says otherwise.
  const std::vector<PolygonRecord> quads = test::GridQuads(3, 1);
  const std::vector<PolygonRecord> triangles = test::SplitAdjacent(quads);
  const Result r = Untriangulate(triangles);
  EXPECT_EQ(PairLayout::Halves, r.layout);
  EXPECT_EQ(2, r.merges);
  ASSERT_EQ(4u, r.polygons.size());
  EXPECT_EQ(Text(PolygonRecord{0, 1, 6, 5}), Text(r.polygons[0]));

  const int32_t hint[2] = {0, 1};
  EXPECT_EQ(PairLayout::Adjacent, DetectPairLayout(triangles.data(), 6, hint));
}

TEST(Untriangulation, LeavesUnmatchedTrianglesAlone) {
  // A lone triangle between two pairs is no candidate partner of a live neighbour.
  const std::vector<PolygonRecord> quads = {{0, 1, 2, 3}, {4, 5, 6, 7}};
  std::vector<PolygonRecord> polygons = {test::FirstHalf(quads[0]), test::SecondHalf(quads[0]),
                                         {50, 51, 52, 52}, test::FirstHalf(quads[1]),
                                         test::SecondHalf(quads[1])};
  const Result r = Untriangulate(polygons);
  EXPECT_EQ(2, r.merges);
  ExpectQuads({quads[0], {50, 51, 52, 52}, quads[1]}, r);
}

}  // namespace
}  // namespace fm
