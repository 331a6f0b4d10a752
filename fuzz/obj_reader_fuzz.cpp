// The OBJ reader on arbitrary bytes. What it accepts must be a consistent mesh: objects whose face
// ranges follow one another and cover every face, faces of three or four corners naming file
// vertices and found again at their offsets in the text, points naming those vertices in file
// order. What it refuses must leave the caller's mesh alone and give one printable line of bounded
// length that names the file. Read again in parts by two threads (parts of a length the input's
// first byte chooses), it must give the same mesh, or the same error.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "host/framework/utf8.h"
#include "host/mesh/obj_reader.h"

namespace {

using namespace fm::host::mesh;

// Room for the file name, the line number and a shortened token or two.
constexpr size_t kLongestError = 400;

[[noreturn]] void Fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "obj reader: %s %s\n", what, detail.c_str());
  std::abort();
}

void CheckError(const std::string& error) {
  if (error.rfind("in.obj:", 0) != 0) Fail("the error does not name the file:", error);
  if (error.size() > kLongestError) Fail("the error is not bounded:", error.substr(0, 200));
  for (char c : error) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) Fail("the error holds a control byte");
  }
  if (!fm::host::DecodeUtf8(error)) Fail("the error is not UTF-8");
}

void CheckFaces(std::string_view text, const MeshFile& mesh) {
  if (mesh.textSize != text.size()) Fail("the text size is wrong");
  if (!mesh.bases.empty() && mesh.bases.size() != mesh.faces.size())
    Fail("index bases not one per face");
  uint64_t previous = 0;
  for (size_t i = 0; i < mesh.faces.size(); ++i) {
    const Face& face = mesh.faces[i];
    if (face.corners != 3 && face.corners != 4) Fail("a face of neither 3 nor 4 corners");
    if (face.corners == 3 && face.vertex[3] != face.vertex[2]) Fail("a triangle's d is not its c");
    for (int32_t vertex : face.vertex) {
      if (vertex < 0 || static_cast<size_t>(vertex) >= mesh.vertices.size())
        Fail("a face names no vertex");
    }
    if (face.offset >= text.size() || (i > 0 && face.offset <= previous))
      Fail("face offsets out of order or beyond the text");
    // Blanks and line continuations may come before the keyword.
    const size_t start = text.find_first_not_of(" \t\v\f\r\\\n", face.offset);
    if (start == std::string_view::npos || text[start] != 'f') Fail("no face at a face's offset");
    previous = face.offset;
  }
}

void CheckObjects(const MeshFile& mesh) {
  uint64_t next = 0;
  for (const MeshObject& object : mesh.objects) {
    if (object.firstFace != next) Fail("face ranges do not follow one another in", object.name);
    next += object.faceCount;
    if (next > mesh.faces.size()) Fail("a face range beyond the faces in", object.name);
    const auto& points = object.pointVertex;
    for (size_t k = 0; k < points.size(); ++k) {
      if (points[k] < 0 || static_cast<size_t>(points[k]) >= mesh.vertices.size())
        Fail("a point names no file vertex in", object.name);
      if (k > 0 && points[k] <= points[k - 1]) Fail("points out of file order in", object.name);
    }
    for (uint32_t f = object.firstFace; f < object.firstFace + object.faceCount; ++f) {
      for (int32_t vertex : mesh.faces[f].vertex) {
        if (!std::binary_search(points.begin(), points.end(), vertex))
          Fail("a face's vertex is none of its object's points in", object.name);
      }
    }
  }
  if (next != mesh.faces.size()) Fail("faces outside every object");
}

bool SameFaces(const MeshFile& a, const MeshFile& b) {
  if (a.faces.size() != b.faces.size()) return false;
  for (size_t i = 0; i < a.faces.size(); ++i) {
    const Face& x = a.faces[i];
    const Face& y = b.faces[i];
    if (std::memcmp(x.vertex, y.vertex, sizeof x.vertex) != 0 || x.offset != y.offset ||
        x.corners != y.corners) {
      return false;
    }
  }
  return true;
}

void CheckReadInParts(std::string_view text, size_t partBytes, bool read, const MeshFile& mesh,
                      const std::string& error) {
  MeshFile parts;
  std::string partsError;
  const bool partsRead = ParseObj(text, "in.obj", "in", parts, partsError, {}, partBytes);
  if (partsRead != read) Fail("read in parts, the file is", read ? "refused" : "accepted");
  if (!read) {
    if (partsError != error) Fail("read in parts, the error differs:", partsError + " / " + error);
    return;
  }
  const bool same =
      parts.vertices.size() == mesh.vertices.size() &&
      std::memcmp(parts.vertices.data(), mesh.vertices.data(),
                  mesh.vertices.size() * sizeof(Vector3)) == 0 &&
      parts.texcoordCount == mesh.texcoordCount && parts.normalCount == mesh.normalCount &&
      SameFaces(parts, mesh) && parts.objects == mesh.objects &&
      parts.leftObjects == mesh.leftObjects && parts.bases == mesh.bases &&
      parts.materialLibraries == mesh.materialLibraries && parts.textSize == mesh.textSize;
  if (!same) Fail("read in parts, the mesh differs");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  MeshFile mesh;
  std::string error;
  const size_t partBytes = size == 0 ? 1 : 1 + data[0] % 64;
  if (!ParseObj(text, "in.obj", "in", mesh, error)) {
    if (!mesh.objects.empty() || !mesh.vertices.empty() || !mesh.faces.empty())
      Fail("a refused file filled the mesh");
    CheckError(error);
    CheckReadInParts(text, partBytes, false, mesh, error);
    return 0;
  }
  CheckFaces(text, mesh);
  CheckObjects(mesh);
  CheckReadInParts(text, partBytes, true, mesh, error);
  return 0;
}
