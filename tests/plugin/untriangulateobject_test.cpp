// UntriangulateObject against a fake host that keeps its objects, tags and selections as plain
// containers and logs every call that changes something or that the order matters for.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "facetmender.h"
#include "hosttables.h"
#include "memberentry.h"
#include "maxon/systeminterface.h"
#include "quadmesh.h"

namespace fm {
namespace {

// ---- the fake host's scene ---------------------------------------------------------------------

struct FakeNode {
  virtual ~FakeNode() = default;
  FakeNode* next = nullptr;
  int32_t type = 0;
  int32_t GetType() { return type; }
  void* Next() { return next; }
  void Message(int32_t id, void* data);
};

struct FakeSelection {
  std::set<int32_t> bits;
};

struct FakeTag : FakeNode {
  FakeSelection selection;   // polygon-selection tags
  std::vector<UvwRecord> uvw;  // UVW tags
  bool hasHandle = true;
};

struct FakeObject : FakeNode {
  std::vector<PolygonRecord> polygons;
  int32_t points = 100;
  FakeSelection selection;
  std::vector<std::unique_ptr<FakeTag>> tags;
  bool noArray = false;
  bool noSelection = false;
  bool refuseResize = false;
  std::vector<PolygonRecord> atUndo;  // the polygons when the undo record was made

  FakeObject() { type = kPolygonObject; }
  FakeTag& AddTag(int32_t tagType) {
    tags.push_back(std::make_unique<FakeTag>());
    FakeTag& tag = *tags.back();
    tag.type = tagType;
    if (tags.size() > 1) tags[tags.size() - 2]->next = &tag;
    if (tagType == kUvwTag) tag.uvw.resize(polygons.size());
    return tag;
  }
};

std::vector<std::string> g_log;
int g_allocationsLeft = 1 << 30;

void FakeNode::Message(int32_t id, void*) { g_log.push_back("message " + std::to_string(id)); }

FakeObject* AsObject(void* p) { return static_cast<FakeObject*>(static_cast<FakeNode*>(p)); }
FakeTag* AsTag(void* p) { return static_cast<FakeTag*>(static_cast<FakeNode*>(p)); }
FakeSelection* AsSelection(void* p) { return static_cast<FakeSelection*>(p); }

// ---- its tables --------------------------------------------------------------------------------

using test::SetMember;

void* FakeAllocClear(int64_t size, const maxon::AllocationSite*) {
  if (g_allocationsLeft-- <= 0) return nullptr;
  return std::calloc(1, static_cast<size_t>(size));
}

void FakeFree(void* object, void (*destructor)(void*)) {
  if (object == nullptr) return;
  if (destructor != nullptr) destructor(object);
  std::free(object);
}

struct Host : ::testing::Test {
  ObjectTable object{};
  TagTable tag{};
  SelectionTable selection{};
  DocumentTable document{};
  NodeTable node{};
  HostTables tables{};
  const HostTables* savedTables = nullptr;
  void* savedAlloc = nullptr;
  void* savedFree = nullptr;
  int doc = 0;

