#include "host/mesh/face_trace.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <new>
#include <system_error>
#include <thread>

#include "host/mesh/printable.h"
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

// One byte per face of an object while it is traced: which polygons came from it.
constexpr uint8_t kClaimed = 1;   // a polygon took corners from it
constexpr uint8_t kWrittenAt = 2;  // a polygon takes its place (its first corner came from it)

// What a run of an object's polygons was traced to besides its rewritten faces.
struct TracedRun {
  int64_t firstPosition = -1;  // where its first and last polygons' faces were handed over
  int64_t lastPosition = -1;
  uint64_t claims = 0;  // faces its polygons took, each counted once per polygon
};

// Traces polygons [begin, end) of `object` to faces of `source`, marking them in `claimed` (one
// byte per face of `source`); false with the error of the first polygon that does not trace. Two
// runs of one object may work side by side: bytes are read and written through atomic_ref, and a
// face both take shows in the claims (see TraceObject).
bool TracePolygons(const MeshFile& mesh, const MeshObject& source, const PolygonObject& object,
                   const UvwTag& uvw, const std::vector<uint32_t>& rank, const std::string& where,
                   int32_t begin, int32_t end, uint8_t* claimed,
                   std::vector<RewrittenFace>& rewritten, TracedRun& run, std::string& error) {
  const auto Claimed = [&](uint32_t face) {
    return std::atomic_ref<uint8_t>(claimed[face - source.firstFace]);
  };
  int64_t previous = -1, first = -1;
  uint64_t claims = 0;
  for (int32_t w = begin; w < end; ++w) {
    const PolygonRecord& polygon = object.Polygons()[static_cast<size_t>(w)];
    // Compact records hold the face and corner numbers as they are; others are read as doubles.
    uint32_t packed[4];
    const bool compact = uvw.CompactCorners(w, packed);
    const UvwRecord corners = compact ? UvwRecord{} : uvw.Get(w);
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
        rank.empty() ? int64_t{traced.face} : int64_t{rank[traced.face - source.firstFace]};
    if (position <= previous) {
      error = which() + " is out of the order of the faces it came from";
      return false;
    }
    previous = position;
    if (first < 0) first = position;
    for (int k = 0; k < 4; ++k) {
      bool earlier = false;  // several corners may name the same face
      for (int e = 0; e < k; ++e) earlier = earlier || traced.sourceFace[e] == traced.sourceFace[k];
      if (earlier) continue;
      if (Claimed(traced.sourceFace[k]).load(std::memory_order_relaxed) != 0) {
        error = which() + " takes a corner of a face another polygon came from";
        return false;
      }
      Claimed(traced.sourceFace[k])
          .store(k == 0 ? kClaimed | kWrittenAt : kClaimed, std::memory_order_relaxed);
      ++claims;
    }

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
    rewritten.push_back(traced);
  }
  run = TracedRun{first, previous, claims};
  return true;
}

// Traces the polygons in two halves side by side: the first half's rewritten faces are appended to
// `rewritten`, the second's given in `secondHalf`. False when either half does not trace or the
// halves do not fit together (out of order where they meet, a face both took): the caller then
// traces them in one run, which finds the first polygon at fault as it would have alone.
bool TraceInHalves(const MeshFile& mesh, const MeshObject& source, const PolygonObject& object,
                   const UvwTag& uvw, const std::vector<uint32_t>& rank, const std::string& where,
                   uint8_t* claimed, std::vector<RewrittenFace>& rewritten,
                   std::vector<RewrittenFace>& secondHalf) {
  // What each half writes as it goes lies on cache lines of its own.
  struct alignas(64) Half {
    std::vector<RewrittenFace> rewritten;
    TracedRun run;
    bool traced = false;
    std::string error;
  };
  const int32_t count = object.PolygonCount();
  const int32_t middle = count / 2;
  Half first, second;
  try {
    first.rewritten.swap(rewritten);
    second.rewritten.reserve(static_cast<size_t>(count - middle));
    {
      std::jthread helper([&] {
        try {
          second.traced = TracePolygons(mesh, source, object, uvw, rank, where, middle, count,
                                        claimed, second.rewritten, second.run, second.error);
        } catch (const std::bad_alloc&) {
          // An error message that could not be made: the one run finds it again.
        }
      });
      first.traced = TracePolygons(mesh, source, object, uvw, rank, where, 0, middle, claimed,
                                   first.rewritten, first.run, first.error);
    }
    rewritten.swap(first.rewritten);
  } catch (const std::system_error&) {
    rewritten.swap(first.rewritten);
    return false;
  } catch (const std::bad_alloc&) {
    rewritten.swap(first.rewritten);
    return false;
  }
  if (!first.traced || !second.traced || first.run.lastPosition >= second.run.firstPosition) {
    return false;
  }
  // Had the halves taken one face, one mark would have hidden the other.
  const auto marked = static_cast<uint64_t>(
      source.faceCount - std::count(claimed, claimed + source.faceCount, uint8_t{0}));
  if (marked != first.run.claims + second.run.claims) return false;
  secondHalf.swap(second.rewritten);
  return true;
}

