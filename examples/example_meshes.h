#pragma once
// Quad meshes with texture coordinates and one named group, and their triangulations as other
// tools write them: every quad (a, b, c, d) split into (a, b, c) and (a, c, d), either pair by pair
// or all first triangles followed by all second ones. The bundled example files are made from
// these (make_examples), and the tests use them at other sizes.

#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace fm::examples {

struct QuadMesh {
  std::string name;
  std::string group;  // name of the group holding the quads marked in `inGroup`
  std::vector<std::array<double, 3>> points;
  std::vector<std::array<double, 2>> uvs;
  std::vector<std::array<int32_t, 4>> quads;    // 0-based point indices
  std::vector<std::array<int32_t, 4>> quadUvs;  // 0-based uv indices, corner by corner
  std::vector<bool> inGroup;
};

enum class Split {
  kSideBySide,  // quad k becomes triangles 2k and 2k + 1
  kHalves,      // quad k becomes triangles k and k + quad count
};

// How a mesh is written: as its quads, or triangulated in one of the two layouts.
enum class Form { kQuads, kSideBySide, kHalves };

// One object of a file.
struct Part {
  const QuadMesh* mesh;
  Form form;
};

namespace detail {

// Fixed-point text with up to five decimals, made with integer arithmetic so that every platform
// writes the same bytes.
inline std::string Decimal(double value) {
  long long scaled = std::llround(value * 100000.0);
  std::string text;
  if (scaled < 0) {
    text += '-';
    scaled = -scaled;
  }
  text += std::to_string(scaled / 100000);
  std::string fraction = std::to_string(100000 + scaled % 100000).substr(1);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) text += "." + fraction;
  return text == "-0" ? "0" : text;
}

}  // namespace detail

// A ring torus around the z axis: `segments` around the ring, `sides` around the tube. Texture
// coordinates run 0..1 in both directions with a seam, so the texture list is one longer each way.
// The group is a band of tube sides on the outside.
inline QuadMesh Torus(int segments, int sides, double ringRadius = 2.0, double tubeRadius = 0.75) {
  constexpr double kPi = 3.14159265358979323846;
  QuadMesh mesh;
  mesh.name = "torus";
  mesh.group = "band";
  for (int s = 0; s < segments; ++s) {
    const double u = 2.0 * kPi * s / segments;
    for (int t = 0; t < sides; ++t) {
      const double v = 2.0 * kPi * t / sides;
      const double r = ringRadius + tubeRadius * std::cos(v);
      mesh.points.push_back({r * std::cos(u), r * std::sin(u), tubeRadius * std::sin(v)});
    }
  }
  for (int s = 0; s <= segments; ++s) {
    for (int t = 0; t <= sides; ++t) {
      mesh.uvs.push_back({static_cast<double>(s) / segments, static_cast<double>(t) / sides});
    }
  }
  auto point = [&](int s, int t) { return (s % segments) * sides + (t % sides); };
  auto uv = [&](int s, int t) { return s * (sides + 1) + t; };
  for (int s = 0; s < segments; ++s) {
    for (int t = 0; t < sides; ++t) {
      mesh.quads.push_back({point(s, t), point(s + 1, t), point(s + 1, t + 1), point(s, t + 1)});
      mesh.quadUvs.push_back({uv(s, t), uv(s + 1, t), uv(s + 1, t + 1), uv(s, t + 1)});
      mesh.inGroup.push_back(t < sides / 4 || t >= sides - sides / 4);
    }
  }
  return mesh;
}

// A flat panel of `columns` × `rows` unit quads in the xy plane; the group is a window of quads
// away from the border.
inline QuadMesh Panel(int columns, int rows) {
  QuadMesh mesh;
  mesh.name = "panel";
  mesh.group = "window";
  for (int y = 0; y <= rows; ++y) {
    for (int x = 0; x <= columns; ++x) {
      mesh.points.push_back({static_cast<double>(x), static_cast<double>(y), 0.0});
      mesh.uvs.push_back({static_cast<double>(x) / columns, static_cast<double>(y) / rows});
    }
  }
  auto index = [&](int x, int y) { return y * (columns + 1) + x; };
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < columns; ++x) {
      const std::array<int32_t, 4> quad = {index(x, y), index(x + 1, y), index(x + 1, y + 1),
                                           index(x, y + 1)};
      mesh.quads.push_back(quad);
      mesh.quadUvs.push_back(quad);
      mesh.inGroup.push_back(x >= columns / 4 && x < columns - columns / 4 && y >= rows / 4 &&
                             y < rows - rows / 4);
    }
  }
  return mesh;
}

