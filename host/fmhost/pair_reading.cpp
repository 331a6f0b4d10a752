#include "host/fmhost/pair_reading.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <system_error>
#include <thread>

#include "host/mesh/triangle_order.h"

namespace fm::host::fmhost {
namespace {

mesh::Vector3 Minus(const mesh::Vector3& a, const mesh::Vector3& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}

mesh::Vector3 Cross(const mesh::Vector3& a, const mesh::Vector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double Dot(const mesh::Vector3& a, const mesh::Vector3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

// The normal of a face's first three corners, not normalised; zero for a degenerate triangle.
mesh::Vector3 Normal(const mesh::MeshFile& file, const mesh::Face& face) {
  const auto at = [&](int k) { return file.vertices[static_cast<size_t>(face.vertex[k])]; };
  return Cross(Minus(at(1), at(0)), Minus(at(2), at(0)));
}

bool Folded(const mesh::Vector3& n, const mesh::Vector3& m) {
  const double lengths = std::sqrt(Dot(n, n)) * std::sqrt(Dot(m, m));
  if (!(lengths > 0.0) || !std::isfinite(lengths)) return false;  // no direction to compare
  return Dot(n, m) < std::cos(kFoldedDegrees * 3.14159265358979323846 / 180.0) * lengths;
}

}  // namespace

bool IsTrianglePair(const PolygonRecord& first, const PolygonRecord& partner) {
  return mesh::FormsTrianglePair(first, partner);
}

PairReading ReadPairLayout(const std::vector<PolygonRecord>& polygons) {
  PairReading reading;
  const size_t n = polygons.size();
  reading.half = static_cast<int64_t>(n / 2);
  if (n < 2) return reading;
  if (IsTrianglePair(polygons[0], polygons[n / 2])) {
    reading.layout = PairLayout::kHalves;
  } else if (IsTrianglePair(polygons[0], polygons[1])) {
    reading.layout = PairLayout::kAdjacent;
  } else {
    for (size_t j = 2; j < n; ++j) {
      if (IsTrianglePair(polygons[0], polygons[j])) {
        reading.polygon0PairsWith = static_cast<int64_t>(j);
        break;
      }
    }
  }
  return reading;
}

namespace {

// The merges among rewritten faces [from, to) of `object`.
FoldCount CountRange(const mesh::MeshFile& file, const mesh::MeshObject& object,
                     const mesh::FaceTrace& trace, size_t from, size_t to) {
  FoldCount count;
  for (size_t r = from; r < to; ++r) {
    const mesh::RewrittenFace& face = trace.rewritten[r];
    if (face.face < object.firstFace) continue;
    uint32_t partner = face.face;
    for (int k = 0; k < face.corners; ++k) {
      if (face.sourceFace[k] != face.face) partner = face.sourceFace[k];
    }
    if (partner == face.face) continue;  // rewritten from its own corners only: no merge
    ++count.merged;
    count.folded += Folded(Normal(file, file.faces[face.face]), Normal(file, file.faces[partner]));
  }
  return count;
}

}  // namespace

FoldCount CountFolds(const mesh::MeshFile& file, const mesh::MeshObject& object,
                     const mesh::FaceTrace& trace, size_t& next, size_t halvesFrom) {
  const uint64_t end = uint64_t{object.firstFace} + object.faceCount;
  const auto from = trace.rewritten.begin() + static_cast<std::ptrdiff_t>(next);
  const size_t last = static_cast<size_t>(
      std::partition_point(from, trace.rewritten.end(),
                           [&](const mesh::RewrittenFace& face) { return face.face < end; }) -
      trace.rewritten.begin());
  const size_t first = next;
  next = last;
  if (last - first < std::max<size_t>(halvesFrom, 2)) {
    return CountRange(file, object, trace, first, last);
  }
  // Each merge reads its two faces' six points from all over the vertex list: the halves are
  // counted side by side.
  const size_t middle = first + (last - first) / 2;
  FoldCount second;
  std::jthread helper;
  try {
    helper = std::jthread([&] { second = CountRange(file, object, trace, middle, last); });
  } catch (const std::system_error&) {
    second = CountRange(file, object, trace, middle, last);
  }
  FoldCount count = CountRange(file, object, trace, first, middle);
  if (helper.joinable()) helper.join();
  count.merged += second.merged;
  count.folded += second.folded;
  return count;
}

}  // namespace fm::host::fmhost
