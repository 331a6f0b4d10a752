#include "host/mesh/face_trace.h"

#include <algorithm>
#include <cstddef>

#include "host/mesh/printable.h"
#include "host/scene/prepare_memory.h"
#include "host/scene/tags.h"

namespace fm::host::mesh {
namespace {

constexpr size_t kNameLimit = 60;

// Reads one UVW corner back as a face and corner of `object`; false when it is not one.
bool DecodeOrigin(const fm::host::Vector3& uvw, const MeshFile& mesh, const MeshObject& object,
                  uint32_t& face, uint32_t& corner) {
  const double first = object.firstFace, last = double(object.firstFace) + object.faceCount;
  if (!(uvw.x >= first && uvw.x < last) || uvw.x != static_cast<double>(static_cast<uint32_t>(uvw.x)) ||
      uvw.z != 0.0) {
    return false;
  }
  face = static_cast<uint32_t>(uvw.x);
  if (!(uvw.y >= 0.0 && uvw.y < mesh.faces[face].corners) ||
      uvw.y != static_cast<double>(static_cast<uint32_t>(uvw.y))) {
    return false;
  }
  corner = static_cast<uint32_t>(uvw.y);
  return true;
}

// The same for a corner kept as face << 2 | corner.
bool DecodePacked(uint32_t packed, const MeshFile& mesh, const MeshObject& object, uint32_t& face,
                  uint32_t& corner) {
  face = packed >> 2;
  corner = packed & 3;
  return face >= object.firstFace && face - object.firstFace < object.faceCount &&
         corner < mesh.faces[face].corners;
}

// Where each of the object's faces was handed over: rank[f - firstFace] is its position. False when
// `order` is not a permutation of the object's faces.
bool HandOverRanks(const std::vector<uint32_t>& order, std::vector<uint32_t>& rank) {
  constexpr uint32_t kUnset = UINT32_MAX;
  rank.assign(order.size(), kUnset);
  for (uint32_t k = 0; k < order.size(); ++k) {
    if (order[k] >= order.size() || rank[order[k]] != kUnset) return false;
    rank[order[k]] = k;
  }
  return true;
}

// Puts the object's rewritten faces, from `first` on, into the file's order. They are distinct faces
// of one object, so placing each at its face is linear where sorting would not be.
void SortRewritten(const MeshObject& source, std::vector<RewrittenFace>& rewritten, size_t first) {
  if (rewritten.size() - first < 2) return;
  std::vector<int64_t> at(source.faceCount, -1);
  for (size_t r = first; r < rewritten.size(); ++r) {
    at[rewritten[r].face - source.firstFace] = static_cast<int64_t>(r);
  }
  std::vector<RewrittenFace> sorted;
  sorted.reserve(rewritten.size() - first);
  for (const int64_t r : at) {
    if (r >= 0) sorted.push_back(rewritten[static_cast<size_t>(r)]);
  }
  std::copy(sorted.begin(), sorted.end(), rewritten.begin() + static_cast<std::ptrdiff_t>(first));
}

// `order`: what the object was handed over in, empty for the file's order.
bool TraceObject(const MeshFile& mesh, const MeshObject& source, const PolygonObject& object,
                 const std::vector<uint32_t>& order, std::vector<bool>& used, FaceTrace& trace,
                 std::string& error) {
  const std::string where = "object '" + Printable(object.Name(), kNameLimit) + "': ";
  const int32_t count = object.PolygonCount();
  const auto* uvw = dynamic_cast<const UvwTag*>(object.FindTag(kUvwTagType, 0));
  if (uvw == nullptr || uvw->Count() != count) {
    error = where + "its UVW tag no longer covers its polygons, so they cannot be traced to the "
                    "file's faces";
    return false;
  }
  std::vector<uint32_t> rank;
  if (!order.empty() && (order.size() != source.faceCount || !HandOverRanks(order, rank))) {
    error = where + "its hand-over order is not an order of its faces";
    return false;
  }
  const size_t firstRewritten = trace.rewritten.size();
  int64_t previous = -1;
  for (int32_t w = 0; w < count; ++w) {
    const PolygonRecord& polygon = object.Polygons()[static_cast<size_t>(w)];
    // Compact records hold the face and corner numbers as they are; others are read as doubles.
    uint32_t packed[4];
    const bool compact = uvw->CompactCorners(w, packed);
    const UvwRecord corners = compact ? UvwRecord{} : uvw->Get(w);
    const int32_t points[4] = {polygon.a, polygon.b, polygon.c, polygon.d};
    const fm::host::Vector3* origins[4] = {&corners.a, &corners.b, &corners.c, &corners.d};
    RewrittenFace traced;
    // Only a failure needs the polygon's name; building it for every polygon would cost one
    // allocation per face of the file.
    const auto which = [&] { return where + "polygon " + std::to_string(w); };
    for (int k = 0; k < 4; ++k) {
      uint32_t face = 0, corner = 0;
      if (compact ? !DecodePacked(packed[k], mesh, source, face, corner)
                  : !DecodeOrigin(*origins[k], mesh, source, face, corner)) {
        error = which() + " has a corner that names no face of the object";
        return false;
      }
      if (points[k] < 0 || static_cast<size_t>(points[k]) >= source.pointVertex.size() ||
          source.pointVertex[static_cast<size_t>(points[k])] != mesh.faces[face].vertex[corner]) {
        error = which() + " has a corner whose point is not the vertex its face has there";
        return false;
      }
      traced.sourceFace[k] = face;
      traced.sourceCorner[k] = static_cast<uint8_t>(corner);
    }
    traced.face = traced.sourceFace[0];
    const int64_t position =
        order.empty() ? int64_t{traced.face} : int64_t{rank[traced.face - source.firstFace]};
    if (position <= previous) {
      error = which() + " is out of the order of the faces it came from";
      return false;
    }
    previous = position;
    for (int k = 0; k < 4; ++k) {
      bool earlier = false;  // several corners may name the same face
      for (int e = 0; e < k; ++e) earlier = earlier || traced.sourceFace[e] == traced.sourceFace[k];
      if (earlier) continue;
      if (used[traced.sourceFace[k]]) {
        error = which() + " takes a corner of a face another polygon came from";
        return false;
      }
    }
    for (int k = 0; k < 4; ++k) used[traced.sourceFace[k]] = true;
    trace.kept[traced.face] = true;

    const Face& face = mesh.faces[traced.face];
    const bool sameFace = traced.sourceFace[1] == traced.face && traced.sourceFace[2] == traced.face &&
                          traced.sourceFace[3] == traced.face;
    const bool inOrder = traced.sourceCorner[0] == 0 && traced.sourceCorner[1] == 1 &&
                         traced.sourceCorner[2] == 2 &&
                         traced.sourceCorner[3] == (face.IsTriangle() ? 2 : 3);
    if (sameFace && inOrder) continue;
    // A triangle's d repeats its c; a d of its own is a fourth corner even on the same point.
    const bool triangle = polygon.c == polygon.d && traced.sourceFace[2] == traced.sourceFace[3] &&
                          traced.sourceCorner[2] == traced.sourceCorner[3];
    traced.corners = triangle ? 3 : 4;
    trace.rewritten.push_back(traced);
  }
  // The command drops only polygons whose first two corners are one point (and the partners it
  // merges, which the merged polygons name); any other face in no polygon would be lost.
  for (uint32_t f = source.firstFace; f < source.firstFace + source.faceCount; ++f) {
    if (used[f] || mesh.faces[f].vertex[0] == mesh.faces[f].vertex[1]) continue;
    error = where + "its face " + std::to_string(f - source.firstFace + 1) +
            " went into no polygon, though only a face whose first two corners are one point "
            "may be dropped";
    return false;
  }
  if (!order.empty()) SortRewritten(source, trace.rewritten, firstRewritten);
  trace.polygonsAfter.push_back(count);
  return true;
}

}  // namespace

bool TraceFaces(const MeshFile& mesh, const std::vector<PolygonObject*>& objects, FaceTrace& trace,
                std::string& error, const HandOverOrders& orders) {
  if (objects.size() != mesh.objects.size()) {
    error = "the document holds " + std::to_string(objects.size()) + " objects of the file's " +
            std::to_string(mesh.objects.size());
    return false;
  }
  FaceTrace result;
  result.kept.assign(mesh.faces.size(), false);
  result.polygonsAfter.reserve(objects.size());
  std::vector<bool> used(mesh.faces.size(), false);
  size_t polygons = 0;
  for (const PolygonObject* object : objects) polygons += static_cast<size_t>(object->PolygonCount());
  ReservePresent(result.rewritten, polygons);
  for (size_t o = 0; o < objects.size(); ++o) {
    static const std::vector<uint32_t> kFileOrder;
    const std::vector<uint32_t>& order = o < orders.size() ? orders[o] : kFileOrder;
    if (!TraceObject(mesh, mesh.objects[o], *objects[o], order, used, result, error)) return false;
  }
  trace = std::move(result);
  return true;
}

}  // namespace fm::host::mesh