// An OBJ file with one object per part, in order; the vertex and texture lists of all parts come
// first, each object's indices offset to its own entries.
inline std::string ObjText(const std::vector<Part>& parts, const std::string& comment = "") {
  std::string text;
  if (!comment.empty()) text += "# " + comment + "\n";
  for (const Part& part : parts) {
    for (const auto& p : part.mesh->points) {
      text += "v " + detail::Decimal(p[0]) + " " + detail::Decimal(p[1]) + " " +
              detail::Decimal(p[2]) + "\n";
    }
  }
  for (const Part& part : parts) {
    for (const auto& t : part.mesh->uvs) {
      text += "vt " + detail::Decimal(t[0]) + " " + detail::Decimal(t[1]) + "\n";
    }
  }
  size_t pointBase = 0, uvBase = 0;
  bool inGroup = false;  // the group set carries across objects, as in any OBJ file
  for (const Part& part : parts) {
    const QuadMesh& mesh = *part.mesh;
    text += "o " + mesh.name + "\n";
    auto corner = [&](size_t k, int i) {
      return " " + std::to_string(pointBase + static_cast<size_t>(mesh.quads[k][i]) + 1) + "/" +
             std::to_string(uvBase + static_cast<size_t>(mesh.quadUvs[k][i]) + 1);
    };
    auto face = [&](size_t k, std::initializer_list<int> corners) {
      if (mesh.inGroup[k] != inGroup) {
        inGroup = mesh.inGroup[k];
        text += inGroup ? "g " + mesh.group + "\n" : "g\n";
      }
      text += "f";
      for (int i : corners) text += corner(k, i);
      text += "\n";
    };
    const size_t n = mesh.quads.size();
    switch (part.form) {
      case Form::kQuads:
        for (size_t k = 0; k < n; ++k) face(k, {0, 1, 2, 3});
        break;
      case Form::kSideBySide:
        for (size_t k = 0; k < n; ++k) {
          face(k, {0, 1, 2});
          face(k, {0, 2, 3});
        }
        break;
      case Form::kHalves:
        for (size_t k = 0; k < n; ++k) face(k, {0, 1, 2});
        for (size_t k = 0; k < n; ++k) face(k, {0, 2, 3});
        break;
    }
    pointBase += mesh.points.size();
    uvBase += mesh.uvs.size();
  }
  return text;
}

// The mesh as quads, as it was before the triangulation.
inline std::string QuadObj(const QuadMesh& mesh) { return ObjText({{&mesh, Form::kQuads}}); }

// The mesh with every quad split into (a, b, c) and (a, c, d), both in the quad's group.
inline std::string TriangulatedObj(const QuadMesh& mesh, Split split,
                                   const std::string& comment = "") {
  return ObjText({{&mesh, split == Split::kSideBySide ? Form::kSideBySide : Form::kHalves}},
                 comment);
}

// The bundled example files: name and contents.
struct ExampleFile {
  std::string name;
  std::string text;
};

inline std::vector<ExampleFile> BundledExamples() {
  return {
      {"torus.obj",
       TriangulatedObj(Torus(32, 16), Split::kSideBySide,
                       "A torus of 512 quads, each split into (a,b,c),(a,c,d), the two triangles "
                       "side by side; group 'band' is the outer half of the tube.")},
      {"panel.obj",
       TriangulatedObj(Panel(12, 8), Split::kHalves,
                       "A panel of 96 quads, each split into (a,b,c),(a,c,d): all first "
                       "triangles, then all second ones; group 'window' is the middle.")},
  };
}

}  // namespace fm::examples
