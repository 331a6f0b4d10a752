// The bundled examples are what make_examples writes, and each is a triangulated quad mesh with
// texture coordinates and a group, in the layout its comment names.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "examples/example_meshes.h"
#include "host/mesh/obj_reader.h"

namespace fm::examples {
namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(Examples, BundledFilesAreWhatTheGeneratorWrites) {
  for (const ExampleFile& file : BundledExamples()) {
    SCOPED_TRACE(file.name);
    EXPECT_TRUE(Contents(std::string(FM_SOURCE_DIR) + "/examples/" + file.name) == file.text)
        << "regenerate with make_examples " << FM_SOURCE_DIR << "/examples";
  }
}

TEST(Examples, EachIsATexturedTriangulationWithAGroup) {
  for (const ExampleFile& file : BundledExamples()) {
    SCOPED_TRACE(file.name);
    host::mesh::MeshFile mesh;
    std::string error;
    ASSERT_TRUE(host::mesh::ParseObj(file.text, file.name, "x", mesh, error)) << error;
    ASSERT_EQ(mesh.objects.size(), 1u);
    const host::mesh::MeshObject& object = mesh.objects[0];
    EXPECT_GT(object.polygons.size(), 100u);
    EXPECT_EQ(object.polygons.size() % 2, 0u);
    for (const host::mesh::Polygon& p : object.polygons) EXPECT_TRUE(p.IsTriangle());
    EXPECT_EQ(object.uvw.size(), object.polygons.size());
    ASSERT_EQ(object.groups.size(), 1u);
    EXPECT_GT(object.groups[0].polygons.size(), 0u);
    EXPECT_LT(object.groups[0].polygons.size(), object.polygons.size());
    EXPECT_TRUE(mesh.notes.empty());
  }
}

TEST(Examples, TriangulationSplitsEveryQuadAlongItsFirstDiagonal) {
  const QuadMesh quads = Panel(3, 2);
  for (Split split : {Split::kSideBySide, Split::kHalves}) {
    SCOPED_TRACE(split == Split::kSideBySide ? "side by side" : "halves");
    host::mesh::MeshFile mesh;
    std::string error;
    ASSERT_TRUE(host::mesh::ParseObj(TriangulatedObj(quads, split), "t", "x", mesh, error));
    const auto& polygons = mesh.objects[0].polygons;
    ASSERT_EQ(polygons.size(), 12u);
    const size_t n = quads.quads.size();
    for (size_t k = 0; k < n; ++k) {
      const auto& q = quads.quads[k];
      const size_t first = split == Split::kSideBySide ? 2 * k : k;
      const size_t second = split == Split::kSideBySide ? 2 * k + 1 : k + n;
      // Panel points are in file order and all used, so local indices are the quad's.
      EXPECT_EQ(polygons[first], (host::mesh::Polygon{q[0], q[1], q[2], q[2]}));
      EXPECT_EQ(polygons[second], (host::mesh::Polygon{q[0], q[2], q[3], q[3]}));
    }
  }
}

}  // namespace
}  // namespace fm::examples
