#pragma once
// The plain in-memory form of a mesh file, between the file on disk and the host's scene.
//
// An OBJ file numbers its vertices and texture coordinates across the whole file; a polygon object
// owns its points. So the file's vertex and texture-coordinate lists are kept as they were read, and
// every object holds its own points together with the file vertex each one came from. Writing the
// file back from this form leaves the vertex list, its order and its values exactly as read.

#include <cstdint>
#include <string>
#include <vector>

namespace fm::host::mesh {

struct Vector3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  friend bool operator==(const Vector3&, const Vector3&) = default;
};

// A file vertex: its position and the optional values after it on its line (a weight, or a
// red/green/blue colour), carried through unchanged.
struct Vertex {
  Vector3 position;
  uint8_t extraCount = 0;  // 0, 1 (weight) or 3 (colour)
  double extra[3] = {0.0, 0.0, 0.0};
  friend bool operator==(const Vertex&, const Vertex&) = default;
};

// Four point indices into the object's points; a triangle when c == d.
struct Polygon {
  int32_t a = 0;
  int32_t b = 0;
  int32_t c = 0;
  int32_t d = 0;
  bool IsTriangle() const { return c == d; }
  friend bool operator==(const Polygon&, const Polygon&) = default;
};

// Texture coordinates (u, v, w) of the four corners of one polygon; a triangle's d repeats its c.
struct UvwCorners {
  Vector3 a, b, c, d;
  friend bool operator==(const UvwCorners&, const UvwCorners&) = default;
};

// A named set of polygon indices of one object, ascending and without repeats.
struct Group {
  std::string name;
  std::vector<int32_t> polygons;
  friend bool operator==(const Group&, const Group&) = default;
};

struct MeshObject {
  std::string name;
  std::vector<Vector3> points;
  // File vertex index (0-based) of each point; ascending, so points keep the file's order.
  std::vector<int64_t> pointVertex;
  std::vector<Polygon> polygons;
  // Empty when the object has no texture coordinates, otherwise one entry per polygon.
  std::vector<UvwCorners> uvw;
  // In the order the file first names them.
  std::vector<Group> groups;
  friend bool operator==(const MeshObject&, const MeshObject&) = default;
};

struct MeshFile {
  std::vector<Vertex> vertices;    // the file's `v` lines, in order
  std::vector<Vector3> texcoords;  // the file's `vt` lines, in order
  std::vector<MeshObject> objects;  // in file order
  // What the file held that this form does not carry (normals, materials, ...), one sentence each,
  // so the caller can tell the user instead of dropping it silently.
  std::vector<std::string> notes;
};

}  // namespace fm::host::mesh
