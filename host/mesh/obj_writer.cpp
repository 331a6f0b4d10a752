#include "host/mesh/obj_writer.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace fm::host::mesh {
namespace {

void AppendReal(std::string& out, double value) {
  char buffer[32];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  (void)ec;  // 32 bytes always hold the shortest form of a double
  out.append(buffer, ptr);
}

void AppendInteger(std::string& out, int64_t value) {
  char buffer[24];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  (void)ec;
  out.append(buffer, ptr);
}

// Texture coordinates are matched by their bits, so that 0.0 and -0.0 stay apart and every value
// is written back exactly as it is held.
struct BitsKey {
  uint64_t u, v, w;
  friend bool operator==(const BitsKey&, const BitsKey&) = default;
};
BitsKey KeyOf(const Vector3& value) {
  return BitsKey{std::bit_cast<uint64_t>(value.x), std::bit_cast<uint64_t>(value.y),
                 std::bit_cast<uint64_t>(value.z)};
}
struct BitsKeyHash {
  size_t operator()(const BitsKey& k) const {
    uint64_t h = k.u * 0x9E3779B97F4A7C15ull;
    h ^= (k.v + 0x7F4A7C159E3779B9ull + (h << 6) + (h >> 2));
    h ^= (k.w + 0x94D049BB133111EBull + (h << 6) + (h >> 2));
    return static_cast<size_t>(h ^ (h >> 31));
  }
};

// An OBJ name runs to the end of its line (objects) or to the next blank (groups).
bool IsWritableName(const std::string& name, bool allowBlanks) {
  if (name.empty() || name.front() == ' ' || name.back() == ' ') return false;
  for (char c : name) {
    if (c == '\n' || c == '\r' || c == '\t' || c == '\v' || c == '\f' || c == '\0') return false;
    if (c == ' ' && !allowBlanks) return false;
  }
  return true;
}

bool Check(const MeshFile& mesh, std::string& error) {
  const int64_t vertexCount = static_cast<int64_t>(mesh.vertices.size());
  for (const MeshObject& object : mesh.objects) {
    const std::string where = "object '" + object.name + "': ";
    if (!IsWritableName(object.name, true)) {
      error = where + "the name cannot be written on an OBJ 'o' line";
      return false;
    }
    if (object.pointVertex.size() != object.points.size()) {
      error = where + "points and their file vertices differ in number";
      return false;
    }
    for (int64_t vertex : object.pointVertex) {
      if (vertex < 0 || vertex >= vertexCount) {
        error = where + "a point refers to file vertex " + std::to_string(vertex) + " of " +
                std::to_string(vertexCount);
        return false;
      }
    }
    const int64_t pointCount = static_cast<int64_t>(object.points.size());
    for (size_t i = 0; i < object.polygons.size(); ++i) {
      const Polygon& p = object.polygons[i];
      for (int32_t corner : {p.a, p.b, p.c, p.d}) {
        if (corner < 0 || corner >= pointCount) {
          error = where + "polygon " + std::to_string(i) + " refers to point " +
                  std::to_string(corner) + " of " + std::to_string(pointCount);
          return false;
        }
      }
    }
    if (!object.uvw.empty() && object.uvw.size() != object.polygons.size()) {
      error = where + "texture coordinates for " + std::to_string(object.uvw.size()) +
              " polygons, but it has " + std::to_string(object.polygons.size());
      return false;
    }
    for (const Group& group : object.groups) {
      if (!IsWritableName(group.name, false)) {
        error = where + "group '" + group.name + "' cannot be written as an OBJ group name";
        return false;
      }
      for (int32_t index : group.polygons) {
        if (index < 0 || static_cast<size_t>(index) >= object.polygons.size()) {
          error = where + "group '" + group.name + "' names polygon " + std::to_string(index) +
                  " of " + std::to_string(object.polygons.size());
          return false;
        }
      }
    }
  }
  return true;
}

}  // namespace

