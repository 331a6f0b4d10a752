// Triangulated quad meshes come back from the command as their original polygons, UVW records and
// selections, and one undo restores the triangulated scene exactly.

#include <gtest/gtest.h>

#include <cstring>

#include "host/framework/memory.h"
#include "host/scene/tags.h"
#include "meshes.h"
#include "module_fixture.h"

namespace fm::test {
namespace {

using host::PolygonRecord;
using host::UiEventKind;

std::vector<int32_t> Indices(const host::Selection& selection) { return selection.Indices(); }

host::UvwRecord Uvw(double seed) {
  return {{seed, 0, 0}, {seed, 1, 0}, {seed, 2, 0}, {seed, 3, 0}};
}

// Everything a run may change, captured as bytes so that an undo can be compared exactly.
struct Snapshot {
  std::vector<host::Vector3> points;
  std::vector<PolygonRecord> polygons;
  std::vector<int32_t> selection;
  std::vector<std::vector<uint8_t>> tagBytes;
  std::vector<std::vector<int32_t>> tagSelections;
  bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const host::PolygonObject& object) {
  Snapshot s{object.Points(), object.Polygons(), Indices(object.PolygonSelection()), {}, {}};
  for (const auto& tag : object.Tags()) {
    if (auto* v = dynamic_cast<const host::VariableTag*>(tag.get())) s.tagBytes.push_back(v->Bytes());
    if (auto* t = dynamic_cast<const host::SelectionTag*>(tag.get()))
      s.tagSelections.push_back(Indices(t->Elements()));
  }
  return s;
}

struct RoundTripCase {
  const char* name;
  bool torus;
  Order order;
  bool uvw;
};

class RoundTrip : public ModuleFixture, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(RoundTrip, QuadsComeBackExactlyAndUndoRestoresTheTriangles) {
  const RoundTripCase& c = GetParam();
  const QuadMesh mesh = c.torus ? Torus(6, 4) : Grid(5, 3);
  const Triangulation tris = Triangulate(mesh, c.order);
  const int32_t q = static_cast<int32_t>(mesh.quads.size());

  host::PolygonObject& object = Doc().AddPolygonObject("Mesh");
  Fill(object, mesh, tris, c.uvw);
  // Two selection tags and the object's own selection, each over whole quads (both triangles),
  // as a host's triangulation leaves them.
  host::SelectionTag& evens = object.AddPolygonSelectionTag("evens");
  host::SelectionTag& band = object.AddPolygonSelectionTag("band");
  std::vector<int32_t> wantEvens, wantBand, wantObject;
  for (int32_t i = 0; i < q; ++i) {
    if (i % 2 == 0) {
      evens.Elements().Select(tris.firstIndex[i]);
      evens.Elements().Select(tris.secondIndex[i]);
      wantEvens.push_back(i);
    }
    if (i >= 3 && i < 9) {
      band.Elements().Select(tris.firstIndex[i]);
      band.Elements().Select(tris.secondIndex[i]);
      wantBand.push_back(i);
    }
    if (i % 5 == 1) {
      object.PolygonSelection().Select(tris.firstIndex[i]);
      object.PolygonSelection().Select(tris.secondIndex[i]);
      wantObject.push_back(i);
    }
  }
  object.SetSelected(true);
  const Snapshot before = Take(object);

  EXPECT_TRUE(Run());
  EXPECT_EQ(object.Points(), mesh.points);
  EXPECT_EQ(object.Polygons(), mesh.quads);
  if (c.uvw) {
    auto* tag = static_cast<host::UvwTag*>(object.FindTag(host::kUvwTagType));
    ASSERT_NE(tag, nullptr);
    ASSERT_EQ(tag->Count(), q);
    for (int32_t i = 0; i < q; ++i) EXPECT_EQ(tag->Get(i), mesh.uvw[i]) << "quad " << i;
  } else {
    EXPECT_EQ(object.FindTag(host::kUvwTagType), nullptr);
  }
  EXPECT_EQ(Indices(evens.Elements()), wantEvens);
  EXPECT_EQ(Indices(band.Elements()), wantBand);
  EXPECT_EQ(Indices(object.PolygonSelection()), wantObject);
  EXPECT_EQ(Console()[5], "Mesh: " + std::to_string(q) + " Quadrangles");

