#include "host/mesh/document_mapping.h"

#include <gtest/gtest.h>

#include <utility>

#include "host/mesh/obj_reader.h"

namespace fm::host::mesh {
namespace {

MeshFile Parse(std::string_view text) {
  MeshFile mesh;
  std::string error;
  EXPECT_TRUE(ParseObj(text, "in.obj", "stem", mesh, error)) << error;
  return mesh;
}

fm::host::Vector3 Origin(uint32_t face, uint32_t corner) {
  const Vector3 v = CornerOrigin(face, corner);
  return fm::host::Vector3{v.x, v.y, v.z};
}

constexpr char kTwoObjects[] =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 7 7 7\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
    "o textured\ng top\nf 1/1 2/2 3/3\ng top rim\nf 1/1 3/3 4/4\ng\nf 1/1 2/2 3/3 4/4\n"
    "o plain\nf 5 4 3\n";

TEST(DocumentMapping, ObjectsHoldTheFacesAndAUvwTagNamingEachCornersOrigin) {
  const MeshFile mesh = Parse(kTwoObjects);
  Document document;
  const std::vector<PolygonObject*> objects = AddMeshObjects(mesh, document);
  ASSERT_EQ(objects.size(), 2u);
  ASSERT_EQ(document.Objects().size(), 2u);
  EXPECT_EQ(document.Objects()[1].get(), objects[1]);

  const PolygonObject& textured = *objects[0];
  EXPECT_EQ(textured.Name(), "textured");
  ASSERT_EQ(textured.PolygonCount(), 3);
  EXPECT_EQ(textured.Polygons()[1], (PolygonRecord{0, 2, 3, 3}));
  EXPECT_EQ(textured.Points()[3], (fm::host::Vector3{0, 1, 0}));
  // Groups stay in the text: the only tag is the origin-carrying UVW tag.
  ASSERT_EQ(textured.Tags().size(), 1u);
  const auto* uvw = dynamic_cast<const UvwTag*>(textured.FindTag(kUvwTagType, 0));
  ASSERT_NE(uvw, nullptr);
  EXPECT_EQ(uvw->Get(1), (UvwRecord{Origin(1, 0), Origin(1, 1), Origin(1, 2), Origin(1, 2)}));
  EXPECT_EQ(uvw->Get(2), (UvwRecord{Origin(2, 0), Origin(2, 1), Origin(2, 2), Origin(2, 3)}));

  const PolygonObject& plain = *objects[1];
  EXPECT_EQ(plain.PointCount(), 3);
  EXPECT_EQ(plain.Polygons()[0], (PolygonRecord{2, 1, 0, 0}));
  // Face numbers count across the whole file, so corners of different objects never look alike.
  EXPECT_EQ(dynamic_cast<const UvwTag&>(*plain.FindTag(kUvwTagType, 0)).Get(0).a, Origin(3, 0));
  EXPECT_EQ(DocumentDifference(mesh, objects), "");
}

// A large object (its points copied beside its polygons) is the file's as much as a small one, in
// both of its objects, one sharing the other's vertices.
TEST(DocumentMapping, ALargeObjectHoldsItsPointsInFileOrder) {
  constexpr int kSide = 300;  // 90,000 vertices
  std::string text;
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      text += "v " + std::to_string(x) + " " + std::to_string(y) + " 0.5\n";
    }
  }
  text += "o grid\n";
  for (int y = 0; y + 1 < kSide; ++y) {
    for (int x = 0; x + 1 < kSide; ++x) {
      const int a = y * kSide + x + 1;
      text += "f " + std::to_string(a) + " " + std::to_string(a + 1) + " " +
              std::to_string(a + kSide) + "\n";
    }
  }
  text += "o corner\nf 3 2 1\n";
  const MeshFile mesh = Parse(text);
  Document document;
  const std::vector<PolygonObject*> objects = AddMeshObjects(mesh, document);
  ASSERT_EQ(objects.size(), 2u);
  ASSERT_EQ(objects[0]->PointCount(), kSide * kSide - 1);  // the last vertex is in no face
  EXPECT_EQ(objects[0]->Points()[kSide + 7], (fm::host::Vector3{7, 1, 0.5}));
  EXPECT_EQ(DocumentDifference(mesh, objects), "");
}

// However many groups a file has, the command's walk over an object's tags for every polygon stays
// one step long.
TEST(DocumentMapping, GroupsGiveNoTagsNeitherOnePerFaceNorManyOnOneLine) {
  std::string text = "v 0 0 0\nv 1 0 0\nv 1 1 0\ng";
  for (int i = 0; i < 1000; ++i) text += " many" + std::to_string(i);
  text += "\nf 1 2 3\n";
  for (int i = 0; i < 1000; ++i) text += "g g" + std::to_string(i) + "\nf 1 2 3\n";
  Document document;
  const std::vector<PolygonObject*> objects = AddMeshObjects(Parse(text), document);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]->Tags().size(), 1u);
}