bool FormatObj(const MeshFile& mesh, std::string& out, std::string& error) {
  if (!Check(mesh, error)) return false;

  // Points may have been edited in the scene; the file vertex they came from gets their position.
  std::vector<Vertex> vertices = mesh.vertices;
  for (const MeshObject& object : mesh.objects) {
    for (size_t k = 0; k < object.points.size(); ++k) {
      vertices[static_cast<size_t>(object.pointVertex[k])].position = object.points[k];
    }
  }

  std::string text;
  text.reserve(vertices.size() * 40 + mesh.texcoords.size() * 24);
  for (const Vertex& vertex : vertices) {
    text += "v ";
    AppendReal(text, vertex.position.x);
    text += ' ';
    AppendReal(text, vertex.position.y);
    text += ' ';
    AppendReal(text, vertex.position.z);
    for (int i = 0; i < vertex.extraCount; ++i) {
      text += ' ';
      AppendReal(text, vertex.extra[i]);
    }
    text += '\n';
  }

  std::vector<Vector3> texcoords = mesh.texcoords;
  std::unordered_map<BitsKey, int64_t, BitsKeyHash> texcoordIndex;
  texcoordIndex.reserve(texcoords.size());
  for (size_t i = 0; i < texcoords.size(); ++i) texcoordIndex.emplace(KeyOf(texcoords[i]), i);
  auto indexOf = [&](const Vector3& value) {
    auto [it, inserted] = texcoordIndex.emplace(KeyOf(value), texcoords.size());
    if (inserted) texcoords.push_back(value);
    return it->second;
  };
  // Faces refer to texture coordinates by index, so the indices are settled before the list is
  // written: per object, four per polygon.
  std::vector<std::vector<int64_t>> cornerTexcoord(mesh.objects.size());
  for (size_t o = 0; o < mesh.objects.size(); ++o) {
    const MeshObject& object = mesh.objects[o];
    cornerTexcoord[o].reserve(object.uvw.size() * 4);
    for (size_t i = 0; i < object.uvw.size(); ++i) {
      const UvwCorners& uvw = object.uvw[i];
      cornerTexcoord[o].push_back(indexOf(uvw.a));
      cornerTexcoord[o].push_back(indexOf(uvw.b));
      cornerTexcoord[o].push_back(indexOf(uvw.c));
      cornerTexcoord[o].push_back(object.polygons[i].IsTriangle() ? -1 : indexOf(uvw.d));
    }
  }
  for (const Vector3& uvw : texcoords) {
    text += "vt ";
    AppendReal(text, uvw.x);
    text += ' ';
    AppendReal(text, uvw.y);
    if (uvw.z != 0.0 || std::signbit(uvw.z)) {
      text += ' ';
      AppendReal(text, uvw.z);
    }
    text += '\n';
  }

  // The reader carries the current set of groups across `o` lines, so the writer tracks it the
  // same way and writes a `g` line only where the set changes.
  std::vector<std::string> current;
  for (size_t o = 0; o < mesh.objects.size(); ++o) {
    const MeshObject& object = mesh.objects[o];
    text += "o ";
    text += object.name;
    text += '\n';
    std::vector<std::vector<uint32_t>> membership(object.polygons.size());
    for (uint32_t g = 0; g < object.groups.size(); ++g) {
      for (int32_t index : object.groups[g].polygons) {
        std::vector<uint32_t>& groups = membership[static_cast<size_t>(index)];
        if (groups.empty() || groups.back() != g) groups.push_back(g);
      }
    }
    std::vector<std::string> wanted;
    for (size_t i = 0; i < object.polygons.size(); ++i) {
      wanted.clear();
      for (uint32_t g : membership[i]) wanted.push_back(object.groups[g].name);
      if (wanted != current) {
        text += 'g';
        for (const std::string& name : wanted) {
          text += ' ';
          text += name;
        }
        text += '\n';
        current = wanted;
      }
      const Polygon& p = object.polygons[i];
      const int32_t corners[4] = {p.a, p.b, p.c, p.d};
      const int cornerCount = p.IsTriangle() ? 3 : 4;
      text += 'f';
      for (int k = 0; k < cornerCount; ++k) {
        text += ' ';
        AppendInteger(text, object.pointVertex[static_cast<size_t>(corners[k])] + 1);
        if (!object.uvw.empty()) {
          text += '/';
          AppendInteger(text, cornerTexcoord[o][i * 4 + static_cast<size_t>(k)] + 1);
        }
      }
      text += '\n';
    }
  }
  out = std::move(text);
  return true;
}

}  // namespace fm::host::mesh
