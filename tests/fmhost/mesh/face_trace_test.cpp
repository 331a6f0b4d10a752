#include "host/mesh/face_trace.h"

#include <gtest/gtest.h>

#include "host/mesh/document_mapping.h"
#include "host/mesh/obj_reader.h"

namespace fm::host::mesh {
namespace {

// Two quads split side by side (faces 0/1 and 2/3), a dead record (4) and, in a second object, one
// triangle (5).
constexpr char kText[] =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0 0\nv 2 1 0\n"
    "o strip\nf 1 2 3\nf 1 3 4\nf 2 5 6\nf 2 6 3\nf 1 1 2\no single\nf 1 2 3\n";

class FaceTraceTest : public ::testing::Test {
 public:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(ParseObj(kText, "in.obj", "stem", mesh_, error)) << error;
    Rebuild();
  }
  void Rebuild() {
    document_ = std::make_unique<Document>();
    objects_ = AddMeshObjects(mesh_, *document_);
  }
  PolygonObject& Strip() { return *objects_[0]; }
  UvwTag& StripUvw() { return dynamic_cast<UvwTag&>(*Strip().FindTag(kUvwTagType, 0)); }
  static fm::host::Vector3 Origin(uint32_t face, uint32_t corner) {
    const Vector3 v = CornerOrigin(face, corner);
    return fm::host::Vector3{v.x, v.y, v.z};
  }
  // What a merge of `first` with `first + 1` along the first triangle's c->a edge does before the
  // compaction: the partner's apex becomes d, with its UVW corner, and the partner is cleared.
  void Merge(uint32_t first) {
    PolygonRecord& p = Strip().Polygons()[first];
    p.d = Strip().Polygons()[first + 1].c;
    UvwRecord r = StripUvw().Get(static_cast<int32_t>(first));
    r.d = Origin(first + 1, 2);
    StripUvw().Set(static_cast<int32_t>(first), r);
    Strip().Polygons()[first + 1] = PolygonRecord{};
  }
  void Compact() {
    std::vector<PolygonRecord> kept;
    std::vector<UvwRecord> uvw;
    for (int32_t i = 0; i < Strip().PolygonCount(); ++i) {
      const PolygonRecord p = Strip().Polygons()[static_cast<size_t>(i)];
      if (p.a == p.b) continue;
      kept.push_back(p);
      uvw.push_back(StripUvw().Get(i));
    }
    Strip().Resize(Strip().PointCount(), static_cast<int32_t>(kept.size()));
    for (size_t i = 0; i < kept.size(); ++i) {
      Strip().Polygons()[i] = kept[i];
      StripUvw().Set(static_cast<int32_t>(i), uvw[i]);
    }
  }
  std::string TraceError() {
    FaceTrace trace;
    std::string error;
    EXPECT_FALSE(TraceFaces(mesh_, objects_, trace, error));
    return error;
  }

