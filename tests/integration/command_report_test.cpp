// The command's run as the host sees it: console report, status bar, user-interface state, undo
// and update request, in order, through the real host tables.

#include <gtest/gtest.h>

#include "meshes.h"
#include "module_fixture.h"

namespace fm::test {
namespace {

using host::UiEventKind;

// Two triangles forming one quadrangle, side by side.
void AddPair(host::PolygonObject& object) {
  object.Points() = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  object.Polygons() = {{0, 1, 2, 2}, {0, 2, 3, 3}};
}

// A triangulated w x 1 grid, pairs side by side: w merges possible.
host::PolygonObject& AddStrip(host::Document& doc, const std::string& name, int w,
                              host::Object* parent = nullptr) {
  host::PolygonObject& object = doc.AddPolygonObject(name, parent);
  QuadMesh mesh = Grid(w, 1);
  Fill(object, mesh, Triangulate(mesh, Order::SideBySide), false);
  return object;
}

class CommandReport : public ModuleFixture {
 protected:
  std::vector<std::string> NothingToDo() const {
    return {kRule, "Facetmender 1.01.0", kRule, Text(10003), kRule};
  }

  std::vector<std::string> Report(int polygons, const std::vector<std::string>& objects,
                                  int merged) const {
    std::vector<std::string> lines = {kRule, "Facetmender 1.01.0", kRule,
                                      Text(10001) + std::to_string(polygons) + " Polygons", " "};
    lines.insert(lines.end(), objects.begin(), objects.end());
    lines.push_back(" ");
    lines.push_back(std::to_string(merged) + Text(10002));
    lines.push_back(kRule);
    return lines;
  }

  void ExpectNothingToDo() {
    EXPECT_TRUE(Run());
    EXPECT_EQ(Console(), NothingToDo());
    auto boxes = Ui().OfKind(UiEventKind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Text(10003));
    EXPECT_EQ(boxes[0].value, 48);
    EXPECT_EQ(Ui().UiState(), 2);
    EXPECT_EQ(Ui().StatusText(), "");
    // The undo group is opened and closed even with nothing to do.
    EXPECT_EQ(Count(UiEventKind::UndoStart), 1u);
    EXPECT_EQ(Count(UiEventKind::UndoEnd), 1u);
    EXPECT_EQ(Count(UiEventKind::UndoAdd), 0u);
  }
};

TEST_F(CommandReport, NoSelectedObjectIsNothingToDo) {
  AddStrip(Doc(), "Unselected", 2);
  ExpectNothingToDo();
  EXPECT_EQ(Doc().FindObject("Unselected")->PolygonCount(), 4);
}

TEST_F(CommandReport, SelectionWithoutPolygonObjectsIsNothingToDo) {
  host::Object& group = Doc().AddGroupObject("Group");
  Doc().AddGroupObject("Inner", &group);
  group.SetSelected(true);
  ExpectNothingToDo();
}

TEST_F(CommandReport, SingleTriangleIsNothingToDo) {
  host::PolygonObject& object = Doc().AddPolygonObject("Tri");
  object.Points() = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  object.Polygons() = {{0, 1, 2, 2}};
  object.SetSelected(true);
  ExpectNothingToDo();
  EXPECT_EQ(object.PolygonCount(), 1);
}

TEST_F(CommandReport, RunWithWorkDrivesTheHostInOrder) {
  // Four quads: with three, triangle 0 would also pair with triangle 3 and the Halves probe win.
  host::PolygonObject& object = AddStrip(Doc(), "Strip", 4);
  object.SetSelected(true);
  EXPECT_TRUE(Run());

  std::vector<std::string> got;
  for (const host::UiEvent& e : Ui().Events()) got.push_back(host::Describe(e));
  std::vector<host::UiEvent> expected = {
      {UiEventKind::PrintLine, kRule},
      {UiEventKind::PrintLine, "Facetmender 1.01.0"},
      {UiEventKind::PrintLine, kRule},
      {UiEventKind::UiState, "", 3},
      {UiEventKind::UndoStart, ""},
      {UiEventKind::StatusProgress, "", 0},
      {UiEventKind::PrintLine, Text(10001) + "8 Polygons"},
      {UiEventKind::PrintLine, " "},
      {UiEventKind::StatusText, Text(10001) + "Strip"},
      {UiEventKind::UndoAdd, "Strip", 40},
      {UiEventKind::NodeMessage, "Strip", 5},
      {UiEventKind::PrintLine, "Strip: 4 Quadrangles"},
      {UiEventKind::StatusProgress, "", 100},
      {UiEventKind::StatusReset, ""},
      {UiEventKind::UndoEnd, ""},
      {UiEventKind::UiState, "", 2},
      {UiEventKind::HostUpdate, "", 0},
      {UiEventKind::PrintLine, " "},
      {UiEventKind::PrintLine, "4" + Text(10002)},
      {UiEventKind::PrintLine, kRule},
  };
  std::vector<std::string> want;
  for (const host::UiEvent& e : expected) want.push_back(host::Describe(e));
  EXPECT_EQ(got, want);
  EXPECT_EQ(object.PolygonCount(), 4);
}

TEST_F(CommandReport, GroupDescendantsAreWalkedDepthFirstParentFirst) {
  host::Object& group = Doc().AddGroupObject("Group");
  AddStrip(Doc(), "A", 1, &group);
  host::Object& inner = Doc().AddGroupObject("Inner", &group);
  host::PolygonObject& b = AddStrip(Doc(), "B", 2, &inner);
  AddStrip(Doc(), "C", 1, &b);  // a polygon object below a polygon object
  AddStrip(Doc(), "D", 1, &group);
  AddStrip(Doc(), "NotSelected", 1);
  group.SetSelected(true);
  EXPECT_TRUE(Run());
  EXPECT_EQ(Console(), Report(10, {"A: 1 Quadrangles", "B: 2 Quadrangles", "C: 1 Quadrangles",
                                   "D: 1 Quadrangles"},
                              5));
  EXPECT_EQ(Doc().FindObject("NotSelected")->PolygonCount(), 2);
  EXPECT_EQ(Ui().OfKind(UiEventKind::StatusProgress).back().value, 100);
}

TEST_F(CommandReport, ObjectListedTwiceIsWalkedTwice) {
  host::Object& group = Doc().AddGroupObject("Group");
  host::PolygonObject& a = AddStrip(Doc(), "A", 2, &group);
  group.SetSelected(true);
  a.SetSelected(true);
  EXPECT_TRUE(Run());
  // Counted twice (2 + 2), merged once: the second visit finds quadrangles and no layout.
  EXPECT_EQ(Console(), Report(8, {"A: 2 Quadrangles", "A: 0 Quadrangles"}, 2));
  EXPECT_EQ(Ui().OfKind(UiEventKind::StatusProgress).back().value, 50);
  EXPECT_EQ(a.PolygonCount(), 2);
}

TEST_F(CommandReport, OddPolygonCountsRoundDown) {
  host::PolygonObject& object = Doc().AddPolygonObject("Odd");
  // T0 T1 form a pair, Q2 is a quadrangle, T3 T4 form a pair: 5 polygons count as 4.
  object.Points() = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}};
  object.Polygons() = {{0, 1, 2, 2}, {0, 2, 3, 3}, {1, 4, 5, 2}, {0, 1, 2, 2}, {0, 2, 3, 3}};
  object.SetSelected(true);
  EXPECT_TRUE(Run());
  EXPECT_EQ(Console(), Report(4, {"Odd: 2 Quadrangles"}, 2));
  EXPECT_EQ(object.PolygonCount(), 3);
}

