// The OBJ reader on arbitrary bytes. What it accepts must be a consistent mesh (every index in
// range, each object's points the file vertices they name, texture coordinates and groups sized to
// the polygons); what it refuses must leave the caller's mesh alone and say which file and line.

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

void CheckObject(const MeshFile& file, const MeshObject& object) {
  const size_t points = object.points.size();
  if (object.pointVertex.size() != points) Fail("points and their file vertices differ in count");
  for (size_t k = 0; k < points; ++k) {
    const int64_t vertex = object.pointVertex[k];
    if (vertex < 0 || static_cast<size_t>(vertex) >= file.vertices.size())
      Fail("point names no file vertex", object.name);
    if (k > 0 && vertex <= object.pointVertex[k - 1]) Fail("points out of file order", object.name);
    if (!(object.points[k] == file.vertices[static_cast<size_t>(vertex)].position))
      Fail("point differs from its file vertex", object.name);
  }
  for (const Polygon& p : object.polygons) {
    for (int32_t index : {p.a, p.b, p.c, p.d}) {
      if (index < 0 || static_cast<size_t>(index) >= points) Fail("corner out of range", object.name);
    }
  }
  if (!object.uvw.empty() && object.uvw.size() != object.polygons.size())
    Fail("texture coordinates not one per polygon", object.name);
  for (const Group& group : object.groups) {
    for (size_t k = 0; k < group.polygons.size(); ++k) {
      const int32_t index = group.polygons[k];
      if (index < 0 || static_cast<size_t>(index) >= object.polygons.size())
        Fail("group names no polygon", group.name);
      if (k > 0 && index <= group.polygons[k - 1]) Fail("group not ascending", group.name);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  MeshFile mesh;
  mesh.notes.push_back("caller's");
  std::string error;
  if (!ParseObj(text, "in.obj", "in", mesh, error)) {
    if (mesh.notes.size() != 1 || !mesh.objects.empty() || !mesh.vertices.empty())
      Fail("a refused file changed the caller's mesh");
    if (error.rfind("in.obj:", 0) != 0) Fail("the error does not name the file:", error);
    return 0;
  }
  for (const MeshObject& object : mesh.objects) CheckObject(mesh, object);
  return 0;
}