  MeshFile mesh_;
  std::unique_ptr<Document> document_;
  std::vector<PolygonObject*> objects_;
};

TEST_F(FaceTraceTest, AnUnchangedDocumentKeepsEveryFaceAsItIs) {
  FaceTrace trace;
  std::string error;
  ASSERT_TRUE(TraceFaces(mesh_, objects_, trace, error)) << error;
  EXPECT_EQ(trace.kept, std::vector<bool>(6, true));
  EXPECT_TRUE(trace.rewritten.empty());
  EXPECT_EQ(trace.polygonsAfter, (std::vector<int64_t>{5, 1}));
}

TEST_F(FaceTraceTest, MergesRewriteTheFirstFaceAndRemoveThePartnerAndDroppedRecords) {
  Merge(0);
  Merge(2);
  Compact();
  FaceTrace trace;
  std::string error;
  ASSERT_TRUE(TraceFaces(mesh_, objects_, trace, error)) << error;
  EXPECT_EQ(trace.kept, (std::vector<bool>{true, false, true, false, false, true}));
  ASSERT_EQ(trace.rewritten.size(), 2u);
  const RewrittenFace& first = trace.rewritten[0];
  EXPECT_EQ(first.face, 0u);
  EXPECT_EQ(first.corners, 4);
  EXPECT_EQ(std::vector<uint32_t>(first.sourceFace, first.sourceFace + 4),
            (std::vector<uint32_t>{0, 0, 0, 1}));
  EXPECT_EQ(std::vector<uint8_t>(first.sourceCorner, first.sourceCorner + 4),
            (std::vector<uint8_t>{0, 1, 2, 2}));
  EXPECT_EQ(trace.rewritten[1].face, 2u);
  EXPECT_EQ(trace.polygonsAfter, (std::vector<int64_t>{2, 1}));
}

TEST_F(FaceTraceTest, AMergedRecordWhoseLastTwoPointsMeetStillHasFourCorners) {
  // The partner's apex lands on the point the first triangle already has at c.
  Strip().Polygons()[0].d = Strip().Polygons()[0].c;
  UvwRecord r = StripUvw().Get(0);
  r.d = Origin(1, 1);  // face 1's corner 1 is vertex 3, as is face 0's corner 2
  StripUvw().Set(0, r);
  Strip().Polygons()[1] = PolygonRecord{};
  Compact();
  FaceTrace trace;
  std::string error;
  ASSERT_TRUE(TraceFaces(mesh_, objects_, trace, error)) << error;
  ASSERT_EQ(trace.rewritten.size(), 1u);
  EXPECT_EQ(trace.rewritten[0].corners, 4);
}

// The strip handed over with its second quad first, as fmhost hands over an order the command would
// not read as it stands, and both quads merged.
class HandedOverTraceTest : public FaceTraceTest {
 public:
  void SetUp() override {
    FaceTraceTest::SetUp();
    orders_ = {{2, 3, 0, 1, 4}, {}};
    ASSERT_TRUE(HandOverInOrder(mesh_, mesh_.objects[0], orders_[0], Strip()));
  }
  // Merges the polygon at `position` with the one after it, whose face is `partner`.
  void MergeAt(uint32_t position, uint32_t partner) {
    PolygonRecord& p = Strip().Polygons()[position];
    p.d = Strip().Polygons()[position + 1].c;
    UvwRecord r = StripUvw().Get(static_cast<int32_t>(position));
    r.d = Origin(partner, 2);
    StripUvw().Set(static_cast<int32_t>(position), r);
    Strip().Polygons()[position + 1] = PolygonRecord{};
  }
  HandOverOrders orders_;
};

TEST_F(HandedOverTraceTest, MergesAreTracedInTheFilesOrder) {
  MergeAt(0, 3);
  MergeAt(2, 1);
  Compact();
  FaceTrace trace;
  std::string error;
  ASSERT_TRUE(TraceFaces(mesh_, objects_, trace, error, orders_)) << error;
  EXPECT_EQ(trace.kept, (std::vector<bool>{true, false, true, false, false, true}));
  ASSERT_EQ(trace.rewritten.size(), 2u);
  EXPECT_EQ(trace.rewritten[0].face, 0u);
  EXPECT_EQ(trace.rewritten[0].sourceFace[3], 1u);
  EXPECT_EQ(trace.rewritten[1].face, 2u);
  EXPECT_EQ(trace.rewritten[1].sourceFace[3], 3u);
  EXPECT_EQ(trace.polygonsAfter, (std::vector<int64_t>{2, 1}));
  // Traced against the file's order, the same document is out of order.
  EXPECT_FALSE(TraceFaces(mesh_, objects_, trace, error));
  EXPECT_EQ(error, "object 'strip': polygon 1 is out of the order of the faces it came from");
}

TEST_F(HandedOverTraceTest, WhatIsOutOfTheHandedOverOrderIsStillRefused) {
  struct Case {
    const char* name;
    HandOverOrders orders;  // empty: the fixture's
    bool swapFirstTwo;
    const char* error;
  };
  const Case cases[] = {
      {"two polygons swapped", {}, true,
       "object 'strip': polygon 1 is out of the order of the faces it came from"},
      {"an order naming a face twice", {{2, 3, 0, 0, 4}, {}}, false,
       "object 'strip': its hand-over order is not an order of its faces"},
      {"an order beyond the object's faces", {{2, 3, 0, 1, 5}, {}}, false,
       "object 'strip': its hand-over order is not an order of its faces"},
      {"an order too short", {{2, 3, 0, 1}, {}}, false,
       "object 'strip': its hand-over order is not an order of its faces"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    if (c.swapFirstTwo) {
      std::swap(Strip().Polygons()[0], Strip().Polygons()[1]);
      const UvwRecord r = StripUvw().Get(0);
      StripUvw().Set(0, StripUvw().Get(1));
      StripUvw().Set(1, r);
    }
    FaceTrace trace;
    std::string error;
    EXPECT_FALSE(TraceFaces(mesh_, objects_, trace, error, c.orders.empty() ? orders_ : c.orders));
    EXPECT_EQ(error, c.error);
  }
}

TEST_F(FaceTraceTest, ADocumentThatDoesNotTraceBackIsRefused) {
  struct Case {
    const char* name;
    void (*spoil)(FaceTraceTest&);
    const char* error;
  };
  const Case cases[] = {
      {"another object's face",
       [](FaceTraceTest& t) {
         UvwRecord r = t.StripUvw().Get(0);
         r.a = Origin(5, 0);
         t.StripUvw().Set(0, r);
       },
       "object 'strip': polygon 0 has a corner that names no face of the object"},
      {"not a whole number",
       [](FaceTraceTest& t) {
         UvwRecord r = t.StripUvw().Get(1);
         r.b.y = 0.5;
         t.StripUvw().Set(1, r);
       },
       "object 'strip': polygon 1 has a corner that names no face of the object"},
      {"a corner beyond the face's",
       [](FaceTraceTest& t) {
         UvwRecord r = t.StripUvw().Get(1);
         r.d = Origin(1, 3);
         t.StripUvw().Set(1, r);
       },
       "object 'strip': polygon 1 has a corner that names no face of the object"},
      {"another point", [](FaceTraceTest& t) { t.Strip().Polygons()[2].b = 0; },
       "object 'strip': polygon 2 has a corner whose point is not the vertex its face has there"},
      {"out of order",
       [](FaceTraceTest& t) {
         std::swap(t.Strip().Polygons()[0], t.Strip().Polygons()[1]);
         const UvwRecord r = t.StripUvw().Get(0);
         t.StripUvw().Set(0, t.StripUvw().Get(1));
         t.StripUvw().Set(1, r);
       },
       "object 'strip': polygon 1 is out of the order of the faces it came from"},
      {"a face feeding two polygons",
       [](FaceTraceTest& t) {
         t.Merge(0);
         t.Strip().Polygons()[1] = PolygonRecord{0, 2, 3, 3};
       },
       "object 'strip': polygon 1 takes a corner of a face another polygon came from"},
      {"uvw tag cut short", [](FaceTraceTest& t) { t.StripUvw().SetCount(2); },
       "object 'strip': its UVW tag no longer covers its polygons"},
      // The merged polygon names the dropped face 5 for its fourth corner instead of its partner,
      // face 2, which would then be lost.
      {"a partner that no polygon names",
       [](FaceTraceTest& t) {
         t.Merge(0);
         t.Compact();
         t.Strip().Polygons()[0].d = 0;
         UvwRecord r = t.StripUvw().Get(0);
         r.d = Origin(4, 0);
         t.StripUvw().Set(0, r);
       },
       "object 'strip': its face 2 went into no polygon"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rebuild();
    c.spoil(*this);
    EXPECT_EQ(TraceError().rfind(c.error, 0), 0u) << TraceError();
  }
}

}  // namespace
}  // namespace fm::host::mesh