TEST_F(CommandReport, ObjectWithoutLayoutStillReportsZero) {
  host::PolygonObject& quads = Doc().AddPolygonObject("Quads");
  quads.Points() = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  quads.Polygons() = {{0, 1, 2, 3}, {0, 1, 2, 3}};
  host::PolygonObject& pair = Doc().AddPolygonObject("Pair");
  AddPair(pair);
  quads.SetSelected(true);
  pair.SetSelected(true);
  EXPECT_TRUE(Run());
  EXPECT_EQ(Console(), Report(4, {"Quads: 0 Quadrangles", "Pair: 1 Quadrangles"}, 1));
  // Only the object that changed was recorded for undo and announced.
  ASSERT_EQ(Count(UiEventKind::UndoAdd), 1u);
  EXPECT_EQ(Ui().OfKind(UiEventKind::UndoAdd)[0].text, "Pair");
  EXPECT_EQ(Count(UiEventKind::NodeMessage), 1u);
  EXPECT_EQ(Ui().OfKind(UiEventKind::StatusProgress).back().value, 50);
}

TEST_F(CommandReport, NodeArrayRefusedAnswersFalseSilently) {
  AddStrip(Doc(), "Strip", 1).SetSelected(true);
  Env().Faults().failNodeArrayAlloc = true;
  std::optional<bool> answer = Host().Execute(kCommandId, &Doc());
  ASSERT_TRUE(answer.has_value());
  EXPECT_FALSE(*answer);
  EXPECT_TRUE(Ui().Events().empty());
}

TEST_F(CommandReport, StateFollowsTheObjectSelection) {
  host::Object& group = Doc().AddGroupObject("Group");
  EXPECT_EQ(Host().State(kCommandId, &Doc()), 0);
  group.SetSelected(true);  // any object type enables the command
  EXPECT_EQ(Host().State(kCommandId, &Doc()), 0x40000000);
  Env().Faults().failNodeArrayAlloc = true;
  EXPECT_EQ(Host().State(kCommandId, &Doc()), 0);
}

}  // namespace
}  // namespace fm::test
