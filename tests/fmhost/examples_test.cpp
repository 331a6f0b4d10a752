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
    EXPECT_GT(mesh.faces.size(), 100u);
    EXPECT_EQ(mesh.faces.size() % 2, 0u);
    for (const host::mesh::Face& face : mesh.faces) EXPECT_TRUE(face.IsTriangle());
    EXPECT_GT(mesh.texcoordCount, 0);
    EXPECT_NE(file.text.find("\nf 1/1 "), std::string::npos);
    EXPECT_NE(file.text.find("\ng " + std::string(file.name == "torus.obj" ? "band" : "window")),
              std::string::npos);
  }
}

TEST(Examples, TriangulationSplitsEveryQuadAlongItsFirstDiagonal) {
  const QuadMesh quads = Panel(3, 2);
  for (Split split : {Split::kSideBySide, Split::kHalves}) {
    SCOPED_TRACE(split == Split::kSideBySide ? "side by side" : "halves");
    host::mesh::MeshFile mesh;
    std::string error;
    ASSERT_TRUE(host::mesh::ParseObj(TriangulatedObj(quads, split), "t", "x", mesh, error));
    ASSERT_EQ(mesh.faces.size(), 12u);
    const size_t n = quads.quads.size();
    const auto vertices = [&](size_t f) {
      const host::mesh::Face& face = mesh.faces[f];
      return std::array<int32_t, 4>{face.vertex[0], face.vertex[1], face.vertex[2], face.vertex[3]};
    };
    for (size_t k = 0; k < n; ++k) {
      const auto& q = quads.quads[k];
      const size_t first = split == Split::kSideBySide ? 2 * k : k;
      const size_t second = split == Split::kSideBySide ? 2 * k + 1 : k + n;
      EXPECT_EQ(vertices(first), (std::array<int32_t, 4>{q[0], q[1], q[2], q[2]}));
      EXPECT_EQ(vertices(second), (std::array<int32_t, 4>{q[0], q[2], q[3], q[3]}));
    }
  }
}

}  // namespace
}  // namespace fm::examples
