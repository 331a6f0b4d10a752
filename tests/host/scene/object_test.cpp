#include "host/scene/object.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host/scene/document.h"

namespace fm::host {
namespace {

UvwRecord Uvw(double base) {
  UvwRecord r;
  r.a = {base, base + 0.1, 0};
  r.b = {base + 1, base + 1.1, 0};
  r.c = {base + 2, base + 2.1, 0};
  r.d = {base + 3, base + 3.1, 1};
  return r;
}

// A polygon object with n polygons (i, i+1, i+2, i+2), a UVW tag, two selection tags, a
// per-polygon tag of another type with 3-byte records, and a plain tag.
struct Fixture {
  Document document;
  PolygonObject* object;
  UvwTag* uvw;
  SelectionTag* groupA;
  SelectionTag* groupB;
  VariableTag* other;

  explicit Fixture(int32_t n) {
    object = &document.AddPolygonObject("mesh");
    for (int32_t i = 0; i < n + 2; ++i) object->Points().push_back({double(i), 0, 0});
    for (int32_t i = 0; i < n; ++i) object->Polygons().push_back({i, i + 1, i + 2, i + 2});
    uvw = &object->AddUvwTag();
    for (int32_t i = 0; i < n; ++i) uvw->Set(i, Uvw(i));
    object->EmplaceTag<Tag>(5616);
    groupA = &object->AddPolygonSelectionTag("a");
    other = &object->EmplaceTag<VariableTag>(6000, ElementKind::Polygon, 3, n);
    for (int32_t i = 0; i < n; ++i) std::memset(other->Record(i), 'A' + i, 3);
    groupB = &object->AddPolygonSelectionTag("b");
  }
};

TEST(PolygonObjectResize, KeepsTheFirstRecordsOfPolygonsAndEveryPerPolygonTag) {
  Fixture f(6);
  f.object->PolygonSelection().Select(1);
  f.object->PolygonSelection().Select(4);
  f.groupA->Elements().Select(5);
  f.groupB->Elements().Select(0);
  f.groupB->Elements().Select(3);

  ASSERT_TRUE(f.object->Resize(8, 4));

  EXPECT_EQ(f.object->PointCount(), 8);
  ASSERT_EQ(f.object->PolygonCount(), 4);
  for (int32_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(f.object->Polygons()[i], (PolygonRecord{i, i + 1, i + 2, i + 2}));
    EXPECT_EQ(f.uvw->Get(i), Uvw(i));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.other->Record(i)), 3),
              std::string(3, static_cast<char>('A' + i)));
  }
  EXPECT_EQ(f.uvw->Count(), 4);
  EXPECT_EQ(f.other->Count(), 4);
  EXPECT_EQ(f.object->PolygonSelection().Indices(), (std::vector<int32_t>{1}));
  EXPECT_EQ(f.groupA->Elements().Count(), 0);
  EXPECT_EQ(f.groupB->Elements().Indices(), (std::vector<int32_t>{0, 3}));
  EXPECT_LE(f.groupB->Elements().StoredRange(), 4);
}

TEST(PolygonObjectResize, GrowingZeroFillsNewRecords) {
  Fixture f(2);
  ASSERT_TRUE(f.object->Resize(4, 5));
  EXPECT_EQ(f.object->Polygons()[1], (PolygonRecord{1, 2, 3, 3}));
  EXPECT_EQ(f.object->Polygons()[4], PolygonRecord{});
  EXPECT_EQ(f.uvw->Get(4), UvwRecord{});
  EXPECT_EQ(f.other->Count(), 5);
  EXPECT_EQ(f.object->Points().size(), 4u);
}

TEST(PolygonObjectResize, RefusesNegativeCountsAndChangesNothing) {
  Fixture f(3);
  const auto before = f.object->Capture();
  EXPECT_FALSE(f.object->Resize(-1, 2));
  EXPECT_FALSE(f.object->Resize(5, -2));
  EXPECT_EQ(f.object->Polygons(), *before.polygons.records);
  EXPECT_EQ(f.object->Points(), *before.points.records);
  EXPECT_EQ(f.uvw->Count(), 3);
}

TEST(ObjectTree, LinksChildrenSiblingsAndTagsTheWayAModuleWalksThem) {
  Document document;
  Object& group = document.AddGroupObject("group");
  PolygonObject& first = document.AddPolygonObject("first", &group);
  Object& second = document.AddGroupObject("second", &group);
  PolygonObject& grandchild = document.AddPolygonObject("grandchild", &first);
  Object& top2 = document.AddGroupObject("top2");

  EXPECT_EQ(group.Down(), &first);
  EXPECT_EQ(first.Next(), &second);
  EXPECT_EQ(second.Next(), nullptr);
  EXPECT_EQ(first.Down(), &grandchild);
  EXPECT_EQ(group.Next(), &top2);
  EXPECT_EQ(grandchild.Parent(), &first);
  EXPECT_EQ(group.Type(), kNullObjectType);
  EXPECT_EQ(first.Type(), kPolygonObjectType);

  Tag& t0 = first.EmplaceTag<Tag>(5616);
  UvwTag& t1 = first.AddUvwTag();
  UvwTag& t2 = first.AddUvwTag("second uvw");
  EXPECT_EQ(first.FirstTag(), &t0);
  EXPECT_EQ(t0.Next(), &t1);
  EXPECT_EQ(t2.Next(), nullptr);
  EXPECT_EQ(t1.Down(), nullptr);
  EXPECT_EQ(first.FindTag(kUvwTagType, 0), &t1);
  EXPECT_EQ(first.FindTag(kUvwTagType, 1), &t2);
  EXPECT_EQ(first.FindTag(kUvwTagType, 2), nullptr);
  EXPECT_EQ(first.FindTag(kUvwTagType, -1), nullptr);
  EXPECT_EQ(t1.Host(), &first);

  std::vector<std::string> names;
  for (Object* o : document.AllObjects()) names.push_back(o->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"group", "first", "grandchild", "second", "top2"}));
}

TEST(ObjectTree, SelectedObjectsComeInTreeOrderDepthFirst) {
  Document document;
  Object& group = document.AddGroupObject("group");
  PolygonObject& child = document.AddPolygonObject("child", &group);
  PolygonObject& grandchild = document.AddPolygonObject("grandchild", &child);
  PolygonObject& top = document.AddPolygonObject("top");
  top.SetSelected(true);
  grandchild.SetSelected(true);
  group.SetSelected(true);
  EXPECT_EQ(document.SelectedObjects(), (std::vector<Object*>{&group, &grandchild, &top}));
  EXPECT_EQ(document.FindObject("grandchild"), &grandchild);
  EXPECT_EQ(document.FindObject("none"), nullptr);
}

TEST(ObjectTree, ClearedDocumentStartsAfreshAndForgetsItsUndoSteps) {
  Document document("scene");
  PolygonObject& old = document.AddPolygonObject("old");
  document.Undo().Add(kUndoChangeObject, old);
  document.Clear();
  EXPECT_TRUE(document.Objects().empty());
  EXPECT_EQ(document.Undo().GroupCount(), 0u);
  EXPECT_FALSE(document.Undo().Undo());
  EXPECT_EQ(document.Name(), "scene");

  Object& first = document.AddGroupObject("first");
  EXPECT_EQ(document.FirstObject(), &first);
  EXPECT_EQ(first.Next(), nullptr);
  EXPECT_EQ(document.FindObject("old"), nullptr);
}

}  // namespace
}  // namespace fm::host
