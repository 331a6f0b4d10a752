// Mutated mesh files: whatever the bytes, the reader either fails with one located, printable, short
// error line and returns nothing, or returns a mesh whose every index is in range, whose document
// traces back to its faces, and which an unchanged run writes back byte for byte.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "examples/example_meshes.h"
#include "host/mesh/document_mapping.h"
#include "host/mesh/face_trace.h"
#include "host/mesh/obj_reader.h"
#include "host/mesh/obj_writer.h"

namespace fm::host::mesh {
namespace {

std::string Mutate(std::string text, std::mt19937& random) {
  static const std::string kPieces[] = {"f ", "v ", "vt ", "o ", "g ", "/", "//", "-", "-1", "0",
                                        "\n", "\\\n", "#", " ", "1e309", "nan", "999999999999"};
  std::uniform_int_distribution<int> edits(1, 6);
  for (int e = edits(random); e > 0 && !text.empty(); --e) {
    std::uniform_int_distribution<size_t> at(0, text.size() - 1);
    const size_t position = at(random);
    switch (random() % 5) {
      case 0: text[position] = static_cast<char>(random() % 256); break;
      case 1: text.erase(position, random() % 16); break;
      case 2: text.insert(position, kPieces[random() % std::size(kPieces)]); break;
      case 3: text.resize(position); break;
      default: text.insert(position, text.substr(at(random), random() % 40)); break;
    }
  }
  return text;
}

TEST(ObjReaderFuzz, AnyInputGivesALocatedErrorOrAWritableMesh) {
  const examples::QuadMesh panel = examples::Panel(3, 2), torus = examples::Torus(4, 3);
  const std::string seeds[] = {
      examples::ObjText({{&panel, examples::Form::kHalves}, {&torus, examples::Form::kSideBySide}}),
      examples::QuadObj(panel),
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nvn 0 0 1\nf 1//1 2//1 -1//1\nl 1 2\n",
  };
  std::mt19937 random(12345);
  int accepted = 0, refused = 0;
  for (int round = 0; round < 3000; ++round) {
    const std::string text = Mutate(seeds[round % std::size(seeds)], random);
    MeshFile mesh;
    std::string error;
    if (!ParseObj(text, "in.obj", "stem", mesh, error)) {
      ++refused;
      ASSERT_EQ(error.rfind("in.obj:", 0), 0u) << error;
      ASSERT_LT(error.size(), 300u) << error;
      for (unsigned char c : error) ASSERT_GE(c, 0x20) << error;
      ASSERT_TRUE(mesh.objects.empty());
      continue;
    }
    ++accepted;
    uint32_t nextFace = 0;
    for (const MeshObject& object : mesh.objects) {
      ASSERT_EQ(object.firstFace, nextFace) << text;
      nextFace += object.faceCount;
    }
    ASSERT_EQ(nextFace, mesh.faces.size()) << text;
    for (const Face& face : mesh.faces) {
      for (int32_t vertex : face.vertex) {
        ASSERT_TRUE(vertex >= 0 && static_cast<size_t>(vertex) < mesh.vertices.size()) << text;
      }
    }
    Document document;
    const std::vector<PolygonObject*> objects = AddMeshObjects(mesh, document);
    FaceTrace trace;
    ASSERT_TRUE(TraceFaces(mesh, objects, trace, error)) << error << "\n" << text;
    ASSERT_TRUE(trace.rewritten.empty());
    std::string written;
    ASSERT_TRUE(WriteEditedObj(text, mesh, trace, [&](std::string_view piece) {
      written.append(piece);
      return true;
    }, error)) << error;
    ASSERT_EQ(written, text);
  }
  // Both outcomes must actually be exercised for the test to mean anything.
  EXPECT_GT(accepted, 100);
  EXPECT_GT(refused, 100);
}

}  // namespace
}  // namespace fm::host::mesh
