#include "host/mesh/obj_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fm::host::mesh {
namespace {

MeshFile Parse(std::string_view text, std::string_view defaultName = "stem") {
  MeshFile mesh;
  std::string error;
  EXPECT_TRUE(ParseObj(text, "in.obj", defaultName, mesh, error)) << error;
  return mesh;
}

std::string ParseError(std::string_view text) {
  MeshFile mesh;
  mesh.objects.resize(3);  // must stay untouched on failure
  std::string error;
  EXPECT_FALSE(ParseObj(text, "in.obj", "stem", mesh, error));
  EXPECT_EQ(mesh.objects.size(), 3u);
  return error;
}

constexpr char kQuadSquare[] =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
    "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n";

TEST(ObjReader, TrianglesAndQuadsBecomePolygonsInFileOrder) {
  MeshFile mesh = Parse(std::string(kQuadSquare) + "f 1 2 3\nf 1 2 3 4\nf 4 3 2\n");
  ASSERT_EQ(mesh.objects.size(), 1u);
  const MeshObject& object = mesh.objects[0];
  EXPECT_EQ(object.name, "stem");
  ASSERT_EQ(object.polygons.size(), 3u);
  EXPECT_EQ(object.polygons[0], (Polygon{0, 1, 2, 2}));
  EXPECT_EQ(object.polygons[1], (Polygon{0, 1, 2, 3}));
  EXPECT_EQ(object.polygons[2], (Polygon{3, 2, 1, 1}));
  EXPECT_TRUE(object.uvw.empty());
  EXPECT_TRUE(object.groups.empty());
  EXPECT_EQ(object.pointVertex, (std::vector<int64_t>{0, 1, 2, 3}));
}

TEST(ObjReader, TextureCoordinatesBecomePerCornerUvwAndTrianglesRepeatTheirThirdCorner) {
  MeshFile mesh = Parse(std::string(kQuadSquare) + "vt 0.25 0.5 0.75\n"
                        "f 1/1 2/2 3/3 4/4\nf 1/5/1 3/3/1 4/4/1\n" + "vn 0 0 1\n");
  const MeshObject& object = mesh.objects[0];
  ASSERT_EQ(object.uvw.size(), 2u);
  EXPECT_EQ(object.uvw[0].d, (Vector3{0, 1, 0}));
  EXPECT_EQ(object.uvw[1].a, (Vector3{0.25, 0.5, 0.75}));
  EXPECT_EQ(object.uvw[1].c, object.uvw[1].d);
  EXPECT_EQ(mesh.texcoords.size(), 5u);
}

TEST(ObjReader, NegativeIndicesCountBackFromTheLinesReadSoFar) {
  MeshFile mesh = Parse(
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nf -3/-3 -2/-2 -1/-1\n"
      "v 0 1 0\nvt 0 1\nf -4/-4 -2/-2 -1/-1\n");
  const MeshObject& object = mesh.objects[0];
  EXPECT_EQ(object.polygons[0], (Polygon{0, 1, 2, 2}));
  EXPECT_EQ(object.polygons[1], (Polygon{0, 2, 3, 3}));
  EXPECT_EQ(object.uvw[1].c, (Vector3{0, 1, 0}));
}

TEST(ObjReader, PositiveIndicesMayPointForward) {
  MeshFile mesh = Parse("f 1 2 3\nv 0 0 0\nv 1 0 0\nv 1 1 0\n");
  EXPECT_EQ(mesh.objects[0].polygons[0], (Polygon{0, 1, 2, 2}));
}

TEST(ObjReader, ObjectsOwnTheirPointsInFileOrderAndMayShareFileVertices) {
  MeshFile mesh = Parse(
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 2 2\n"
      "o first\nf 4 2 1\no second thing\nf 5 4 3\no empty\n");
  ASSERT_EQ(mesh.objects.size(), 3u);
  EXPECT_EQ(mesh.objects[0].name, "first");
  EXPECT_EQ(mesh.objects[0].pointVertex, (std::vector<int64_t>{0, 1, 3}));
  EXPECT_EQ(mesh.objects[0].polygons[0], (Polygon{2, 1, 0, 0}));
  EXPECT_EQ(mesh.objects[0].points[2], (Vector3{0, 1, 0}));
  EXPECT_EQ(mesh.objects[1].name, "second thing");
  EXPECT_EQ(mesh.objects[1].pointVertex, (std::vector<int64_t>{2, 3, 4}));
  EXPECT_EQ(mesh.objects[1].polygons[0], (Polygon{2, 1, 0, 0}));
  EXPECT_EQ(mesh.objects[2].name, "empty");
  EXPECT_TRUE(mesh.objects[2].polygons.empty());
  EXPECT_EQ(mesh.vertices.size(), 5u);
}

TEST(ObjReader, FacesBeforeTheFirstObjectLineGoToAnObjectNamedAfterTheFile) {
  MeshFile mesh = Parse("v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\no later\nf 3 2 1\n", "mesh");
  ASSERT_EQ(mesh.objects.size(), 2u);
  EXPECT_EQ(mesh.objects[0].name, "mesh");
  EXPECT_EQ(mesh.objects[1].name, "later");
}

TEST(ObjReader, AFileWithoutFacesOrObjectsStillGivesOneObject) {
  MeshFile mesh = Parse("# nothing here\n\nv 0 0 0\n", "lonely");
  ASSERT_EQ(mesh.objects.size(), 1u);
  EXPECT_EQ(mesh.objects[0].name, "lonely");
  EXPECT_TRUE(mesh.objects[0].points.empty());
  EXPECT_EQ(mesh.vertices.size(), 1u);
}

TEST(ObjReader, GroupsCollectTheFacesThatFollowThemAndCarryAcrossObjects) {
  MeshFile mesh = Parse(std::string(kQuadSquare) +
                        "o A\nf 1 2 3\ng top side\nf 1 3 4\nf 2 3 4\ng side\nf 1 2 4\n"
                        "g\nf 1 2 3\ng top\no B\nf 1 2 3\n");
  const MeshObject& a = mesh.objects[0];
  ASSERT_EQ(a.groups.size(), 2u);
  EXPECT_EQ(a.groups[0], (Group{"top", {1, 2}}));
  EXPECT_EQ(a.groups[1], (Group{"side", {1, 2, 3}}));
  const MeshObject& b = mesh.objects[1];
  ASSERT_EQ(b.groups.size(), 1u);
  EXPECT_EQ(b.groups[0], (Group{"top", {0}}));
}

TEST(ObjReader, VertexWeightsAndColoursAreKept) {
  MeshFile mesh = Parse("v 1 2 3\nv 1 2 3 0.5\nv 1 2 3 0.1 0.2 0.3\n");
  ASSERT_EQ(mesh.vertices.size(), 3u);
  EXPECT_EQ(mesh.vertices[0].extraCount, 0);
  EXPECT_EQ(mesh.vertices[1].extraCount, 1);
  EXPECT_EQ(mesh.vertices[1].extra[0], 0.5);
  EXPECT_EQ(mesh.vertices[2].extraCount, 3);
  EXPECT_EQ(mesh.vertices[2].extra[2], 0.3);
}

TEST(ObjReader, NumbersAreReadExactly) {
  MeshFile mesh = Parse("v 0.1 -73.22467119749345 1e-300\nv +2.5 -0 1E3\nvt 0.3\n");
  EXPECT_EQ(mesh.vertices[0].position, (Vector3{0.1, -73.22467119749345, 1e-300}));
  EXPECT_EQ(mesh.vertices[1].position, (Vector3{2.5, -0.0, 1000.0}));
  EXPECT_TRUE(std::signbit(mesh.vertices[1].position.y));
  EXPECT_EQ(mesh.texcoords[0], (Vector3{0.3, 0, 0}));
}

TEST(ObjReader, LayoutDetailsOfTheTextDoNotMatter) {
  struct Case {
    const char* name;
    const char* text;
  };
  const Case cases[] = {
      {"crlf", "v 0 0 0\r\nv 1 0 0\r\nv 1 1 0\r\nf 1 2 3\r\n"},
      {"byte order mark", "\xEF\xBB\xBFv 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3"},
      {"tabs and trailing comments", "v\t0 0 0 # origin\n  v 1 0 0\nv 1 1 0\nf 1\t2 3 #tri\n"},
      {"continued lines", "v 0 0 0\nv 1 \\\n 0 0\nv 1 1 0\nf 1 \\\n2 \\\n 3\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MeshFile mesh = Parse(c.text);
    ASSERT_EQ(mesh.objects.size(), 1u);
    ASSERT_EQ(mesh.objects[0].polygons.size(), 1u);
    EXPECT_EQ(mesh.objects[0].polygons[0], (Polygon{0, 1, 2, 2}));
    EXPECT_EQ(mesh.vertices[1].position, (Vector3{1, 0, 0}));
  }
}

TEST(ObjReader, ObjectAndGroupNamesMayHoldHashSigns) {
  MeshFile mesh = Parse("v 0 0 0\nv 1 0 0\nv 1 1 0\no Part#1\ng sel#2\nf 1 2 3\n");
  EXPECT_EQ(mesh.objects[0].name, "Part#1");
  EXPECT_EQ(mesh.objects[0].groups[0].name, "sel#2");
}

TEST(ObjReader, BadInputNamesTheLineAndWhatIsWrong) {
  struct Case {
    const char* text;
    const char* error;
  };
  const std::string v4 = kQuadSquare;
  const Case cases[] = {
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 2 2\nf 1 2 3 4 5\n",
       "in.obj:6: face with 5 corners: a polygon object holds polygons of at most four"},
      {"v 0 0 0\nv 1 0 0\nf 1 2\n", "in.obj:3: a face needs at least three corners"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 4\n",
       "in.obj:4: vertex index 4 is out of range (the file has 3 vertices)"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 -4\n",
       "in.obj:4: vertex index -4 is out of range (3 read before this line)"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 0 2\n", "in.obj:4: vertex index 0 is not allowed"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nf 1/1 2/1 3/2\n",
       "in.obj:5: texture coordinate index 2 is out of range (the file has 1 texture "
       "coordinates)"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nf 1/1 2 3/1\n",
       "in.obj:5: texture coordinates given for some corners of the face only"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nf 1/1 2/1 3/1\n\nf 1 2 3\n",
       "in.obj:7: face without texture coordinates in object 'stem', whose first face (line 5)"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1/2/3/4 2 3\n", "in.obj:4: malformed face corner '1/2/3/4'"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1/ 2/ 3/\n", "in.obj:4: malformed face corner '1/'"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 x\n", "in.obj:4: not a vertex index: 'x'"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1//1 2//1 3//1\n",
       "in.obj:4: normal index 1 is out of range"},
      {"v 1 abc 3\n", "in.obj:1: not a number: 'abc'"},
      {"v 1 2\n", "in.obj:1: a vertex needs three coordinates"},
      {"v 1 2 3 4 5\n", "in.obj:1: a vertex needs three coordinates"},
      {"v 1 2 nan\n", "in.obj:1: not a number: 'nan'"},
      {"v 1 2 1e999\n", "in.obj:1: not a number: '1e999'"},
      {"vt\n", "in.obj:1: texture coordinates need one to three numbers"},
      {"vn 0 1\n", "in.obj:1: a normal needs three numbers"},
      {"o\n", "in.obj:1: an object needs a name"},
      {"v 0 0 0\nv 1 0 0\nl 1 2\n", "in.obj:3: line elements cannot be held by a polygon object"},
      {"\x7f" "ELF\x02\x01\x01\n", "in.obj:1: unknown statement"},
      {"# ok\nvertex 1 2 3\n", "in.obj:2: unknown statement 'vertex'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_NE(ParseError(c.text).find(c.error), std::string::npos) << ParseError(c.text);
  }
}

TEST(ObjReader, DroppedDataIsNotedOncePerKind) {
  MeshFile mesh = Parse(
      "mtllib a.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nvn 0 0 1\nvn 0 0 1\nusemtl red\ns 1\ns off\n"
      "f 1//1 2//1 3//2\nf 1 2 3 3\n");
  ASSERT_EQ(mesh.notes.size(), 4u);
  EXPECT_EQ(mesh.notes[0], "in.obj:1: materials are not kept");
  EXPECT_EQ(mesh.notes[1], "in.obj:5: normals are not kept: a polygon object holds none");
  EXPECT_EQ(mesh.notes[2], "in.obj:8: smoothing groups are not kept");
  EXPECT_NE(mesh.notes[3].find("in.obj:11: a four-corner face whose last two corners"),
            std::string::npos);
  EXPECT_EQ(mesh.objects[0].polygons[1], (Polygon{0, 1, 2, 2}));
}

class ObjFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = std::filesystem::temp_directory_path() /
                 ("fm-obj-reader-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                  "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = (directory_ / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::filesystem::path directory_;
};

TEST_F(ObjFileTest, AFileWithoutObjectLinesIsNamedAfterItsStem) {
  const std::string path = Write("bunny.v2.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\n");
  MeshFile mesh;
  std::string error;
  ASSERT_TRUE(ReadObjFile(path, mesh, error)) << error;
  EXPECT_EQ(mesh.objects[0].name, "bunny.v2");
}

TEST_F(ObjFileTest, ErrorsNameThePath) {
  const std::string bad = Write("bad.obj", "v 0 0 0\nf 1 1 1 1 1\n");
  MeshFile mesh;
  std::string error;
  EXPECT_FALSE(ReadObjFile((directory_ / "missing.obj").string(), mesh, error));
  EXPECT_EQ(error, (directory_ / "missing.obj").string() + ": no such file");
  EXPECT_FALSE(ReadObjFile(directory_.string(), mesh, error));
  EXPECT_EQ(error, directory_.string() + ": is a directory, not a mesh file");
  EXPECT_FALSE(ReadObjFile(bad, mesh, error));
  EXPECT_EQ(error.rfind(bad + ":2: face with 5 corners", 0), 0u) << error;
}

}  // namespace
}  // namespace fm::host::mesh