  void SetUp() override {
    g_log.clear();
    g_allocationsLeft = 1 << 30;
    object.ObjectTagDataWritable = [](void* o, int32_t type, int32_t) -> void* {
      FakeObject* obj = AsObject(o);
      return type == kPolygonData && !obj->noArray ? obj->polygons.data() : nullptr;
    };
    object.ObjectTagDataCount = [](void* o, int32_t type) -> int32_t {
      FakeObject* obj = AsObject(o);
      return type == kPointData ? obj->points : static_cast<int32_t>(obj->polygons.size());
    };
    object.ObjectPolygonSelection = [](void* o) -> void* {
      FakeObject* obj = AsObject(o);
      return obj->noSelection ? nullptr : &obj->selection;
    };
    object.ObjectFirstTag = [](void* o) -> void* {
      FakeObject* obj = AsObject(o);
      return obj->tags.empty() ? nullptr : static_cast<FakeNode*>(obj->tags.front().get());
    };
    object.ObjectFindTag = [](void* o, int32_t type, int32_t index) -> void* {
      for (auto& t : AsObject(o)->tags) {
        if (t->type == type && index-- == 0) return static_cast<FakeNode*>(t.get());
      }
      return nullptr;
    };
    object.ObjectResize = [](void* o, int32_t points, int32_t polygons) {
      FakeObject* obj = AsObject(o);
      g_log.push_back("resize " + std::to_string(points) + " " + std::to_string(polygons));
      if (obj->refuseResize) return false;
      obj->polygons.resize(static_cast<size_t>(polygons));
      for (auto& t : obj->tags) {
        if (t->type == kUvwTag) t->uvw.resize(static_cast<size_t>(polygons));
      }
      return true;
    };
    tag.TagGetSelection = [](void* t) -> void* { return &AsTag(t)->selection; };
    tag.TagGetDataHandle = [](void* t) -> void* { return AsTag(t)->hasHandle ? t : nullptr; };
    tag.UvwGet = [](void* h, int32_t i, UvwRecord* out) {
      g_log.push_back("uvw get " + std::to_string(i));
      *out = AsTag(h)->uvw.at(static_cast<size_t>(i));
    };
    tag.UvwSet = [](void* h, int32_t i, const UvwRecord* in) { AsTag(h)->uvw.at(static_cast<size_t>(i)) = *in; };
    selection.SelectionCount = [](void* s) { return static_cast<int32_t>(AsSelection(s)->bits.size()); };
    selection.SelectionSelect = [](void* s, int32_t i) { AsSelection(s)->bits.insert(i); };
    selection.SelectionDeselect = [](void* s, int32_t i) { AsSelection(s)->bits.erase(i); };
    selection.SelectionIsSelected = [](void* s, int32_t i) { return AsSelection(s)->bits.count(i) != 0; };
    document.UndoAdd = [](void*, int32_t kind, void* n, void*) {
      g_log.push_back("undo " + std::to_string(kind));
      AsObject(n)->atUndo = AsObject(n)->polygons;
    };
    SetMember<&FakeNode::GetType>(node.NodeGetType);
    SetMember<&FakeNode::Next>(node.NodeNext);
    SetMember<&FakeNode::Message>(node.NodeMessage);

    tables.version = 21000;
    tables.object = &object;
    tables.tag = &tag;
    tables.selection = &selection;
    tables.document = &document;
    tables.node = &node;
    savedTables = g_hostTables;
    g_hostTables = &tables;

    // The framework's allocator, bound the way the host's binder would bind it.
    void** methods = maxon::g_systemInterface.methods;
    savedAlloc = methods[maxon::SYSTEM_ALLOC_CLEAR];
    savedFree = methods[maxon::SYSTEM_FREE_WITH_DESTRUCTOR];
    methods[maxon::SYSTEM_ALLOC_CLEAR] = reinterpret_cast<void*>(&FakeAllocClear);
    methods[maxon::SYSTEM_FREE_WITH_DESTRUCTOR] = reinterpret_cast<void*>(&FakeFree);
  }

  void TearDown() override {
    g_hostTables = savedTables;
    maxon::g_systemInterface.methods[maxon::SYSTEM_ALLOC_CLEAR] = savedAlloc;
    maxon::g_systemInterface.methods[maxon::SYSTEM_FREE_WITH_DESTRUCTOR] = savedFree;
  }

  int32_t Process(FakeObject& obj) { return UntriangulateObject(&doc, static_cast<FakeNode*>(&obj), 1); }
  int32_t Count(FakeObject& obj) { return UntriangulateObject(&doc, static_cast<FakeNode*>(&obj), 0); }