// Keeps the faces polygons are written at; false when a face went into no polygon though the
// command may not drop it.
bool SettleFaces(const MeshFile& mesh, const MeshObject& source, const std::vector<uint8_t>& claimed,
                 const std::string& where, FaceTrace& trace, std::string& error) {
  for (uint32_t f = 0; f < source.faceCount; ++f) {
    if (claimed[f] != 0) {
      if ((claimed[f] & kWrittenAt) != 0) trace.kept[source.firstFace + f] = true;
      continue;
    }
    // The command drops only polygons whose first two corners are one point (and the partners it
    // merges, which the merged polygons name); any other face in no polygon would be lost.
    const Face& face = mesh.faces[source.firstFace + f];
    if (face.vertex[0] == face.vertex[1]) continue;
    error = where + "its face " + std::to_string(f + 1) +
            " went into no polygon, though only a face whose first two corners are one point "
            "may be dropped";
    return false;
  }
  return true;
}

// `order`: what the object was handed over in, empty for the file's order.
bool TraceObject(const MeshFile& mesh, const MeshObject& source, const PolygonObject& object,
                 const std::vector<uint32_t>& order, FaceTrace& trace, std::string& error,
                 size_t halvesFrom) {
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
  std::vector<uint8_t> claimed(source.faceCount, 0);
  std::vector<RewrittenFace> secondHalf;
  const bool halves = static_cast<size_t>(count) >= std::max<size_t>(halvesFrom, 2) &&
                      TraceInHalves(mesh, source, object, *uvw, rank, where, claimed.data(),
                                    trace.rewritten, secondHalf);
  if (!halves) {
    std::fill(claimed.begin(), claimed.end(), uint8_t{0});
    trace.rewritten.resize(firstRewritten);
    TracedRun run;
    if (!TracePolygons(mesh, source, object, *uvw, rank, where, 0, count, claimed.data(),
                       trace.rewritten, run, error)) {
      return false;
    }
  }
  bool appended = secondHalf.empty();
  {
    // The second half's faces are appended on a second thread while the faces are settled here.
    std::jthread appender;
    if (!appended) {
      try {
        appender = std::jthread([&] {
          try {
            trace.rewritten.insert(trace.rewritten.end(), secondHalf.begin(), secondHalf.end());
            appended = true;
          } catch (const std::bad_alloc&) {
            // Appended below, where a failure reaches the caller.
          }
        });
      } catch (const std::system_error&) {
      }
    }
    if (!SettleFaces(mesh, source, claimed, where, trace, error)) return false;
  }
  if (!appended) trace.rewritten.insert(trace.rewritten.end(), secondHalf.begin(), secondHalf.end());
  if (!order.empty()) SortRewritten(source, trace.rewritten, firstRewritten);
  trace.polygonsAfter.push_back(count);
  return true;
}

}  // namespace

bool TraceFaces(const MeshFile& mesh, const std::vector<PolygonObject*>& objects, FaceTrace& trace,
                std::string& error, const HandOverOrders& orders, size_t halvesFrom) {
  if (objects.size() != mesh.objects.size()) {
    error = "the document holds " + std::to_string(objects.size()) + " objects of the file's " +
            std::to_string(mesh.objects.size());
    return false;
  }
  FaceTrace result;
  result.kept.assign(mesh.faces.size(), false);
  result.polygonsAfter.reserve(objects.size());
  size_t polygons = 0;
  for (const PolygonObject* object : objects) polygons += static_cast<size_t>(object->PolygonCount());
  result.rewritten.reserve(polygons);
  for (size_t o = 0; o < objects.size(); ++o) {
    static const std::vector<uint32_t> kFileOrder;
    const std::vector<uint32_t>& order = o < orders.size() ? orders[o] : kFileOrder;
    if (!TraceObject(mesh, mesh.objects[o], *objects[o], order, result, error, halvesFrom)) {
      return false;
    }
  }
  trace = std::move(result);
  return true;
}

}  // namespace fm::host::mesh