TEST(DocumentMapping, EveryChangeToTheDocumentIsADifference) {
  struct Case {
    const char* name;
    void (*spoil)(PolygonObject&);
    const char* difference;
  };
  const Case cases[] = {
      {"name", [](PolygonObject& o) { o.SetName("other"); }, "object 'other': its name differs"},
      {"points", [](PolygonObject& o) { o.Points().pop_back(); },
       "object 'textured': it has 3 points instead of 4"},
      {"a point", [](PolygonObject& o) { o.Points()[2].z = 1; }, "object 'textured': point 2 differs"},
      {"polygons", [](PolygonObject& o) { o.Resize(o.PointCount(), 2); },
       "object 'textured': it has 2 polygons instead of 3"},
      {"a polygon", [](PolygonObject& o) { o.Polygons()[1].d = 0; },
       "object 'textured': polygon 1 differs"},
      {"a uvw corner",
       [](PolygonObject& o) {
         auto& tag = dynamic_cast<UvwTag&>(*o.FindTag(kUvwTagType, 0));
         UvwRecord r = tag.Get(2);
         r.d = r.c;
         tag.Set(2, r);
       },
       "object 'textured': the UVW corners of polygon 2 differ"},
      {"another tag", [](PolygonObject& o) { o.AddPolygonSelectionTag("x"); },
       "object 'textured': it has 2 tags instead of 1"},
      {"selection", [](PolygonObject& o) { o.PolygonSelection().Select(0); },
       "object 'textured': it has selected polygons"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const MeshFile mesh = Parse(kTwoObjects);
    Document document;
    std::vector<PolygonObject*> objects = AddMeshObjects(mesh, document);
    c.spoil(*objects[0]);
    EXPECT_EQ(DocumentDifference(mesh, objects), c.difference);
  }
  const MeshFile mesh = Parse(kTwoObjects);
  Document document;
  std::vector<PolygonObject*> objects = AddMeshObjects(mesh, document);
  objects.pop_back();
  EXPECT_EQ(DocumentDifference(mesh, objects), "the document holds 1 objects of the file's 2");
}

// An object whose points are a run of the file's vertices has its polygons made again from the
// faces by an undo record, instead of copied; one whose points are not ("gaps" skips vertex 2) is
// copied. An undo brings both back to what the file says, after a module wrote through the lent
// polygons and cut them short.
TEST(DocumentMapping, UndoMakesPolygonsAgainFromTheFacesWherePointsAreARunOfVertices) {
  const MeshFile mesh = Parse(
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0 0\nv 2 1 0\n"
      "o run\nf 3 4 5\nf 3 5 6 4\nf 6 5 4\no gaps\nf 1 3 4\nf 4 3 1\n");
  Document document;
  const std::vector<PolygonObject*> objects = AddMeshObjects(mesh, document);
  ASSERT_EQ(objects.size(), 2u);
  std::vector<PolygonRecord*> lent;
  for (PolygonObject* object : objects) lent.push_back(object->LendPolygons());
  EXPECT_EQ(objects[0]->Capture().polygons.records, nullptr);
  EXPECT_NE(objects[1]->Capture().polygons.records, nullptr);
  UndoHistory& undo = document.Undo();
  undo.Start();
  for (size_t o = 0; o < objects.size(); ++o) {
    undo.Add(kUndoChangeObject, *objects[o]);
    lent[o][0] = PolygonRecord{0, 0, 1, 1};
    objects[o]->Resize(objects[o]->PointCount(), 1);
  }
  undo.End();
  EXPECT_NE(DocumentDifference(mesh, objects), "");
  ASSERT_TRUE(undo.Undo());
  EXPECT_EQ(DocumentDifference(mesh, objects), "");
}

// The only object of a file, using every vertex, holds the file's vertex list itself; objects
// that each use some of them get copies.
TEST(DocumentMapping, AnObjectOfEveryVertexHoldsTheFilesList) {
  const MeshFile single = Parse("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3\nf 1 3 4\n");
  Document document;
  const std::vector<PolygonObject*> objects = AddMeshObjects(single, document);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(std::as_const(*objects[0]).Points().data(), single.vertices.data());
  objects[0]->Points()[0].x = 5;
  EXPECT_EQ(single.vertices[0].x, 0.0);
  EXPECT_EQ(DocumentDifference(single, objects), "object 'stem': point 0 differs");

  const MeshFile two = Parse(kTwoObjects);
  Document other;
  for (const PolygonObject* object : AddMeshObjects(two, other)) {
    EXPECT_NE(object->Points().data(), two.vertices.data());
  }
}

TEST(DocumentMapping, AnObjectHandedOverInAnotherOrderIsComparedWithThatOrder) {
  const MeshFile mesh = Parse(kTwoObjects);
  Document document;
  std::vector<PolygonObject*> objects = AddMeshObjects(mesh, document);
  const HandOverOrders orders = {{2, 0, 1}, {}};
  ASSERT_TRUE(HandOverInOrder(mesh, mesh.objects[0], orders[0], *objects[0]));
  EXPECT_EQ(DocumentDifference(mesh, objects, orders), "");
  EXPECT_EQ(DocumentDifference(mesh, objects), "object 'textured': polygon 0 differs");
  // Each polygon's UVW corners still name the face it was made from.
  const auto& uvw = dynamic_cast<const UvwTag&>(*objects[0]->FindTag(kUvwTagType, 0));
  EXPECT_EQ(uvw.Get(0).a.x, static_cast<double>(mesh.objects[0].firstFace + 2));
  EXPECT_EQ(DocumentDifference(mesh, objects, {{0, 1, 2}, {}}),
            "object 'textured': polygon 0 differs");

  // An order that is not one of the object's faces changes nothing.
  for (const std::vector<uint32_t>& bad :
       {std::vector<uint32_t>{0, 0, 1}, std::vector<uint32_t>{0, 1, 3}, std::vector<uint32_t>{0, 1}}) {
    EXPECT_FALSE(HandOverInOrder(mesh, mesh.objects[0], bad, *objects[0]));
    EXPECT_EQ(DocumentDifference(mesh, objects, orders), "");
  }
}

}  // namespace
}  // namespace fm::host::mesh
