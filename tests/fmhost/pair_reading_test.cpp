#include "host/fmhost/pair_reading.h"

#include <gtest/gtest.h>

#include <string>

#include "host/mesh/obj_reader.h"

namespace fm::host::fmhost {
namespace {

PolygonRecord Tri(int32_t a, int32_t b, int32_t c) { return PolygonRecord{a, b, c, c}; }

TEST(PairReading, ThePairTestIsTheCommandsEdgeSearch) {
  struct Case {
    const char* name;
    PolygonRecord first, partner;
    bool pair;
  };
  const Case cases[] = {
      {"a->b against pb->pa", Tri(0, 1, 2), Tri(1, 0, 3), true},
      {"a->b against pa->pc", Tri(0, 1, 2), Tri(0, 5, 1), true},
      {"b->c against pc->pb", Tri(0, 1, 2), Tri(3, 2, 1), true},
      {"c->a against pb->pa", Tri(0, 1, 2), Tri(0, 2, 3), true},
      {"same direction along a->b", Tri(0, 1, 2), Tri(0, 1, 3), false},
      {"same direction along c->a", Tri(0, 1, 2), Tri(2, 0, 4), false},
      {"partner a quadrangle", Tri(0, 1, 2), PolygonRecord{1, 0, 3, 4}, false},
      {"cleared partner", Tri(0, 1, 2), PolygonRecord{0, 0, 0, 0}, false},
      {"negative apex, no other edge", Tri(0, 1, 2), Tri(1, 0, -1), false},
      {"first a quadrangle: its d is ignored", PolygonRecord{0, 1, 2, 7}, Tri(0, 2, 3), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsTrianglePair(c.first, c.partner), c.pair);
  }
}

TEST(PairReading, TheLayoutIsReadByTheProbesOnPolygonZero) {
  struct Case {
    const char* name;
    std::vector<PolygonRecord> polygons;
    PairLayout layout;
    int64_t half;
    int64_t pairsWith;
  };
  const Case cases[] = {
      {"side by side", {Tri(0, 1, 2), Tri(0, 2, 3), Tri(4, 5, 6), Tri(4, 6, 7)},
       PairLayout::kAdjacent, 2, -1},
      {"halves", {Tri(0, 1, 2), Tri(4, 5, 6), Tri(0, 2, 3), Tri(4, 6, 7)},
       PairLayout::kHalves, 2, -1},
      // Polygon 1 is both polygon 0's neighbour and its half: halves is tried first.
      {"two triangles", {Tri(0, 1, 2), Tri(0, 2, 3)}, PairLayout::kHalves, 1, -1},
      {"partner further on", {Tri(0, 1, 2), Tri(4, 5, 6), Tri(4, 6, 7), Tri(0, 2, 3)},
       PairLayout::kNone, 2, 3},
      {"no partner", {Tri(0, 1, 2), Tri(4, 5, 6), Tri(4, 6, 7)}, PairLayout::kNone, 1, -1},
      {"one polygon", {Tri(0, 1, 2)}, PairLayout::kNone, 0, -1},
      {"none", {}, PairLayout::kNone, 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PairReading reading = ReadPairLayout(c.polygons);
    EXPECT_EQ(reading.layout, c.layout);
    EXPECT_EQ(reading.half, c.half);
    EXPECT_EQ(reading.polygon0PairsWith, c.pairsWith);
  }
}

TEST(PairReading, MergesFoldedFarApartAreCounted) {
  // Faces 0/1 flat, 2/3 folded at 90 degrees, 4/5 folded at 45 degrees, 6/7 with a degenerate
  // partner (vertex 8 on the line through 1 and 3); face 8 rewritten from its own corners only, in
  // the next object.
  const std::string text =
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 0 -1 1\nv 2 2 0\n"
      "f 1 2 3\nf 1 3 4\n"
      "f 1 2 3\nf 1 5 2\n"
      "f 1 2 3\nf 2 1 7\n"
      "f 1 2 3\nf 1 3 8\n"
      "o next\nf 1 2 3\n";
  mesh::MeshFile file;
  std::string error;
  ASSERT_TRUE(mesh::ParseObj(text, "in.obj", "stem", file, error)) << error;
  mesh::FaceTrace trace;
  trace.kept.assign(file.faces.size(), true);
  for (uint32_t first : {0u, 2u, 4u, 6u}) {
    mesh::RewrittenFace face;
    face.face = first;
    face.corners = 4;
    const uint32_t sources[4] = {first, first, first, first + 1};
    std::copy(sources, sources + 4, face.sourceFace);
    trace.rewritten.push_back(face);
    trace.kept[first + 1] = false;
  }
  mesh::RewrittenFace own;
  own.face = 8;
  own.corners = 3;
  const uint32_t sources[4] = {8, 8, 8, 8};
  std::copy(sources, sources + 4, own.sourceFace);
  trace.rewritten.push_back(own);

  // Counted in one run, and in two halves side by side (the first object's four merges two and two;
  // the second object's one rewritten face is too few to halve).
  for (size_t halvesFrom : {kCountFoldsInHalvesFrom, size_t{2}}) {
    SCOPED_TRACE("halves from " + std::to_string(halvesFrom));
    size_t next = 0;
    const FoldCount first = CountFolds(file, file.objects[0], trace, next, halvesFrom);
    EXPECT_EQ(first.merged, 4);
    EXPECT_EQ(first.folded, 1);
    EXPECT_EQ(next, 4u);
    const FoldCount second = CountFolds(file, file.objects[1], trace, next, halvesFrom);
    EXPECT_EQ(second.merged, 0);
    EXPECT_EQ(next, 5u);
  }
}

}  // namespace
}  // namespace fm::host::fmhost