  static bool Logged(const std::string& call) {
    for (const std::string& c : g_log) {
      if (c == call) return true;
    }
    return false;
  }
};

std::string Text(const std::vector<PolygonRecord>& polygons) {
  std::string s;
  for (const PolygonRecord& p : polygons) {
    s += "(" + std::to_string(p.a) + " " + std::to_string(p.b) + " " + std::to_string(p.c) + " " +
         std::to_string(p.d) + ")";
  }
  return s;
}

UvwRecord Marked(double m) { return {{m + 0.1, 0, 0}, {m + 0.2, 0, 0}, {m + 0.3, 0, 0}, {m + 0.4, 0, 0}}; }

// T0 T1 T2 T3 Q4: two pairs of disjoint quadrangles split in order, then a quadrangle.
FakeObject AdjacentExample() {
  FakeObject obj;
  obj.polygons = {{0, 1, 2, 2}, {0, 2, 3, 3}, {4, 5, 6, 6}, {4, 6, 7, 7}, {8, 9, 10, 11}};
  return obj;
}

// ---- tests -------------------------------------------------------------------------------------

TEST_F(Host, CountingPassOnlyCounts) {
  for (int32_t n : {0, 1, 2, 7}) {
    SCOPED_TRACE(n);
    FakeObject obj;
    obj.polygons.assign(static_cast<size_t>(n), PolygonRecord{0, 1, 2, 2});
    const std::vector<PolygonRecord> before = obj.polygons;
    g_log.clear();
    EXPECT_EQ(n / 2, Count(obj));
    EXPECT_EQ(Text(before), Text(obj.polygons));
    EXPECT_TRUE(g_log.empty());
  }
}

TEST_F(Host, MergesCompactsAndCarriesUvw) {
  FakeObject obj = AdjacentExample();
  FakeTag& uvw = obj.AddTag(kUvwTag);
  for (size_t i = 0; i < 5; ++i) uvw.uvw[i] = Marked(10.0 * static_cast<double>(i));

  EXPECT_EQ(2, Process(obj));
  EXPECT_EQ("(0 1 2 3)(4 5 6 7)(8 9 10 11)", Text(obj.polygons));
  ASSERT_EQ(3u, uvw.uvw.size());
  // Diagonal c->a: the partner's c corner becomes the quadrangle's d.
  EXPECT_EQ(0.3, uvw.uvw[0].c.u);
  EXPECT_EQ(10.3, uvw.uvw[0].d.u);
  EXPECT_EQ(20.1, uvw.uvw[1].a.u);
  EXPECT_EQ(30.3, uvw.uvw[1].d.u);
  EXPECT_EQ(40.4, uvw.uvw[2].d.u) << "the quadrangle's UVW moves with it";

  EXPECT_EQ("(0 1 2 2)(0 2 3 3)(4 5 6 6)(4 6 7 7)(8 9 10 11)", Text(obj.atUndo)) << "recorded before any change";
  ASSERT_GE(g_log.size(), 2u);
  EXPECT_EQ("resize 100 3", g_log[g_log.size() - 2]) << "points unchanged";
  EXPECT_EQ("message 5", g_log.back());
}

TEST_F(Host, WithoutALayoutNothingHappens) {
  FakeObject obj;
  obj.polygons = {{0, 1, 2, 2}, {5, 6, 7, 7}, {8, 9, 10, 10}};
  const std::string before = Text(obj.polygons);
  EXPECT_EQ(0, Process(obj));
  EXPECT_EQ(before, Text(obj.polygons));
  EXPECT_TRUE(g_log.empty()) << "no undo record, no resize, no message";

  FakeObject single;
  single.polygons = {{0, 1, 2, 2}};
  EXPECT_EQ(0, Process(single));
  EXPECT_TRUE(g_log.empty());
}

TEST_F(Host, SelectionsFollowThePolygons) {
  // T0 T1 Q2 D3 Q4 Q5 Q6 Q7: one pair (0, 1), a dead record 3 that was there before.
  FakeObject obj;
  obj.polygons = {{0, 1, 2, 2}, {0, 2, 3, 3}, {24, 25, 26, 27}, {9, 9, 9, 9},
                  {30, 31, 32, 33}, {34, 35, 36, 37}, {38, 39, 40, 41}, {42, 43, 44, 45}};
  // Adjacent: (0, 1) merge; 3 is dead; 7 moves to 5.
  obj.selection.bits = {1, 3, 7};
  FakeTag& first = obj.AddTag(kPolygonSelectionTag);
  obj.AddTag(kUvwTag);
  FakeTag& second = obj.AddTag(kPolygonSelectionTag);
  first.selection.bits = {2, 7};
  second.selection.bits = {0, 1, 6};

  EXPECT_EQ(1, Process(obj));
  EXPECT_EQ("(0 1 2 3)(24 25 26 27)(30 31 32 33)(34 35 36 37)(38 39 40 41)(42 43 44 45)", Text(obj.polygons));
  EXPECT_EQ((std::set<int32_t>{0, 5}), obj.selection.bits)
      << "the absorbed partner's bit goes to its quadrangle, the dead record's is cleared, 7 moves to 5";
  EXPECT_EQ((std::set<int32_t>{1, 5}), first.selection.bits);
  EXPECT_EQ((std::set<int32_t>{0, 4}), second.selection.bits);
}

TEST_F(Host, ADroppedRecordsBitNeverLandsOnAnotherPolygon) {
  // The dead record at 2 is replaced by Q3 at index 2; Q3 is not selected and must stay so.
  FakeObject obj;
  obj.polygons = {{0, 1, 2, 2}, {0, 2, 3, 3}, {5, 5, 6, 6}, {10, 11, 12, 13}};
  obj.selection.bits = {2};
  EXPECT_EQ(1, Process(obj));
  EXPECT_EQ("(0 1 2 3)(10 11 12 13)", Text(obj.polygons));
  EXPECT_TRUE(obj.selection.bits.empty());
}

TEST_F(Host, ExactlyTwoSelectedTrianglesChooseTheLayout) {
  // Polygon 0 pairs with 1 (Adjacent) and with 2 = half (Halves).
  auto make = [] {
    FakeObject obj;
    obj.polygons = {{0, 1, 2, 2}, {0, 2, 3, 3}, {1, 0, 4, 4}, {7, 8, 9, 9}};
    return obj;
  };
  FakeObject probed = make();
  EXPECT_EQ(1, Process(probed));
  EXPECT_EQ("(0 4 1 2)(0 2 3 3)(7 8 9 9)", Text(probed.polygons)) << "Halves: 0 with 2";

  FakeObject hinted = make();
  hinted.selection.bits = {0, 1};
  EXPECT_EQ(1, Process(hinted));
  EXPECT_EQ("(0 1 2 3)(1 0 4 4)(7 8 9 9)", Text(hinted.polygons)) << "Adjacent: 0 with 1";
  EXPECT_EQ((std::set<int32_t>{0}), hinted.selection.bits);
}

TEST_F(Host, NoMemoryForTheCopyLeavesTheObjectUntouched) {
  FakeObject obj = AdjacentExample();
  FakeTag& uvw = obj.AddTag(kUvwTag);
  uvw.uvw[1] = Marked(5);
  g_allocationsLeft = 0;
  const std::string before = Text(obj.polygons);
  EXPECT_EQ(0, Process(obj));
  EXPECT_EQ(before, Text(obj.polygons));
  EXPECT_EQ(5.1, uvw.uvw[1].a.u);
  EXPECT_FALSE(Logged("undo 40")) << "no undo record for an object that did not change";
  EXPECT_FALSE(Logged("resize 100 3"));
}

TEST_F(Host, PolygonsWithoutAnArrayAreNothingToMerge) {
  FakeObject obj = AdjacentExample();
  obj.noArray = true;
  EXPECT_EQ(0, Count(obj));
  EXPECT_EQ(0, Process(obj));
  EXPECT_TRUE(g_log.empty());
}

TEST_F(Host, NoObjectSelectionIsAnEmptySelection) {
  FakeObject obj = AdjacentExample();
  obj.noSelection = true;
  FakeTag& tag = obj.AddTag(kPolygonSelectionTag);
  tag.selection.bits = {4};
  EXPECT_EQ(2, Process(obj));
  EXPECT_EQ((std::set<int32_t>{2}), tag.selection.bits) << "the tags are still kept up";
}

TEST_F(Host, AUvwTagWithoutDataIsNoUvw) {
  FakeObject obj = AdjacentExample();
  obj.AddTag(kUvwTag).hasHandle = false;
  EXPECT_EQ(2, Process(obj));
  EXPECT_EQ("(0 1 2 3)(4 5 6 7)(8 9 10 11)", Text(obj.polygons));
  for (const std::string& c : g_log) EXPECT_NE(0u, c.rfind("uvw", 0)) << c;
}

TEST_F(Host, OnlyTheFirstUvwTagIsCarried) {
  FakeObject obj = AdjacentExample();
  FakeTag& first = obj.AddTag(kUvwTag);
  FakeTag& second = obj.AddTag(kUvwTag);
  first.uvw[4] = Marked(40);
  second.uvw[4] = Marked(90);
  EXPECT_EQ(2, Process(obj));
  EXPECT_EQ(40.1, first.uvw[2].a.u);
  ASSERT_EQ(3u, second.uvw.size()) << "only shortened by the resize";
  EXPECT_EQ(0.0, second.uvw[2].a.u);
}

TEST_F(Host, ARefusedResizeAnswersZeroWithoutMessage) {
  FakeObject obj = AdjacentExample();
  obj.refuseResize = true;
  EXPECT_EQ(0, Process(obj));
  EXPECT_TRUE(Logged("undo 40")) << "the changes made so far are covered by the undo record";
  EXPECT_FALSE(Logged("message 5"));
}

TEST_F(Host, DeadRecordsGoEvenWithNothingMergedNextToThem) {
  FakeObject obj;
  obj.polygons = {{0, 1, 2, 2}, {0, 2, 3, 3}, {10, 11, 12, 13}, {7, 7, 8, 9}, {14, 15, 16, 17}};
  EXPECT_EQ(1, Process(obj));
  EXPECT_EQ("(0 1 2 3)(10 11 12 13)(14 15 16 17)", Text(obj.polygons));
}

TEST_F(Host, AQuadrangleAtACandidateIndexKeepsItsPlace) {
  FakeObject obj;
  // Halves, n = 6, half = 3: 0 with 3 and 2 with 5 pair; 1 is a quadrangle.
  obj.polygons = {{0, 1, 2, 2}, {20, 21, 22, 23}, {4, 5, 6, 6}, {0, 2, 3, 3}, {30, 31, 32, 33}, {4, 6, 7, 7}};
  EXPECT_EQ(2, Process(obj));
  EXPECT_EQ("(0 1 2 3)(20 21 22 23)(4 5 6 7)(30 31 32 33)", Text(obj.polygons));
}

}  // namespace
}  // namespace fm