  ASSERT_TRUE(Doc().Undo().Undo());
  EXPECT_EQ(Take(object), before);
}

INSTANTIATE_TEST_SUITE_P(
    Meshes, RoundTrip,
    ::testing::Values(RoundTripCase{"GridSideBySideUvw", false, Order::SideBySide, true},
                      RoundTripCase{"GridHalvesUvw", false, Order::Halves, true},
                      RoundTripCase{"GridSideBySide", false, Order::SideBySide, false},
                      RoundTripCase{"GridHalves", false, Order::Halves, false},
                      RoundTripCase{"TorusSideBySideUvw", true, Order::SideBySide, true},
                      RoundTripCase{"TorusHalvesUvw", true, Order::Halves, true},
                      RoundTripCase{"TorusHalves", true, Order::Halves, false}),
    [](const auto& info) { return std::string(info.param.name); });

class Untriangulate : public ModuleFixture {
 protected:
  host::PolygonObject& Object(std::vector<PolygonRecord> polygons, int32_t points = 16) {
    host::PolygonObject& object = Doc().AddPolygonObject("Obj");
    object.Points().resize(points);
    object.Polygons() = std::move(polygons);
    object.SetSelected(true);
    return object;
  }
  std::string Line() { return Console().size() > 5 ? Console()[5] : ""; }
};

// T0 T1 pair side by side, T2 T3 pair side by side, and T0 T2 also pair (half = 2).
std::vector<PolygonRecord> AmbiguousPairs() {
  return {{0, 1, 2, 2}, {1, 0, 3, 3}, {2, 1, 4, 4}, {4, 1, 5, 5}};
}

TEST_F(Untriangulate, HalvesProbeComesBeforeAdjacent) {
  host::PolygonObject& object = Object(AmbiguousPairs());
  EXPECT_TRUE(Run());
  // Halves: (0,2) merge, (1,3) do not pair.
  EXPECT_EQ(Line(), "Obj: 1 Quadrangles");
  EXPECT_EQ(object.Polygons(), (std::vector<PolygonRecord>{{0, 1, 4, 2}, {1, 0, 3, 3}, {4, 1, 5, 5}}));
}

TEST_F(Untriangulate, TwoSelectedNeighboursHintAdjacent) {
  host::PolygonObject& object = Object(AmbiguousPairs());
  object.PolygonSelection().Select(2);
  object.PolygonSelection().Select(3);
  EXPECT_TRUE(Run());
  EXPECT_EQ(Line(), "Obj: 2 Quadrangles");
  EXPECT_EQ(object.Polygons(), (std::vector<PolygonRecord>{{0, 3, 1, 2}, {2, 1, 5, 4}}));
}

TEST_F(Untriangulate, TwoSelectedHalvesPartnersHintHalves) {
  // Neither probe pairs (polygon 0 is a quadrangle far away), but 1 and 3 do.
  std::vector<PolygonRecord> polygons = {{10, 11, 12, 13}, {0, 1, 2, 2}, {6, 7, 8, 9}, {1, 0, 3, 3}};
  {
    host::PolygonObject& object = Object(polygons);
    EXPECT_TRUE(Run());
    EXPECT_EQ(Line(), "Obj: 0 Quadrangles");
    EXPECT_EQ(object.Polygons(), polygons);
  }
  Ui().Clear();
  host::PolygonObject& hinted = Doc().AddPolygonObject("Hinted");
  hinted.Points().resize(16);
  hinted.Polygons() = polygons;
  hinted.PolygonSelection().Select(1);
  hinted.PolygonSelection().Select(3);
  Doc().FindObject("Obj")->SetSelected(false);
  hinted.SetSelected(true);
  EXPECT_TRUE(Run());
  EXPECT_EQ(Console()[5], "Hinted: 1 Quadrangles");
  EXPECT_EQ(hinted.Polygons(),
            (std::vector<PolygonRecord>{{10, 11, 12, 13}, {0, 3, 1, 2}, {6, 7, 8, 9}}));
}

TEST_F(Untriangulate, OneOrThreeSelectedPolygonsGiveNoHint) {
  for (std::vector<int32_t> selected : {std::vector<int32_t>{2}, std::vector<int32_t>{1, 2, 3}}) {
    SCOPED_TRACE(selected.size());
    Ui().Clear();
    host::PolygonObject& object = Doc().AddPolygonObject("Obj");
    object.Points().resize(16);
    object.Polygons() = AmbiguousPairs();
    for (int32_t i : selected) object.PolygonSelection().Select(i);
    for (host::Object* o : Doc().AllObjects()) o->SetSelected(o == &object);
    EXPECT_TRUE(Run());
    EXPECT_EQ(Console()[5], "Obj: 1 Quadrangles");  // the Halves probe, as without a selection
  }
}

TEST_F(Untriangulate, NoLayoutLeavesTheObjectUntouchedWithoutUndoRecord) {
  std::vector<PolygonRecord> polygons = {{0, 1, 2, 2}, {0, 1, 3, 3}, {5, 6, 7, 7}};
  host::PolygonObject& object = Object(polygons);
  EXPECT_TRUE(Run());
  EXPECT_EQ(Line(), "Obj: 0 Quadrangles");
  EXPECT_EQ(object.Polygons(), polygons);
  EXPECT_EQ(Count(UiEventKind::UndoAdd), 0u);
  EXPECT_EQ(Count(UiEventKind::NodeMessage), 0u);
}

TEST_F(Untriangulate, MixedQuadsAndTrianglesKeepTheirOrder) {
  // The worked example: T0 T1 T2 T3 Q4 become Q0 Q2 Q4, UVW records of 0, 2, 4 move to 0, 1, 2.
  host::PolygonObject& object = Object({{0, 1, 2, 2}, {0, 2, 3, 3}, {4, 5, 6, 6}, {4, 6, 7, 7},
                                        {8, 9, 10, 11}});
  host::UvwTag& uvw = object.AddUvwTag();
  for (int32_t i = 0; i < 5; ++i) uvw.Set(i, Uvw(i));
  EXPECT_TRUE(Run());
  EXPECT_EQ(Line(), "Obj: 2 Quadrangles");
  EXPECT_EQ(object.Polygons(),
            (std::vector<PolygonRecord>{{0, 1, 2, 3}, {4, 5, 6, 7}, {8, 9, 10, 11}}));
  ASSERT_EQ(uvw.Count(), 3);
  // A merged record keeps its first three corners and takes the partner's apex corner.
  host::UvwRecord merged0 = Uvw(0);
  merged0.d = Uvw(1).c;
  host::UvwRecord merged2 = Uvw(2);
  merged2.d = Uvw(3).c;
  EXPECT_EQ(uvw.Get(0), merged0);
  EXPECT_EQ(uvw.Get(1), merged2);
  EXPECT_EQ(uvw.Get(2), Uvw(4));
}

TEST_F(Untriangulate, OnlyTheFirstUvwTagIsCarried) {
  host::PolygonObject& object = Object({{0, 1, 2, 2}, {0, 2, 3, 3}, {4, 5, 6, 6}, {4, 6, 7, 7}});
  host::UvwTag& first = object.AddUvwTag("first");
  host::UvwTag& second = object.AddUvwTag("second");
  for (int32_t i = 0; i < 4; ++i) {
    first.Set(i, Uvw(i));
    second.Set(i, Uvw(10 + i));
  }
  EXPECT_TRUE(Run());
  ASSERT_EQ(second.Count(), 2);
  EXPECT_EQ(second.Get(0), Uvw(10));  // only shortened by the host's resize
  EXPECT_EQ(second.Get(1), Uvw(11));
  EXPECT_EQ(first.Get(1).a, Uvw(2).a);  // moved from index 2
}

TEST_F(Untriangulate, ResizeRefusedAnswersZeroAndUndoStillRestores) {
  std::vector<PolygonRecord> polygons = {{0, 1, 2, 2}, {0, 2, 3, 3}};
  host::PolygonObject& object = Object(polygons);
  Env().Faults().refuseResize = true;
  EXPECT_TRUE(Run());
  EXPECT_EQ(Line(), "Obj: 0 Quadrangles");
  EXPECT_EQ(Count(UiEventKind::UndoAdd), 1u);
  EXPECT_EQ(Count(UiEventKind::NodeMessage), 0u);
  ASSERT_TRUE(Doc().Undo().Undo());
  EXPECT_EQ(object.Polygons(), polygons);
}

TEST_F(Untriangulate, PreExistingDeadRecordsAreRemoved) {
  host::PolygonObject& object = Object({{0, 1, 2, 2}, {0, 2, 3, 3}, {5, 5, 6, 7}, {8, 9, 10, 11}});
  object.PolygonSelection().Select(2);  // the dead record's bit goes with it
  EXPECT_TRUE(Run());
  EXPECT_EQ(Line(), "Obj: 1 Quadrangles");
  EXPECT_EQ(object.Polygons(), (std::vector<PolygonRecord>{{0, 1, 2, 3}, {8, 9, 10, 11}}));
  EXPECT_TRUE(Indices(object.PolygonSelection()).empty());
}

TEST_F(Untriangulate, SelectionsFollowTheirPolygons) {
  // T0 T1 T2 T3 then six quadrangles: Q7 moves to index 5, and index 7 is then Q9.
  std::vector<PolygonRecord> polygons = {{0, 1, 2, 2}, {0, 2, 3, 3}, {4, 5, 6, 6}, {4, 6, 7, 7}};
  for (int32_t i = 0; i < 6; ++i) polygons.push_back({20 + i, 30 + i, 40 + i, 50 + i});
  host::PolygonObject& object = Object(polygons, 64);
  host::SelectionTag& tag = object.AddPolygonSelectionTag("sel");
  object.PolygonSelection().Select(7);
  tag.Elements().Select(7);
  EXPECT_TRUE(Run());
  ASSERT_EQ(object.PolygonCount(), 8);
  EXPECT_EQ(object.Polygons()[5], polygons[7]);
  EXPECT_EQ(Indices(object.PolygonSelection()), std::vector<int32_t>{5});
  EXPECT_EQ(Indices(tag.Elements()), std::vector<int32_t>{5});
}

TEST_F(Untriangulate, AbsorbedPartnersBitGoesToItsQuadrangle) {
  // Only the second triangle of the first pair is selected; after the merge the quadrangle made
  // of it is selected, and the bit lands on no other polygon.
  host::PolygonObject& object = Object({{0, 1, 2, 2}, {0, 2, 3, 3}, {4, 5, 6, 6}, {4, 6, 7, 7}});
  host::SelectionTag& tag = object.AddPolygonSelectionTag("sel");
  object.PolygonSelection().Select(1);
  tag.Elements().Select(3);
  EXPECT_TRUE(Run());
  EXPECT_EQ(Indices(object.PolygonSelection()), std::vector<int32_t>{0});
  EXPECT_EQ(Indices(tag.Elements()), std::vector<int32_t>{1});
}

}  // namespace
}  // namespace fm::test

