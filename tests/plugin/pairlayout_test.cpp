// Layout detection: which triangles pair with which, from a selection hint or from the probes.

#include <gtest/gtest.h>

#include <vector>

#include "pairlayout.h"
#include "quadmesh.h"

namespace fm {
namespace {

using test::GridQuads;
using test::SplitAdjacent;
using test::SplitHalves;

// Four polygons in which 0 pairs with 1 (diagonal c->a) and also with 2 = half (edge a->b).
std::vector<PolygonRecord> BothLayoutsPair() {
  return {{0, 1, 2, 2}, {0, 2, 3, 3}, {1, 0, 4, 4}, {7, 8, 9, 9}};
}

TEST(DetectPairLayout, FromTheProbes) {
  struct Case {
    const char* what;
    std::vector<PolygonRecord> polygons;
    PairLayout expected;
  };
  const PolygonRecord lone = {0, 1, 2, 2};
  const Case cases[] = {
      {"quadrangles split in order", SplitAdjacent(GridQuads(3, 2)), PairLayout::Adjacent},
      {"first half against second half", SplitHalves(GridQuads(3, 2)), PairLayout::Halves},
      {"odd count split by halves", [] {
         auto p = SplitHalves(GridQuads(2, 2));
         p.push_back({20, 21, 22, 23});
         return p;
       }(), PairLayout::Halves},
      {"0 pairs with 1 and with half: the halves probe comes first", BothLayoutsPair(),
       PairLayout::Halves},
      {"0 pairs with neither", {{0, 1, 2, 2}, {5, 6, 7, 7}, {8, 9, 10, 10}}, PairLayout::None},
      {"single polygon", {lone}, PairLayout::None},
      {"no polygons", {}, PairLayout::None},
      {"two triangles of one quadrangle", SplitAdjacent(GridQuads(1, 1)), PairLayout::Halves},
      // Polygon 0 need not be a triangle for the probe; only the partner must be one.
      {"quadrangle first", {{0, 1, 2, 3}, {1, 0, 5, 5}}, PairLayout::Halves},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.expected, DetectPairLayout(c.polygons.data(), static_cast<int32_t>(c.polygons.size()), nullptr));
  }
}

TEST(DetectPairLayout, ASelectedPairDecides) {
  const std::vector<PolygonRecord> p = BothLayoutsPair();
  const int32_t n = static_cast<int32_t>(p.size());
  struct Case {
    const char* what;
    int32_t hint[2];
    PairLayout expected;
  };
  const Case cases[] = {
      {"neighbours that pair give Adjacent although 0 and half pair", {0, 1}, PairLayout::Adjacent},
      {"s and s + half that pair give Halves", {0, 2}, PairLayout::Halves},
      {"neighbours that do not pair: the probes decide", {2, 3}, PairLayout::Halves},
      {"s + half that do not pair: the probes decide", {1, 3}, PairLayout::Halves},
      {"neither neighbours nor half apart: the probes decide", {0, 3}, PairLayout::Halves},
      {"an index beyond the polygons is no hint", {0, 4}, PairLayout::Halves},
      {"an unordered hint is no hint", {1, 0}, PairLayout::Halves},
      {"a negative index is no hint", {-1, 0}, PairLayout::Halves},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.expected, DetectPairLayout(p.data(), n, c.hint));
  }
}

TEST(PartnerOf, FollowsTheLayout) {
  EXPECT_EQ(4, PartnerOf(PairLayout::Adjacent, 3, 10));
  EXPECT_EQ(13, PartnerOf(PairLayout::Halves, 3, 10));
}

}  // namespace
}  // namespace fm
