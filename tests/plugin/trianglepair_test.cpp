// The pair test and the quad merge on literal polygon pairs.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "istrianglepair.h"
#include "mergetrianglepair.h"

namespace fm {
namespace {

UvwVector V(double x) { return {x, x + 0.25, x + 0.5}; }

// A first record A and a partner record B whose corner vectors are told apart by their values.
UvwRecord FirstUvw() { return {V(1), V(2), V(3), V(4)}; }
UvwRecord PartnerUvw() { return {V(11), V(12), V(13), V(14)}; }

bool Same(const UvwVector& x, const UvwVector& y) { return x.u == y.u && x.v == y.v && x.w == y.w; }

bool Same(const UvwRecord& x, const UvwRecord& y) {
  return Same(x.a, y.a) && Same(x.b, y.b) && Same(x.c, y.c) && Same(x.d, y.d);
}

bool Same(const PolygonRecord& x, const PolygonRecord& y) {
  return x.a == y.a && x.b == y.b && x.c == y.c && x.d == y.d;
}

std::string Text(const PolygonRecord& p) {
  return "(" + std::to_string(p.a) + ", " + std::to_string(p.b) + ", " + std::to_string(p.c) +
         ", " + std::to_string(p.d) + ")";
}

struct MergeCase {
  const char* what;
  PolygonRecord first;
  PolygonRecord partner;
  PolygonRecord quad;
  UvwRecord uvw;  // expected first UVW record, in terms of FirstUvw() and PartnerUvw()
};

const UvwRecord A = FirstUvw();
const UvwRecord B = PartnerUvw();

const MergeCase kMerges[] = {
    {"edge a->b, partner b->a first", {0, 1, 2, 2}, {1, 0, 3, 3}, {0, 3, 1, 2}, {A.a, B.c, A.b, A.c}},
    {"edge a->b, partner c->a", {0, 1, 2, 2}, {0, 5, 1, 1}, {0, 5, 1, 2}, {A.a, B.b, A.b, A.c}},
    {"edge b->c, partner b->c", {0, 1, 2, 2}, {3, 2, 1, 1}, {0, 1, 3, 2}, {A.a, A.b, B.a, A.c}},
    {"edge c->a, partner a->b", {0, 1, 2, 2}, {0, 2, 3, 3}, {0, 1, 2, 3}, {A.a, A.b, A.c, B.c}},
    {"split quad (a, b, c) + (a, c, d)", {4, 5, 6, 6}, {4, 6, 7, 7}, {4, 5, 6, 7}, {A.a, A.b, A.c, B.c}},
    // Edge a->b has a negative apex; the search goes on and b->c matches.
    {"negative apex skipped", {0, 1, -1, -1}, {1, 0, -1, -1}, {0, 1, 0, -1}, {A.a, A.b, B.b, A.c}},
    // Quadrangles that repeat a corner were split like any other and come back like any other.
    {"quadrangle (a, b, c, a)", {0, 1, 2, 2}, {0, 2, 0, 0}, {0, 1, 2, 0}, {A.a, A.b, A.c, B.c}},
    {"apex equal to the edge's end on a->b", {0, 1, 2, 2}, {1, 0, 1, 1}, {0, 1, 1, 2}, {A.a, B.c, A.b, A.c}},
    {"apex equal to the edge's start on b->c", {0, 1, 2, 2}, {2, 1, 1, 1}, {0, 1, 1, 2}, {A.a, A.b, B.c, A.c}},
    {"degenerate first (a, b, b) along c->a", {0, 1, 1, 1}, {0, 1, 3, 3}, {0, 1, 1, 3}, {A.a, A.b, A.c, B.c}},
    // a->b would make the dead (0, 0, 1, 0), b->c the triangle (0, 1, 0, 0); c->a makes a quadrangle.
    {"dead and triangle results passed over", {0, 1, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 1}, {A.a, A.b, A.c, B.a}},
};

TEST(MergeTrianglePair, MatchingPairsBecomeTheQuadrangle) {
  for (const MergeCase& c : kMerges) {
    SCOPED_TRACE(c.what);
    PolygonRecord polygons[2] = {c.first, c.partner};
    EXPECT_TRUE(IsTrianglePair(polygons, 0, 1));

    UvwRecord first = FirstUvw();
    const UvwRecord partner = PartnerUvw();
    ASSERT_TRUE(MergeTrianglePair(polygons, &first, &partner, 0, 1));
    EXPECT_TRUE(Same(polygons[0], c.quad)) << Text(polygons[0]);
    EXPECT_TRUE(Same(polygons[1], PolygonRecord{0, 0, 0, 0})) << Text(polygons[1]);
    EXPECT_TRUE(Same(first, c.uvw));
    EXPECT_TRUE(Same(partner, PartnerUvw())) << "the partner's UVW record is only read";
  }
}

TEST(MergeTrianglePair, WithoutUvwOnlyTheRecordsChange) {
  for (const MergeCase& c : kMerges) {
    SCOPED_TRACE(c.what);
    PolygonRecord polygons[2] = {c.first, c.partner};
    ASSERT_TRUE(MergeTrianglePair(polygons, nullptr, nullptr, 0, 1));
    EXPECT_TRUE(Same(polygons[0], c.quad)) << Text(polygons[0]);
    EXPECT_TRUE(Same(polygons[1], PolygonRecord{0, 0, 0, 0}));
  }
}

TEST(MergeTrianglePair, PairsFarApartInTheArray) {
  PolygonRecord polygons[5] = {{0, 1, 2, 2}, {7, 8, 9, 9}, {10, 11, 12, 13}, {1, 0, 3, 3}, {5, 5, 5, 5}};
  UvwRecord first = FirstUvw();
  const UvwRecord partner = PartnerUvw();
  ASSERT_TRUE(MergeTrianglePair(polygons, &first, &partner, 0, 3));
  EXPECT_TRUE(Same(polygons[0], PolygonRecord{0, 3, 1, 2}));
  EXPECT_TRUE(Same(polygons[3], PolygonRecord{0, 0, 0, 0}));
  EXPECT_TRUE(Same(polygons[1], PolygonRecord{7, 8, 9, 9})) << "other records stay";
  EXPECT_TRUE(Same(polygons[2], PolygonRecord{10, 11, 12, 13}));
}

struct NoPairCase {
  const char* what;
  PolygonRecord first;
  PolygonRecord partner;
};

const NoPairCase kNoPairs[] = {
    {"partner along a->b in the same direction", {0, 1, 2, 2}, {0, 1, 3, 3}},
    {"partner along c->a in the same direction", {0, 1, 2, 2}, {2, 0, 4, 4}},
    {"partner is a quadrangle", {0, 1, 2, 2}, {1, 0, 3, 4}},
    {"cleared partner against a first polygon using point 0", {0, 1, 2, 2}, {0, 0, 0, 0}},
    {"no shared point", {0, 1, 2, 2}, {3, 4, 5, 5}},
    {"one shared point only", {0, 1, 2, 2}, {1, 3, 4, 4}},
    {"negative apex on the only matching edge", {0, 1, 2, 2}, {1, 0, -1, -1}},
    // Merges that would not make a live quadrangle. A dead record (a == b) is dropped by the
    // compaction, losing the first triangle; one with c == d would count a quadrangle never made.
    {"a->b with apex a: dead (0, 0, 1, 2)", {0, 1, 2, 2}, {1, 0, 0, 0}},
    {"b->c with apex c: triangle (0, 1, 2, 2)", {0, 1, 2, 2}, {2, 1, 2, 2}},
    {"c->a with apex c: triangle (0, 1, 2, 2)", {0, 1, 2, 2}, {0, 2, 2, 2}},
    {"degenerate first (a, b, b) along a->b: triangle (0, 3, 1, 1)", {0, 1, 1, 1}, {1, 0, 3, 3}},
    {"dead first (a, a, c) along b->c: dead (0, 0, 3, 2)", {0, 0, 2, 2}, {2, 0, 3, 3}},
};

TEST(MergeTrianglePair, NonMatchingPairsChangeNothing) {
  for (const NoPairCase& c : kNoPairs) {
    SCOPED_TRACE(c.what);
    PolygonRecord polygons[2] = {c.first, c.partner};
    EXPECT_FALSE(IsTrianglePair(polygons, 0, 1));

    UvwRecord first = FirstUvw();
    const UvwRecord partner = PartnerUvw();
    EXPECT_FALSE(MergeTrianglePair(polygons, &first, &partner, 0, 1));
    EXPECT_TRUE(Same(polygons[0], c.first)) << Text(polygons[0]);
    EXPECT_TRUE(Same(polygons[1], c.partner)) << Text(polygons[1]);
    EXPECT_TRUE(Same(first, FirstUvw()));
  }
}

TEST(IsTrianglePair, AQuadrangleFirstHasItsDIgnoredAndCToAExamined) {
  PolygonRecord polygons[2] = {{0, 1, 2, 3}, {0, 2, 4, 4}};
  EXPECT_TRUE(IsTrianglePair(polygons, 0, 1)) << "c->a (2->0) is examined like an edge";
  polygons[1] = {0, 3, 4, 4};
  EXPECT_FALSE(IsTrianglePair(polygons, 0, 1)) << "the edge through d is not";
}

TEST(IsTrianglePair, OnlyReads) {
  PolygonRecord polygons[2] = {{0, 1, 2, 2}, {1, 0, 3, 3}};
  PolygonRecord before[2];
  std::memcpy(before, polygons, sizeof(polygons));
  EXPECT_TRUE(IsTrianglePair(polygons, 0, 1));
  EXPECT_EQ(0, std::memcmp(before, polygons, sizeof(polygons)));
}

TEST(MergeTrianglePair, FirstMatchingEdgeDecides) {
  // The reversed triangle (1, 0, 2) runs along all three edges of (0, 1, 2) the other way; a->b
  // is examined first and decides.
  PolygonRecord polygons[2] = {{0, 1, 2, 2}, {1, 0, 2, 2}};
  ASSERT_TRUE(MergeTrianglePair(polygons, nullptr, nullptr, 0, 1));
  EXPECT_TRUE(Same(polygons[0], PolygonRecord{0, 2, 1, 2})) << Text(polygons[0]);
}

}  // namespace
}  // namespace fm
