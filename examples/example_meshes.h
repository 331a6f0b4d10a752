#pragma once
// Quad meshes with texture coordinates and one named group, and their triangulations as other
// tools write them: every quad (a, b, c, d) split into (a, b, c) and (a, c, d), either pair by pair
// or all first triangles followed by all second ones. The bundled example files are made from
// these (make_examples), and the tests use them at other sizes.

#include <array>
#include <cmath>
#include <cstdint>
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

inline std::string Corner(int32_t point, int32_t uv) {
  return " " + std::to_string(point + 1) + "/" + std::to_string(uv + 1);
}

inline std::string Lists(const QuadMesh& mesh) {
  std::string text;
  for (const auto& p : mesh.points) {
    text += "v " + Decimal(p[0]) + " " + Decimal(p[1]) + " " + Decimal(p[2]) + "\n";
  }
  for (const auto& t : mesh.uvs) text += "vt " + Decimal(t[0]) + " " + Decimal(t[1]) + "\n";
  text += "o " + mesh.name + "\n";
  return text;
}

inline void GroupLine(const QuadMesh& mesh, size_t quad, bool& inGroup, std::string& text) {
  if (mesh.inGroup[quad] != inGroup) {
    inGroup = mesh.inGroup[quad];
    text += inGroup ? "g " + mesh.group + "\n" : "g\n";
  }
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

// The mesh as quads, as it was before the triangulation.
inline std::string QuadObj(const QuadMesh& mesh) {
  std::string text = detail::Lists(mesh);
  bool inGroup = false;
  for (size_t k = 0; k < mesh.quads.size(); ++k) {
    detail::GroupLine(mesh, k, inGroup, text);
    const auto& q = mesh.quads[k];
    const auto& t = mesh.quadUvs[k];
    text += "f" + detail::Corner(q[0], t[0]) + detail::Corner(q[1], t[1]) +
            detail::Corner(q[2], t[2]) + detail::Corner(q[3], t[3]) + "\n";
  }
  return text;
}

// The mesh with every quad split into (a, b, c) and (a, c, d), both in the quad's group.
inline std::string TriangulatedObj(const QuadMesh& mesh, Split split,
                                   const std::string& comment = "") {
  std::string text;
  if (!comment.empty()) text += "# " + comment + "\n";
  text += detail::Lists(mesh);
  bool inGroup = false;
  auto first = [&](size_t k) {
    const auto& q = mesh.quads[k];
    const auto& t = mesh.quadUvs[k];
    return "f" + detail::Corner(q[0], t[0]) + detail::Corner(q[1], t[1]) +
           detail::Corner(q[2], t[2]) + "\n";
  };
  auto second = [&](size_t k) {
    const auto& q = mesh.quads[k];
    const auto& t = mesh.quadUvs[k];
    return "f" + detail::Corner(q[0], t[0]) + detail::Corner(q[2], t[2]) +
           detail::Corner(q[3], t[3]) + "\n";
  };
  if (split == Split::kSideBySide) {
    for (size_t k = 0; k < mesh.quads.size(); ++k) {
      detail::GroupLine(mesh, k, inGroup, text);
      text += first(k) + second(k);
    }
  } else {
    for (size_t k = 0; k < mesh.quads.size(); ++k) {
      detail::GroupLine(mesh, k, inGroup, text);
      text += first(k);
    }
    for (size_t k = 0; k < mesh.quads.size(); ++k) {
      detail::GroupLine(mesh, k, inGroup, text);
      text += second(k);
    }
  }
  return text;
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
