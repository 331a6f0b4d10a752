// The object, tag, selection, node and document tables on scenes built here.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/host/tables/host_fixture.h"

namespace fm::host::testkit {
namespace {

UvwRecord Uvw(double v) {
  UvwRecord r;
  r.a = {v, 0, 0};
  r.b = {0, v, 0};
  r.c = {0, 0, v};
  r.d = {v, v, v};
  return r;
}

class SceneTables : public HostTest {
 protected:
  // mesh: n triangles (i, i+1, i+2), a UVW tag, a plain tag, a selection tag, another UVW tag and
  // a 4-byte-per-polygon tag of another type.
  PolygonObject& Mesh(const std::string& name, int32_t n, Object* parent = nullptr) {
    PolygonObject& o = doc().AddPolygonObject(name, parent);
    for (int32_t i = 0; i < n + 2; ++i) o.Points().push_back({double(i), 1, 2});
    for (int32_t i = 0; i < n; ++i) o.Polygons().push_back({i, i + 1, i + 2, i + 2});
    UvwTag& uvw = o.AddUvwTag("uv");
    for (int32_t i = 0; i < n; ++i) uvw.Set(i, Uvw(i + 1));
    o.EmplaceTag<Tag>(5616, "phong");
    o.AddPolygonSelectionTag("group");
    o.AddUvwTag("uv2");
    auto& other = o.EmplaceTag<VariableTag>(6100, ElementKind::Polygon, 4, n);
    for (int32_t i = 0; i < n; ++i) std::memcpy(other.Record(i), &i, 4);
    return o;
  }
  Document& doc() { return env.ActiveDocument(); }
  void* Doc() { return &doc(); }
};

TEST_F(SceneTables, ElementDataIsTheObjectsOwnAndWritableInPlace) {
  PolygonObject& o = Mesh("mesh", 3);
  EXPECT_EQ(view.ObjectTagDataCount(&o, 5600), 5);
  EXPECT_EQ(view.ObjectTagDataCount(&o, 5604), 3);
  EXPECT_EQ(view.ObjectTagDataCount(&o, 6100), 3);
  EXPECT_EQ(view.ObjectTagDataCount(&o, 1234), 0);
  auto* polygons = static_cast<PolygonRecord*>(view.ObjectTagDataWritable(&o, 5604));
  ASSERT_EQ(polygons, o.Polygons().data());
  polygons[2] = {7, 7, 7, 7};
  EXPECT_EQ(o.Polygons()[2], (PolygonRecord{7, 7, 7, 7}));
  EXPECT_EQ(view.ObjectTagDataWritable(&o, 5600), o.Points().data());
  EXPECT_EQ(view.ObjectTagDataWritable(&o, 9999), nullptr);

  Object& group = doc().AddGroupObject("group");
  EXPECT_EQ(view.ObjectTagDataCount(&group, 5604), 0);
  EXPECT_EQ(view.ObjectTagDataWritable(&group, 5604), nullptr);
  EXPECT_EQ(view.ObjectPolygonSelection(&group), nullptr);
  EXPECT_FALSE(view.ObjectResize(&group, 0, 0));
}

TEST_F(SceneTables, TagsAreFoundWalkedAndReadTheWayAModuleDoes) {
  PolygonObject& o = Mesh("mesh", 4);
  void* uvwTag = view.ObjectFindTag(&o, 5671, 0);
  ASSERT_EQ(uvwTag, static_cast<Node*>(o.FindTag(5671, 0)));
  EXPECT_EQ(view.Name(view.ObjectFindTag(&o, 5671, 1)), "uv2");
  EXPECT_EQ(view.ObjectFindTag(&o, 5671, 2), nullptr);

  std::vector<int32_t> types;
  for (void* tag = view.ObjectFirstTag(&o); tag; tag = view.NodeNext(tag)) {
    types.push_back(view.NodeGetType(tag));
  }
  EXPECT_EQ(types, (std::vector<int32_t>{5671, 5616, 5673, 5671, 6100}));

  void* handle = view.TagGetDataHandle(uvwTag);
  ASSERT_NE(handle, nullptr);
  UvwRecord r;
  view.UvwGet(handle, 3, &r);
  EXPECT_EQ(r, Uvw(4));
  view.UvwSet(handle, 0, &r);
  EXPECT_EQ(static_cast<UvwTag*>(o.FindTag(5671))->Get(0), Uvw(4));

  view.UvwGet(handle, 4, &r);  // beyond the records: zeros
  EXPECT_EQ(r, UvwRecord{});
  const UvwRecord far = Uvw(9);
  view.UvwSet(handle, -1, &far);
  EXPECT_EQ(env.Diagnostics().size(), 2u);
  EXPECT_EQ(static_cast<UvwTag*>(o.FindTag(5671))->Count(), 4);

  void* groupTag = view.ObjectFindTag(&o, 5673, 0);
  EXPECT_EQ(view.Name(groupTag), "group");
  EXPECT_EQ(view.TagGetSelection(groupTag),
            &static_cast<SelectionTag*>(o.FindTag(5673))->Elements());
  EXPECT_EQ(view.TagGetSelection(uvwTag), nullptr);
  EXPECT_EQ(view.TagGetDataHandle(groupTag), nullptr);
  EXPECT_EQ(view.TagGetSelection(&o), nullptr);  // an object is no tag
}

TEST_F(SceneTables, SelectionsHaveOneBitPerIndex) {
  PolygonObject& o = Mesh("mesh", 4);
  void* sel = view.ObjectPolygonSelection(&o);
  ASSERT_EQ(sel, &o.PolygonSelection());
  EXPECT_EQ(view.SelectionCount(sel), 0);
  view.SelectionSelect(sel, 2);
  view.SelectionSelect(sel, 100);  // beyond the polygons: grows
  view.SelectionSelect(sel, 2);
  EXPECT_EQ(view.SelectionCount(sel), 2);
  EXPECT_TRUE(view.SelectionIsSelected(sel, 100));
  EXPECT_FALSE(view.SelectionIsSelected(sel, 101));
  EXPECT_FALSE(view.SelectionIsSelected(sel, 5000));
  EXPECT_FALSE(view.SelectionIsSelected(sel, -1));
  view.SelectionDeselect(sel, 2);
  view.SelectionDeselect(sel, 7000);
  EXPECT_EQ(o.PolygonSelection().Indices(), (std::vector<int32_t>{100}));
  view.SelectionSelect(sel, -3);
  EXPECT_EQ(view.SelectionCount(nullptr), 0);
  EXPECT_EQ(env.Diagnostics().size(), 2u);
}

TEST_F(SceneTables, ResizeKeepsTheFirstRecordsOfPolygonsAndEveryPerPolygonTag) {
  PolygonObject& o = Mesh("mesh", 6);
  o.PolygonSelection().Select(1);
  o.PolygonSelection().Select(5);
  auto& group = static_cast<SelectionTag&>(*o.FindTag(5673));
  group.Elements().Select(3);
  group.Elements().Select(4);

  ASSERT_TRUE(view.ObjectResize(&o, 8, 4));

  EXPECT_EQ(view.ObjectTagDataCount(&o, 5604), 4);
  EXPECT_EQ(view.ObjectTagDataCount(&o, 5600), 8);
  auto* polygons = static_cast<PolygonRecord*>(view.ObjectTagDataWritable(&o, 5604));
  void* uv = view.TagGetDataHandle(view.ObjectFindTag(&o, 5671, 0));
  void* uv2 = view.TagGetDataHandle(view.ObjectFindTag(&o, 5671, 1));
  const auto& other = static_cast<VariableTag&>(*o.FindTag(6100));
  ASSERT_EQ(other.Count(), 4);
  for (int32_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(polygons[i], (PolygonRecord{i, i + 1, i + 2, i + 2}));
    UvwRecord r;
    view.UvwGet(uv, i, &r);
    EXPECT_EQ(r, Uvw(i + 1));
    view.UvwGet(uv2, i, &r);
    EXPECT_EQ(r, UvwRecord{});
    int32_t value;
    std::memcpy(&value, other.Record(i), 4);
    EXPECT_EQ(value, i);
  }
  EXPECT_EQ(o.PolygonSelection().Indices(), (std::vector<int32_t>{1}));
  EXPECT_EQ(group.Elements().Indices(), (std::vector<int32_t>{3}));
  EXPECT_TRUE(env.Diagnostics().empty());
}

TEST_F(SceneTables, ARefusedResizeChangesNothing) {
  PolygonObject& o = Mesh("mesh", 5);
  const ObjectState before = o.Capture();
  env.Faults().refuseResize = true;
  EXPECT_FALSE(view.ObjectResize(&o, 7, 2));
  env.Faults().refuseResize = false;
  EXPECT_FALSE(view.ObjectResize(&o, 7, -2));
  EXPECT_EQ(o.Polygons(), *before.polygons.records);
  EXPECT_EQ(static_cast<UvwTag*>(o.FindTag(5671))->Count(), 5);
}

TEST_F(SceneTables, NodesAreWalkedNamedAndMessaged) {
  Object& group = doc().AddGroupObject("group");
  PolygonObject& a = Mesh("a", 2, &group);
  Mesh("a child", 2, &a);
  Mesh("b", 2, &group);
  doc().AddGroupObject("tail");

  // Depth-first, parent before children, as a module's walk goes.
  std::vector<std::string> walked;
  auto walk = [&](auto& self, void* node) -> void {
    walked.push_back(view.Name(node) + "/" + std::to_string(view.NodeGetType(node)));
    for (void* child = view.NodeDown(node); child; child = view.NodeNext(child)) self(self, child);
  };
  walk(walk, &group);
  walk(walk, view.NodeNext(&group));
  EXPECT_EQ(walked, (std::vector<std::string>{"group/5140", "a/5100", "a child/5100", "b/5100",
                                              "tail/5140"}));
  EXPECT_EQ(view.NodeDown(view.ObjectFirstTag(&a)), nullptr);

  S name = reinterpret_cast<S>(0x1);  // raw result storage
  view.NodeGetName(&a, &name);
  EXPECT_EQ(ToUtf8(name), "a");
  EXPECT_EQ(ReferenceWord(name), 16);
  Release(name);

  view.NodeMessage(&a, 5);
  ASSERT_EQ(env.Ui().Events().size(), 1u);
  EXPECT_EQ(env.Ui().Events()[0].kind, UiEventKind::NodeMessage);
  EXPECT_EQ(env.Ui().Events()[0].value, 5);
  EXPECT_EQ(env.Ui().Events()[0].subject, static_cast<Node*>(&a));
  EXPECT_EQ(env.Ui().Events()[0].text, "a");
}

TEST_F(SceneTables, NodeArraysHoldTheSelectedObjectsInTreeOrder) {
  Object& group = doc().AddGroupObject("group");
  PolygonObject& a = Mesh("a", 2, &group);
  PolygonObject& child = Mesh("child", 2, &a);
  PolygonObject& b = Mesh("b", 2);
  b.SetSelected(true);
  child.SetSelected(true);
  group.SetSelected(true);

  void* array = view.NodeArrayAlloc();
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(view.NodeArrayCount(array), 0);
  for (int round = 0; round < 2; ++round) {  // filling again replaces the contents
    view.CollectSelectedObjects(Doc(), array, 0);
    ASSERT_EQ(view.NodeArrayCount(array), 3);
    EXPECT_EQ(view.NodeArrayGet(array, 0), static_cast<Node*>(&group));
    EXPECT_EQ(view.NodeArrayGet(array, 1), static_cast<Node*>(&child));
    EXPECT_EQ(view.NodeArrayGet(array, 2), static_cast<Node*>(&b));
  }
  EXPECT_EQ(view.NodeArrayGet(array, 3), nullptr);
  EXPECT_EQ(view.NodeArrayGet(array, -1), nullptr);
  EXPECT_TRUE(env.Diagnostics().empty());
  EXPECT_EQ(env.LiveNodeArrayCount(), 1u);
  view.NodeArrayFree(&array);
  EXPECT_EQ(array, nullptr);
  EXPECT_EQ(env.LiveNodeArrayCount(), 0u);
  view.NodeArrayFree(&array);  // a null variable is ignored
  view.NodeArrayFree(nullptr);
  EXPECT_TRUE(env.Diagnostics().empty());

  env.Faults().failNodeArrayAlloc = true;
  EXPECT_EQ(view.NodeArrayAlloc(), nullptr);
}

TEST_F(SceneTables, ForeignArraysAndDocumentsAreDiagnosedNotTouched) {
  uint64_t foreign[4] = {};  // large enough to be read as any host object's head
  void* variable = &foreign;
  view.NodeArrayFree(&variable);
  EXPECT_EQ(variable, static_cast<void*>(&foreign));
  EXPECT_EQ(view.NodeArrayCount(&foreign), 0);
  void* array = view.NodeArrayAlloc();
  view.CollectSelectedObjects(&foreign, array, 0);
  view.UndoStart(&foreign);
  EXPECT_EQ(env.Diagnostics().size(), 4u);
  view.NodeArrayFree(&array);
}

TEST_F(SceneTables, UndoOfAModuleRunRestoresEveryObjectByteForByte) {
  PolygonObject& a = Mesh("a", 6);
  PolygonObject& b = Mesh("b", 4);
  a.PolygonSelection().Select(4);
  const ObjectState aBefore = a.Capture();
  const ObjectState bBefore = b.Capture();
  const std::vector<uint8_t> uvBefore = static_cast<UvwTag*>(a.FindTag(5671))->Bytes();
  const std::vector<uint8_t> otherBefore = static_cast<VariableTag*>(a.FindTag(6100))->Bytes();

  view.UndoStart(Doc());
  for (PolygonObject* o : {&a, &b}) {
    view.UndoAdd(Doc(), 40, o);
    auto* polygons = static_cast<PolygonRecord*>(view.ObjectTagDataWritable(o, 5604));
    polygons[0] = {0, 0, 0, 0};
    void* uv = view.TagGetDataHandle(view.ObjectFindTag(o, 5671, 0));
    const UvwRecord zero{};
    view.UvwSet(uv, 1, &zero);
    view.SelectionSelect(view.TagGetSelection(view.ObjectFindTag(o, 5673, 0)), 0);
    view.SelectionDeselect(view.ObjectPolygonSelection(o), 4);
    view.ObjectResize(o, 3, 2);
    view.NodeMessage(o, 5);
  }
  view.UndoEnd(Doc());

  std::vector<UiEventKind> kinds;
  for (const UiEvent& e : env.Ui().Events()) kinds.push_back(e.kind);
  EXPECT_EQ(kinds, (std::vector<UiEventKind>{UiEventKind::UndoStart, UiEventKind::UndoAdd,
                                             UiEventKind::NodeMessage, UiEventKind::UndoAdd,
                                             UiEventKind::NodeMessage, UiEventKind::UndoEnd}));
  EXPECT_EQ(env.Ui().Events()[1].value, 40);
  EXPECT_EQ(env.Ui().Events()[1].text, "a");
  ASSERT_EQ(doc().Undo().GroupCount(), 1u);
  EXPECT_EQ(doc().Undo().Groups()[0].size(), 2u);

  ASSERT_TRUE(doc().Undo().Undo());
  EXPECT_EQ(a.Polygons(), *aBefore.polygons.records);
  EXPECT_EQ(a.Points(), *aBefore.points.records);
  EXPECT_EQ(a.PolygonSelection(), aBefore.polygonSelection);
  EXPECT_EQ(static_cast<UvwTag*>(a.FindTag(5671))->Bytes(), uvBefore);
  EXPECT_EQ(static_cast<VariableTag*>(a.FindTag(6100))->Bytes(), otherBefore);
  EXPECT_EQ(static_cast<SelectionTag*>(a.FindTag(5673))->Elements().Count(), 0);
  EXPECT_EQ(b.Polygons(), *bBefore.polygons.records);
  EXPECT_EQ(b.PointCount(), 6);
  EXPECT_TRUE(env.Diagnostics().empty());
}

TEST_F(SceneTables, UndoStepsThatCannotBeRecordedAsAskedAreDiagnosed) {
  PolygonObject& a = Mesh("a", 2);
  view.UndoAdd(Doc(), 40, &a);  // no group open: a group of its own
  EXPECT_TRUE(Diagnosed("group of its own"));
  EXPECT_EQ(doc().Undo().GroupCount(), 1u);
  view.UndoStart(Doc());
  view.UndoAdd(Doc(), 41, &a);
  EXPECT_TRUE(Diagnosed("kind 41"));
  Document& other = env.NewDocument("other");
  view.UndoAdd(&other, 40, &a);
  EXPECT_TRUE(Diagnosed("not in this document"));
  view.UndoEnd(&other);
  EXPECT_TRUE(Diagnosed("no undo group is open"));
}

TEST_F(SceneTables, UndoAddFindsAnObjectByItsTopLevelAncestor) {
  Object& group = doc().AddGroupObject("group");
  Object& inner = doc().AddGroupObject("inner", &group);
  PolygonObject& deep = Mesh("deep", 2, &inner);
  Document& home = doc();
  Document& other = env.NewDocument("other");
  PolygonObject& foreign = Mesh("foreign", 2, &other.AddGroupObject("elsewhere"));
  view.UndoStart(&home);
  view.UndoAdd(&home, 40, &deep);
  EXPECT_TRUE(env.Diagnostics().empty());
  view.UndoAdd(&home, 40, &foreign);
  EXPECT_TRUE(Diagnosed("\"foreign\" is not in this document"));
  view.UndoEnd(&home);
  ASSERT_EQ(home.Undo().Groups().size(), 1u);
  ASSERT_EQ(home.Undo().Groups()[0].size(), 1u);
  EXPECT_EQ(home.Undo().Groups()[0][0].object, &deep);
}

}  // namespace
}  // namespace fm::host::testkit
