#include "host/mesh/obj_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "host/mesh/obj_reader.h"

namespace fm::host::mesh {
namespace {

MeshFile Parse(std::string_view text) {
  MeshFile mesh;
  std::string error;
  EXPECT_TRUE(ParseObj(text, "in.obj", "stem", mesh, error)) << error;
  mesh.notes.clear();
  return mesh;
}

std::string Format(const MeshFile& mesh) {
  std::string text, error;
  EXPECT_TRUE(FormatObj(mesh, text, error)) << error;
  return text;
}

TEST(ObjWriter, WritesVerticesTexcoordsAndFacesInOrder) {
  MeshFile mesh = Parse(
      "v 0 0 0\nv 1.5 0 0 0.25\nv 1 1 0 0.1 0.2 0.3\nv 0 1 0\nvt 0 0\nvt 1 0 0.5\nvt 1 1\nvt 0 1\n"
      "o square\nf 1/1 2/2 3/3\nf 1/1 3/3 4/4\nf 1/1 2/2 3/3 4/4\n");
  EXPECT_EQ(Format(mesh),
            "v 0 0 0\nv 1.5 0 0 0.25\nv 1 1 0 0.1 0.2 0.3\nv 0 1 0\n"
            "vt 0 0\nvt 1 0 0.5\nvt 1 1\nvt 0 1\n"
            "o square\nf 1/1 2/2 3/3\nf 1/1 3/3 4/4\nf 1/1 2/2 3/3 4/4\n");
}

TEST(ObjWriter, ReadingTheWrittenFileGivesTheSameMesh) {
  const char* inputs[] = {
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3\nf -4 -2 -1\n",
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 5 5 5\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
      "o A\ng top\nf 4/4 3/3 1/1\ng top side\nf 2/2 3/3 4/4 1/1\no B\nf 5/1 2/2 3/3\ng\nf 5/1 3/3 4/4\n",
      "v 0 0 0\nv 1 0 0\nv 1 1 0\no first\nf 1 2 3\no first\nf 3 2 1\no empty\n",
      "v 0 0 0\n",
  };
  for (const char* input : inputs) {
    SCOPED_TRACE(input);
    const MeshFile original = Parse(input);
    const std::string written = Format(original);
    const MeshFile reread = Parse(written);
    EXPECT_EQ(reread.vertices, original.vertices);
    EXPECT_EQ(reread.objects, original.objects);
    EXPECT_EQ(Format(reread), written);
  }
}

TEST(ObjWriter, EveryDoubleReadsBackBitForBit) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> wide(-1e6, 1e6);
  std::uniform_int_distribution<uint64_t> bits;
  MeshFile mesh;
  for (int i = 0; i < 2000; ++i) {
    Vertex vertex;
    vertex.position = {wide(random), std::ldexp(wide(random), -200), 0.0};
    double raw;
    do {
      const uint64_t pattern = bits(random);
      std::memcpy(&raw, &pattern, sizeof raw);
    } while (!std::isfinite(raw));
    vertex.position.z = raw;
    mesh.vertices.push_back(vertex);
    mesh.texcoords.push_back({wide(random), -0.0, i % 2 ? 0.0 : wide(random)});
  }
  const MeshFile reread = Parse(Format(mesh));
  ASSERT_EQ(reread.vertices.size(), mesh.vertices.size());
  for (size_t i = 0; i < mesh.vertices.size(); ++i) {
    EXPECT_EQ(std::memcmp(&reread.vertices[i].position, &mesh.vertices[i].position,
                          sizeof(Vector3)), 0) << i;
    EXPECT_EQ(std::memcmp(&reread.texcoords[i], &mesh.texcoords[i], sizeof(Vector3)), 0) << i;
  }
}

TEST(ObjWriter, MergedQuadsKeepTheirCornersTexcoordsAndGroups) {
  // What the command makes of (0,1,2) + (0,2,3): the quad (0,1,2,3), the partner gone.
  MeshFile mesh = Parse(
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
      "g band\nf 1/1 2/2 3/3\nf 1/1 3/3 4/4\n");
  MeshObject& object = mesh.objects[0];
  object.polygons = {Polygon{0, 1, 2, 3}};
  object.uvw[0].d = object.uvw[1].c;
  object.uvw.resize(1);
  object.groups[0].polygons = {0};
  EXPECT_EQ(Format(mesh),
            "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
            "o stem\ng band\nf 1/1 2/2 3/3 4/4\n");
}

TEST(ObjWriter, CornerValuesMissingFromTheListAreAppended) {
  MeshFile mesh = Parse("v 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nf 1/1 2/1 3/1\n");
  mesh.objects[0].uvw[0].b = {0.5, -0.0, 0.0};
  mesh.objects[0].uvw[0].c = {0.0, 0.0, 2.0};
  EXPECT_EQ(Format(mesh),
            "v 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nvt 0.5 -0\nvt 0 0 2\no stem\nf 1/1 2/2 3/3\n");
}

TEST(ObjWriter, GroupLinesFollowChangesOfTheGroupSet) {
  MeshFile mesh = Parse(
      "v 0 0 0\nv 1 0 0\nv 1 1 0\no A\nf 1 2 3\nf 1 2 3\nf 1 2 3\nf 1 2 3\no B\nf 1 2 3\n");
  mesh.objects[0].groups = {Group{"x", {1, 2}}, Group{"y", {2}}};
  mesh.objects[1].groups = {Group{"y", {0}}};
  EXPECT_EQ(Format(mesh),
            "v 0 0 0\nv 1 0 0\nv 1 1 0\n"
            "o A\nf 1 2 3\ng x\nf 1 2 3\ng x y\nf 1 2 3\ng\nf 1 2 3\no B\ng y\nf 1 2 3\n");
}

TEST(ObjWriter, AnInconsistentMeshIsRefusedAndNothingIsWritten) {
  struct Case {
    const char* name;
    void (*spoil)(MeshObject&);
    const char* error;
  };
  const Case cases[] = {
      {"point index", [](MeshObject& o) { o.polygons[0].b = 3; },
       "object 'stem': polygon 0 refers to point 3 of 3"},
      {"negative point", [](MeshObject& o) { o.polygons[0].a = -1; },
       "object 'stem': polygon 0 refers to point -1 of 3"},
      {"uvw length", [](MeshObject& o) { o.uvw.resize(2); },
       "object 'stem': texture coordinates for 2 polygons, but it has 1"},
      {"group index", [](MeshObject& o) { o.groups.push_back(Group{"g", {1}}); },
       "object 'stem': group 'g' names polygon 1 of 1"},
      {"group name", [](MeshObject& o) { o.groups.push_back(Group{"two words", {0}}); },
       "object 'stem': group 'two words' cannot be written as an OBJ group name"},
      {"object name", [](MeshObject& o) { o.name = "a\nb"; }, "the name cannot be written"},
      {"file vertex", [](MeshObject& o) { o.pointVertex[2] = 3; },
       "object 'stem': a point refers to file vertex 3 of 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MeshFile mesh = Parse("v 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nf 1/1 2/1 3/1\n");
    c.spoil(mesh.objects[0]);
    std::string text = "untouched", error;
    EXPECT_FALSE(FormatObj(mesh, text, error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_EQ(text, "untouched");
  }
}

TEST(ObjWriter, PointPositionsFromTheObjectsReachTheirFileVertices) {
  MeshFile mesh = Parse("v 0 0 0\nv 1 0 0\nv 9 9 9\nv 1 1 0\nf 1 2 4\n");
  mesh.objects[0].points[2] = {2, 2, 2};
  EXPECT_EQ(Format(mesh), "v 0 0 0\nv 1 0 0\nv 9 9 9\nv 2 2 2\no stem\nf 1 2 4\n");
}

}  // namespace
}  // namespace fm::host::mesh
