#include "host/scene/undo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "host/scene/document.h"

namespace fm::host {
namespace {

// Every byte of an object's state that a module can change, in one string.
std::string Bytes(const PolygonObject& object) {
  std::string out;
  auto add = [&out](const void* data, size_t size) {
    out.append(static_cast<const char*>(data), size);
    out.push_back('|');
  };
  add(object.Points().data(), object.Points().size() * sizeof(Vector3));
  add(object.Polygons().data(), object.Polygons().size() * sizeof(PolygonRecord));
  auto addSelection = [&](const Selection& s) {
    for (int32_t i = 0; i < s.StoredRange(); ++i) out.push_back(s.IsSelected(i) ? '1' : '0');
    out.push_back('|');
  };
  addSelection(object.PolygonSelection());
  for (const auto& tag : object.Tags()) {
    out += tag->Name() + ":";
    if (auto* data = dynamic_cast<const VariableTag*>(tag.get()))
      add(data->Bytes().data(), data->Bytes().size());
    if (auto* sel = dynamic_cast<const SelectionTag*>(tag.get())) addSelection(sel->Elements());
  }
  return out;
}

PolygonObject& Mesh(Document& document, const std::string& name, int32_t n) {
  PolygonObject& object = document.AddPolygonObject(name);
  for (int32_t i = 0; i < n + 2; ++i) object.Points().push_back({i * 1.5, -i * 0.25, 3});
  for (int32_t i = 0; i < n; ++i) object.Polygons().push_back({i, i + 1, i + 2, i + 2});
  UvwTag& uvw = object.AddUvwTag("uv");
  for (int32_t i = 0; i < n; ++i) {
    UvwRecord r;
    r.a = {i * 0.1, 0.5, 0};
    r.c = {1, i * 0.2, 0};
    uvw.Set(i, r);
  }
  object.AddPolygonSelectionTag("sel").Elements().Select(n - 1);
  object.PolygonSelection().Select(0);
  object.PolygonSelection().Select(n - 1);
  return object;
}

// What a module does to an object after recording it: edits in place, then resizes.
void Scramble(PolygonObject& object) {
  object.Polygons()[0] = {9, 9, 9, 9};
  auto* uvw = static_cast<UvwTag*>(object.FindTag(kUvwTagType));
  uvw->Set(1, UvwRecord{});
  object.PolygonSelection().Deselect(0);
  object.PolygonSelection().Select(40);
  object.Resize(object.PointCount() - 1, 2);
}

TEST(UndoHistory, OneUndoRestoresEveryObjectOfTheGroupByteForByte) {
  Document document;
  PolygonObject& a = Mesh(document, "a", 6);
  PolygonObject& b = Mesh(document, "b", 5);
  const std::string aBefore = Bytes(a);
  const std::string bBefore = Bytes(b);

  UndoHistory& undo = document.Undo();
  undo.Start();
  EXPECT_EQ(undo.Add(kUndoChangeObject, a), UndoHistory::AddResult::Added);
  Scramble(a);
  EXPECT_EQ(undo.Add(kUndoChangeObject, b), UndoHistory::AddResult::Added);
  Scramble(b);
  EXPECT_TRUE(undo.End());
  ASSERT_NE(Bytes(a), aBefore);

  EXPECT_TRUE(undo.Undo());
  EXPECT_EQ(Bytes(a), aBefore);
  EXPECT_EQ(Bytes(b), bBefore);
  EXPECT_EQ(undo.GroupCount(), 0u);
  EXPECT_FALSE(undo.Undo());
}

TEST(UndoHistory, AnObjectCapturedTwiceReturnsToItsEarliestState) {
  Document document;
  PolygonObject& a = Mesh(document, "a", 4);
  const std::string before = Bytes(a);
  UndoHistory& undo = document.Undo();
  undo.Start();
  undo.Add(kUndoChangeObject, a);
  Scramble(a);
  undo.Add(kUndoChangeObject, a);
  a.Resize(1, 1);
  undo.End();
  undo.Undo();
  EXPECT_EQ(Bytes(a), before);
}

TEST(UndoHistory, GroupsNestAndOnlyTheOutermostPairMakesAGroup) {
  Document document;
  PolygonObject& a = Mesh(document, "a", 4);
  UndoHistory& undo = document.Undo();
  undo.Start();
  undo.Start();
  undo.Add(kUndoChangeObject, a);
  EXPECT_TRUE(undo.End());
  EXPECT_TRUE(undo.GroupOpen());
  EXPECT_FALSE(undo.Undo());  // not while a group is open
  EXPECT_TRUE(undo.End());
  EXPECT_FALSE(undo.End());
  EXPECT_EQ(undo.GroupCount(), 1u);
}

TEST(UndoHistory, UndoesGroupsNewestFirstAndKeepsEmptyGroups) {
  Document document;
  PolygonObject& a = Mesh(document, "a", 4);
  const std::string original = Bytes(a);
  UndoHistory& undo = document.Undo();
  undo.Start();
  undo.Add(kUndoChangeObject, a);
  a.Resize(6, 3);
  undo.End();
  const std::string afterFirst = Bytes(a);
  undo.Start();  // an empty group: a run that had nothing to do
  undo.End();
  undo.Start();
  undo.Add(kUndoChangeObject, a);
  Scramble(a);
  undo.End();

  EXPECT_EQ(undo.GroupCount(), 3u);
  EXPECT_TRUE(undo.Undo());
  EXPECT_EQ(Bytes(a), afterFirst);
  EXPECT_TRUE(undo.Undo());  // the empty group
  EXPECT_EQ(Bytes(a), afterFirst);
  EXPECT_TRUE(undo.Undo());
  EXPECT_EQ(Bytes(a), original);
}

TEST(UndoHistory, AStepOutsideAGroupBecomesItsOwnGroup) {
  Document document;
  PolygonObject& a = Mesh(document, "a", 3);
  const std::string before = Bytes(a);
  UndoHistory& undo = document.Undo();
  EXPECT_EQ(undo.Add(kUndoChangeObject, a), UndoHistory::AddResult::AddedAsOwnGroup);
  Scramble(a);
  EXPECT_EQ(undo.Add(7, a), UndoHistory::AddResult::UnknownKind);
  EXPECT_EQ(undo.GroupCount(), 1u);
  EXPECT_TRUE(undo.Undo());
  EXPECT_EQ(Bytes(a), before);
}

// A module takes the array pointers first and announces the change after; its writes through them
// must not reach what the undo keeps. The capture copies them then (a large copy in two halves).
TEST(UndoHistory, WritesThroughArraysLentBeforeTheCaptureAreUndone) {
  for (int32_t size : {5, 200000}) {
    SCOPED_TRACE(size);
    Document document;
    PolygonObject& a = Mesh(document, "a", size);
    const std::string before = Bytes(a);
    Vector3* points = a.LendPoints();
    PolygonRecord* polygons = a.LendPolygons();
    ASSERT_NE(points, nullptr);
    ASSERT_NE(polygons, nullptr);
    UndoHistory& undo = document.Undo();
    undo.Start();
    undo.Add(kUndoChangeObject, a);
    points[1] = {7, 7, 7};
    polygons[2] = {0, 0, 0, 0};
    polygons[size - 1] = {1, 1, 1, 1};
    a.Resize(a.PointCount(), 3);
    undo.End();
    ASSERT_NE(Bytes(a), before);
    EXPECT_TRUE(undo.Undo());
    EXPECT_TRUE(Bytes(a) == before);
  }
}

// An array built by a rule that is still the rule's when it is captured is kept as the rule (no
// copy); written through the lent pointer first, or changed by the host, it is copied. Either way
// one undo brings the records of the capture back. The large size has the rule checked on two
// threads (the write lands in the second half).
TEST(UndoHistory, LentPolygonsStillTheirRulesAreKeptAsTheRuleAndUndoneByteForByte) {
  using Rule = SharedArray<PolygonRecord>::Rule;
  const auto rule = std::make_shared<const Rule>([](size_t first, size_t count, PolygonRecord* out) {
    for (size_t i = 0; i < count; ++i) {
      const auto k = static_cast<int32_t>(first + i);
      out[i] = PolygonRecord{k, k + 1, k + 2, k + 2};
    }
  });
  enum class Before { kNothing, kWriteThroughLent, kWriteByHost };
  for (const int32_t size : {5, 300000}) {
    for (const Before before : {Before::kNothing, Before::kWriteThroughLent, Before::kWriteByHost}) {
      SCOPED_TRACE(testing::Message() << size << " " << static_cast<int>(before));
      Document document;
      PolygonObject& a = document.AddPolygonObject("a");
      a.Points().resize(static_cast<size_t>(size) + 2);
      for (int32_t i = 0; i < size; ++i) a.Polygons().push_back({i, i + 1, i + 2, i + 2});
      a.SetPolygonsRule(rule);
      PolygonRecord* polygons = a.LendPolygons();
      ASSERT_NE(polygons, nullptr);
      if (before == Before::kWriteThroughLent) polygons[size - 2] = {4, 4, 4, 4};
      if (before == Before::kWriteByHost) {
        a.Polygons()[0] = {0, 1, 2, 2};  // the rule's own record, but a change all the same
        polygons = a.LendPolygons();
      }
      const std::vector<PolygonRecord> captured = std::as_const(a).Polygons();
      EXPECT_EQ(a.Capture().polygons.records == nullptr, before == Before::kNothing);
      UndoHistory& undo = document.Undo();
      undo.Start();
      undo.Add(kUndoChangeObject, a);
      polygons[1] = {9, 9, 9, 9};
      polygons[size - 1] = {8, 8, 8, 8};
      a.Resize(a.PointCount(), 3);
      undo.End();
      ASSERT_NE(std::as_const(a).Polygons(), captured);
      EXPECT_TRUE(undo.Undo());
      EXPECT_TRUE(std::as_const(a).Polygons() == captured);
    }
  }
}

// Points held without a copy belong to someone else: no write through the object, the host's or a
// module's, before or after an undo, ever lands in them.
TEST(UndoHistory, BorrowedPointsAreNeverWrittenAndComeBackOnUndo) {
  std::vector<Vector3> file;
  for (int i = 0; i < 6; ++i) file.push_back({i * 1.0, 2.0, -i * 0.5});
  const std::vector<Vector3> original = file;
  Document document;
  PolygonObject& a = document.AddPolygonObject("a");
  a.BorrowPoints(file);
  EXPECT_EQ(std::as_const(a).Points().data(), file.data());
  UndoHistory& undo = document.Undo();
  undo.Start();
  undo.Add(kUndoChangeObject, a);
  a.Points()[0] = {9, 9, 9};
  a.LendPoints()[1] = {8, 8, 8};
  undo.End();
  EXPECT_EQ(file, original);
  ASSERT_TRUE(undo.Undo());
  EXPECT_EQ(std::as_const(a).Points(), original);
  // Nothing else holds the records now, and they are still not this object's to write.
  a.LendPoints()[2] = {7, 7, 7};
  a.Resize(3, 0);
  EXPECT_EQ(file, original);
  EXPECT_EQ(std::as_const(a).Points().size(), 3u);
}

// Records kept in the compact form span several chunks here, so that a change in one chunk, a cut
// inside another and growth beyond all of them are each undone.
TEST(UndoHistory, RestoresACompactUvwTagOfManyRecordsEveryOne) {
  Document document;
  PolygonObject& a = document.AddPolygonObject("many");
  UvwTag& uvw = a.AddUvwTag();
  constexpr int32_t kCount = 150000;
  const auto origin = [](int32_t i) {
    const auto corner = [&](double k) { return Vector3{double(i), k, 0}; };
    return UvwRecord{corner(0), corner(1), corner(2), corner(2)};
  };
  for (int32_t i = 0; i < kCount; ++i) {
    a.Polygons().push_back({0, 0, 0, 0});
    uvw.Append(origin(i));
  }
  ASSERT_TRUE(uvw.Compact());
  UndoHistory& undo = document.Undo();
  undo.Start();
  undo.Add(kUndoChangeObject, a);
  uvw.Set(5, origin(9));
  uvw.Set(kCount - 1, origin(1));
  a.Resize(0, 70000);
  a.Resize(0, 200000);
  uvw.Set(199999, origin(3));
  undo.End();
  EXPECT_TRUE(undo.Undo());
  EXPECT_TRUE(uvw.Compact());
  ASSERT_EQ(uvw.Count(), kCount);
  int32_t differing = 0;
  for (int32_t i = 0; i < kCount; ++i) differing += uvw.Get(i) == origin(i) ? 0 : 1;
  EXPECT_EQ(differing, 0);
}

}  // namespace
}  // namespace fm::host
