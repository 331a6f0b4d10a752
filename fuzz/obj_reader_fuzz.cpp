// The OBJ reader on arbitrary bytes. What it accepts must be a consistent mesh (each object's
// points name file vertices, in file order); what it refuses must leave the caller's mesh alone and
// say which file it is about.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/mesh/obj_reader.h"

namespace {

using namespace fm::host::mesh;

[[noreturn]] void Fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "obj reader: %s %s\n", what, detail.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  MeshFile mesh;
  std::string error;
  if (!ParseObj(text, "in.obj", "in", mesh, error)) {
    if (!mesh.objects.empty() || !mesh.vertices.empty()) Fail("a refused file filled the mesh");
    if (error.rfind("in.obj:", 0) != 0) Fail("the error does not name the file:", error);
    return 0;
  }
  for (const MeshObject& object : mesh.objects) {
    for (size_t k = 0; k < object.pointVertex.size(); ++k) {
      const auto vertex = object.pointVertex[k];
      if (vertex < 0 || static_cast<size_t>(vertex) >= mesh.vertices.size())
        Fail("a point names no file vertex in", object.name);
      if (k > 0 && vertex <= object.pointVertex[k - 1]) Fail("points out of file order in", object.name);
    }
  }
  return 0;
}
