#include "host/mesh/document_mapping.h"

#include <cstring>
#include <system_error>
#include <thread>

#include "host/mesh/printable.h"
#include "host/scene/prepare_memory.h"

namespace fm::host::mesh {
namespace {

constexpr size_t kNameLimit = 60;
// Objects of at least this many points have them copied beside their polygons.
constexpr size_t kPointsApart = size_t{1} << 16;

// Point index within its object of every file vertex the object uses; other entries are stale.
void MapPoints(const MeshObject& object, std::vector<int32_t>& local) {
  for (size_t k = 0; k < object.pointVertex.size(); ++k) {
    local[static_cast<size_t>(object.pointVertex[k])] = static_cast<int32_t>(k);
  }
}

PolygonRecord LocalPolygon(const Face& face, const std::vector<int32_t>& local) {
  const auto at = [&](int k) { return local[static_cast<size_t>(face.vertex[k])]; };
  return PolygonRecord{at(0), at(1), at(2), at(3)};
}

// The same for an object whose points are the file's vertices from `base` on, in order.
PolygonRecord ShiftedPolygon(const Face& face, int32_t base) {
  return PolygonRecord{face.vertex[0] - base, face.vertex[1] - base, face.vertex[2] - base,
                       face.vertex[3] - base};
}

UvwRecord Origins(uint32_t face, bool triangle) {
  const auto corner = [&](uint32_t k) { return CornerOrigin(face, k); };
  return UvwRecord{corner(0), corner(1), corner(2), corner(triangle ? 2 : 3)};
}

std::string Where(const PolygonObject& object) {
  return "object '" + Printable(object.Name(), kNameLimit) + "': ";
}

}  // namespace

Vector3 CornerOrigin(uint32_t face, uint32_t corner) {
  return Vector3{static_cast<double>(face), static_cast<double>(corner), 0.0};
}

std::vector<PolygonObject*> AddMeshObjects(const MeshFile& mesh, Document& document) {
  std::vector<PolygonObject*> added;
  added.reserve(mesh.objects.size());
  std::vector<int32_t> local;  // made for the first object whose points are not a run
  for (const MeshObject& source : mesh.objects) {
    PolygonObject& object = document.AddPolygonObject(source.name);
    // Added while the object has no polygons, so that its records are appended once rather than
    // zero-filled first.
    UvwTag& uvw = object.AddUvwTag();
    // Points ascend, so a run of the file's vertices is one whose ends are as far apart as its
    // count says; an object whose points are all of them holds the file's list itself. The points
    // of a run are its vertices shifted, which needs no map.
    const std::vector<int32_t>& used = source.pointVertex;
    const bool aRun = !used.empty() && size_t(used.back() - used.front()) + 1 == used.size();
    const bool everyVertex = aRun && used.size() == mesh.vertices.size();
    const int32_t base = aRun ? used.front() : 0;
    if (!aRun) {
      if (local.empty()) local.assign(mesh.vertices.size(), 0);
      MapPoints(source, local);
    }
    const auto CopyPoints = [&] {
      std::vector<fm::host::Vector3>& points = object.Points();
      ReservePresent(points, source.pointVertex.size());
      for (int32_t vertex : source.pointVertex) {
        points.push_back(mesh.vertices[static_cast<size_t>(vertex)]);
      }
    };
    // A large object's points are copied on a second thread while its polygons are made here.
    std::thread copier;
    if (everyVertex) {
      object.BorrowPoints(mesh.vertices);
    } else if (source.pointVertex.size() >= kPointsApart) {
      try {
        copier = std::thread(CopyPoints);
      } catch (const std::system_error&) {
      }
    }
    if (!everyVertex && !copier.joinable()) CopyPoints();
    std::vector<PolygonRecord>& polygons = object.Polygons();
    std::vector<bool> triangle(source.faceCount);
    // Fresh memory costs more to fault in than writing it does: the back half of the room is made
    // ready on another thread while the front half is filled here.
    AppendInHalves(polygons, source.faceCount, [&](size_t begin, size_t end) {
      for (size_t k = begin; k < end; ++k) {
        const Face& face = mesh.faces[source.firstFace + k];
        polygons.push_back(aRun ? ShiftedPolygon(face, base) : LocalPolygon(face, local));
        triangle[k] = face.IsTriangle();
      }
    });
    // Points that are a run of the file's vertices, in order, make each polygon the file's face
    // with its vertex numbers shifted: an undo record can make the polygons again from the faces.
    if (aRun) {
      const Face* const faces = mesh.faces.data() + source.firstFace;
      object.SetPolygonsRule(std::make_shared<const SharedArray<PolygonRecord>::Rule>(
          [faces, base](size_t first, size_t count, PolygonRecord* out) {
            for (size_t i = 0; i < count; ++i) out[i] = ShiftedPolygon(faces[first + i], base);
          }));
    }
    // The tag names each polygon's face and corners by a rule, until the command writes them.
    if (!uvw.GenerateOrigins(source.firstFace, std::move(triangle))) {
      uvw.Reserve(static_cast<int32_t>(source.faceCount));
      for (uint32_t f = source.firstFace; f < source.firstFace + source.faceCount; ++f) {
        uvw.Append(Origins(f, mesh.faces[f].IsTriangle()));
      }
    }
    if (copier.joinable()) copier.join();
    added.push_back(&object);
  }
  return added;
}

bool HandOverInOrder(const MeshFile& mesh, const MeshObject& source,
                     const std::vector<uint32_t>& order, PolygonObject& object) {
  auto* uvw = dynamic_cast<UvwTag*>(object.FindTag(kUvwTagType, 0));
  std::vector<PolygonRecord>& polygons = object.Polygons();
  if (uvw == nullptr || order.size() != polygons.size() || order.size() != source.faceCount) {
    return false;
  }
  std::vector<bool> seen(order.size(), false);
  for (const uint32_t f : order) {
    if (f >= order.size() || seen[f]) return false;
    seen[f] = true;
  }
  std::vector<PolygonRecord> fileOrder(polygons);
  for (size_t k = 0; k < order.size(); ++k) {
    const uint32_t f = source.firstFace + order[k];
    polygons[k] = fileOrder[order[k]];
    uvw->Set(static_cast<int32_t>(k), Origins(f, mesh.faces[f].IsTriangle()));
  }
  return true;
}

std::string DocumentDifference(const MeshFile& mesh, const std::vector<PolygonObject*>& objects,
                               const HandOverOrders& orders) {
  if (objects.size() != mesh.objects.size()) {
    return "the document holds " + std::to_string(objects.size()) + " objects of the file's " +
           std::to_string(mesh.objects.size());
  }
  std::vector<int32_t> local(mesh.vertices.size(), 0);
  for (size_t o = 0; o < objects.size(); ++o) {
    const PolygonObject& object = *objects[o];
    const MeshObject& source = mesh.objects[o];
    if (object.Name() != source.name) return Where(object) + "its name differs";
    if (object.Points().size() != source.pointVertex.size()) {
      return Where(object) + "it has " + std::to_string(object.Points().size()) +
             " points instead of " + std::to_string(source.pointVertex.size());
    }
    for (size_t k = 0; k < source.pointVertex.size(); ++k) {
      if (object.Points()[k] != mesh.vertices[static_cast<size_t>(source.pointVertex[k])]) {
        return Where(object) + "point " + std::to_string(k) + " differs";
      }
    }
    if (object.Polygons().size() != source.faceCount) {
      return Where(object) + "it has " + std::to_string(object.Polygons().size()) +
             " polygons instead of " + std::to_string(source.faceCount);
    }
    if (object.Tags().size() != 1) {
      return Where(object) + "it has " + std::to_string(object.Tags().size()) +
             " tags instead of 1";
    }
    const auto* uvw = dynamic_cast<const UvwTag*>(object.FindTag(kUvwTagType, 0));
    if (uvw == nullptr || uvw->Count() != static_cast<int32_t>(source.faceCount)) {
      return Where(object) + "its UVW tag does not cover its polygons";
    }
    if (object.PolygonSelection().Count() != 0) return Where(object) + "it has selected polygons";
    const std::vector<uint32_t>* order =
        o < orders.size() && !orders[o].empty() ? &orders[o] : nullptr;
    if (order != nullptr && order->size() != source.faceCount) {
      return Where(object) + "its hand-over order does not cover its faces";
    }
    MapPoints(source, local);
    for (uint32_t i = 0; i < source.faceCount; ++i) {
      const uint32_t f = source.firstFace + (order != nullptr ? (*order)[i] : i);
      const Face& face = mesh.faces[f];
      if (object.Polygons()[i] != LocalPolygon(face, local)) {
        return Where(object) + "polygon " + std::to_string(i) + " differs";
      }
      const UvwRecord expected = Origins(f, face.IsTriangle());
      const UvwRecord actual = uvw->Get(static_cast<int32_t>(i));
      if (std::memcmp(&actual, &expected, sizeof expected) != 0) {
        return Where(object) + "the UVW corners of polygon " + std::to_string(i) + " differ";
      }
    }
  }
  return {};
}

}  // namespace fm::host::mesh
