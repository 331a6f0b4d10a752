#include "host/mesh/document_mapping.h"

#include <gtest/gtest.h>

#include "host/mesh/obj_reader.h"

namespace fm::host::mesh {
namespace {

MeshFile Parse(std::string_view text) {
  MeshFile mesh;
  std::string error;
  EXPECT_TRUE(ParseObj(text, "in.obj", "stem", mesh, error)) << error;
  return mesh;
}

constexpr char kTwoObjects[] =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 7 7 7\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
    "o textured\ng top\nf 1/1 2/2 3/3\ng top rim\nf 1/1 3/3 4/4\ng\nf 1/1 2/2 3/3 4/4\n"
    "o plain\nf 5 4 3\n";

TEST(DocumentMapping, ObjectsTagsAndSelectionsMirrorTheMesh) {
  const MeshFile mesh = Parse(kTwoObjects);
  Document document;
  const std::vector<PolygonObject*> objects = AddMeshObjects(mesh, document);
  ASSERT_EQ(objects.size(), 2u);
  ASSERT_EQ(document.Objects().size(), 2u);
  EXPECT_EQ(document.Objects()[0].get(), objects[0]);

  const PolygonObject& textured = *objects[0];
  EXPECT_EQ(textured.Name(), "textured");
  EXPECT_EQ(textured.Type(), kPolygonObjectType);
  ASSERT_EQ(textured.PolygonCount(), 3);
  EXPECT_EQ(textured.Polygons()[1], (PolygonRecord{0, 2, 3, 3}));
  EXPECT_EQ(textured.Points()[3], (fm::host::Vector3{0, 1, 0}));
  const auto* uvw = dynamic_cast<const UvwTag*>(textured.FindTag(kUvwTagType, 0));
  ASSERT_NE(uvw, nullptr);
  EXPECT_EQ(uvw->Get(1).c, (fm::host::Vector3{0, 1, 0}));
  EXPECT_EQ(uvw->Get(1).d, (fm::host::Vector3{0, 1, 0}));
  ASSERT_EQ(textured.Tags().size(), 3u);
  EXPECT_EQ(textured.Tags()[1]->Type(), kPolygonSelectionTagType);
  EXPECT_EQ(textured.Tags()[1]->Name(), "top");
  const auto& rim = dynamic_cast<const SelectionTag&>(*textured.Tags()[2]);
  EXPECT_EQ(rim.Name(), "rim");
  EXPECT_EQ(rim.Elements().Indices(), (std::vector<int32_t>{1}));

  const PolygonObject& plain = *objects[1];
  EXPECT_EQ(plain.PointCount(), 3);
  EXPECT_TRUE(plain.Tags().empty());
}

TEST(DocumentMapping, TakingAnUnchangedDocumentGivesTheMeshBack) {
  MeshFile mesh = Parse(kTwoObjects);
  const MeshFile original = mesh;
  Document document;
  const std::vector<PolygonObject*> objects = AddMeshObjects(mesh, document);
  std::string error;
  ASSERT_TRUE(TakeMeshObjects(objects, mesh, error)) << error;
  EXPECT_EQ(mesh.objects, original.objects);
}

TEST(DocumentMapping, TakingFollowsChangedPolygonsTexcoordsAndSelections) {
  MeshFile mesh = Parse(kTwoObjects);
  Document document;
  std::vector<PolygonObject*> objects = AddMeshObjects(mesh, document);
  PolygonObject& object = *objects[0];
  // What a merge of polygons 0 and 1 looks like to the host: 0 becomes the quad, 1 goes away.
  object.Polygons()[0] = PolygonRecord{0, 1, 2, 3};
  object.Polygons()[1] = object.Polygons()[2];
  auto& uvw = dynamic_cast<UvwTag&>(*object.FindTag(kUvwTagType, 0));
  UvwRecord merged = uvw.Get(0);
  merged.d = uvw.Get(1).c;
  uvw.Set(0, merged);
  uvw.Set(1, uvw.Get(2));
  auto& top = dynamic_cast<SelectionTag&>(*object.Tags()[1]);
  top.Elements().Deselect(1);
  auto& rim = dynamic_cast<SelectionTag&>(*object.Tags()[2]);
  rim.Elements().Deselect(1);
  rim.Elements().Select(0);
  ASSERT_TRUE(object.Resize(object.PointCount(), 2));

  std::string error;
  ASSERT_TRUE(TakeMeshObjects(objects, mesh, error)) << error;
  const MeshObject& taken = mesh.objects[0];
  EXPECT_EQ(taken.polygons, (std::vector<Polygon>{{0, 1, 2, 3}, {0, 1, 2, 3}}));
  ASSERT_EQ(taken.uvw.size(), 2u);
  EXPECT_EQ(taken.uvw[0].d, (Vector3{0, 1, 0}));
  EXPECT_EQ(taken.groups, (std::vector<Group>{{"top", {0}}, {"rim", {0}}}));
  EXPECT_EQ(taken.pointVertex, (std::vector<int64_t>{0, 1, 2, 3}));
}

TEST(DocumentMapping, ADocumentThatNoLongerFitsTheFileIsRefused) {
  struct Case {
    const char* name;
    void (*spoil)(PolygonObject&);
    const char* error;
  };
  const Case cases[] = {
      {"points", [](PolygonObject& o) { o.Points().pop_back(); },
       "object 'textured' has 3 points instead of 4"},
      {"uvw count",
       [](PolygonObject& o) { dynamic_cast<UvwTag&>(*o.FindTag(kUvwTagType, 0)).SetCount(2); },
       "object 'textured': its UVW tag does not cover its 3 polygons"},
      {"selection",
       [](PolygonObject& o) { dynamic_cast<SelectionTag&>(*o.Tags()[1]).Elements().Select(3); },
       "object 'textured': selection 'top' holds polygon 3 of 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MeshFile mesh = Parse(kTwoObjects);
    const MeshFile original = mesh;
    Document document;
    std::vector<PolygonObject*> objects = AddMeshObjects(mesh, document);
    c.spoil(*objects[0]);
    std::string error;
    EXPECT_FALSE(TakeMeshObjects(objects, mesh, error));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(mesh.objects, original.objects);
  }
  MeshFile mesh = Parse(kTwoObjects);
  Document document;
  std::vector<PolygonObject*> objects = AddMeshObjects(mesh, document);
  objects.pop_back();
  std::string error;
  EXPECT_FALSE(TakeMeshObjects(objects, mesh, error));
  EXPECT_EQ(error, "the document holds 1 objects of the file's 2");
}

}  // namespace
}  // namespace fm::host::mesh