namespace fm::test {
namespace {

// What a host may fail to give: the command treats it as nothing to merge, no selection or no
// UVW, and never crashes.
class HostRefusals : public ModuleFixture {
 protected:
  host::PolygonObject& Pairs() {
    host::PolygonObject& object = Doc().AddPolygonObject("Obj");
    object.Points().resize(8);
    object.Polygons() = {{0, 1, 2, 2}, {0, 2, 3, 3}, {4, 5, 6, 6}, {4, 6, 7, 7}};
    object.SetSelected(true);
    return object;
  }
};

TEST_F(HostRefusals, CompactionCopyRefusedLeavesTheObjectUntouched) {
  host::PolygonObject& object = Pairs();
  const std::vector<PolygonRecord> before = object.Polygons();
  // The copy for the compaction is the only block the module asks for during a run.
  host::AllocationFault().Nth(1);
  EXPECT_TRUE(Run());
  host::AllocationFault().Off();
  EXPECT_EQ(Console()[5], "Obj: 0 Quadrangles");
  EXPECT_EQ(object.Polygons(), before);
  EXPECT_EQ(Count(UiEventKind::UndoAdd), 0u);
  EXPECT_EQ(Count(UiEventKind::NodeMessage), 0u);
}

TEST_F(HostRefusals, PolygonsWithoutAnArrayAreNothingToDo) {
  host::PolygonObject& object = Pairs();
  Env().Faults().nullPolygonArray = true;
  EXPECT_TRUE(Run());
  EXPECT_EQ(Console(), (std::vector<std::string>{kRule, "Facetmender 1.01.0", kRule, Text(10003), kRule}));
  EXPECT_EQ(object.PolygonCount(), 4);
}

TEST_F(HostRefusals, NullSelectionIsAnEmptySelection) {
  host::PolygonObject& object = Pairs();
  Env().Faults().nullPolygonSelection = true;
  EXPECT_TRUE(Run());
  EXPECT_EQ(Console()[5], "Obj: 2 Quadrangles");
  EXPECT_EQ(object.Polygons(), (std::vector<PolygonRecord>{{0, 1, 2, 3}, {4, 5, 6, 7}}));
}

TEST_F(HostRefusals, UvwTagWithoutDataIsNoUvw) {
  host::PolygonObject& object = Pairs();
  host::UvwTag& uvw = object.AddUvwTag();
  for (int32_t i = 0; i < 4; ++i) uvw.Set(i, Uvw(i));
  Env().Faults().nullUvwHandle = true;
  EXPECT_TRUE(Run());
  EXPECT_EQ(Console()[5], "Obj: 2 Quadrangles");
  EXPECT_EQ(object.Polygons(), (std::vector<PolygonRecord>{{0, 1, 2, 3}, {4, 5, 6, 7}}));
  // Untouched by the module; only shortened by the host's resize.
  ASSERT_EQ(uvw.Count(), 2);
  EXPECT_EQ(uvw.Get(0), Uvw(0));
  EXPECT_EQ(uvw.Get(1), Uvw(1));
}

}  // namespace
}  // namespace fm::test
