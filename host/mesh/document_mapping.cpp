#include "host/mesh/document_mapping.h"

#include <utility>

namespace fm::host::mesh {
namespace {

fm::host::Vector3 ToHost(const Vector3& v) { return fm::host::Vector3{v.x, v.y, v.z}; }
Vector3 FromHost(const fm::host::Vector3& v) { return Vector3{v.x, v.y, v.z}; }

}  // namespace

std::vector<PolygonObject*> AddMeshObjects(const MeshFile& mesh, Document& document) {
  std::vector<PolygonObject*> added;
  added.reserve(mesh.objects.size());
  for (const MeshObject& source : mesh.objects) {
    PolygonObject& object = document.AddPolygonObject(source.name);
    object.Points().reserve(source.points.size());
    for (const Vector3& point : source.points) object.Points().push_back(ToHost(point));
    object.Polygons().reserve(source.polygons.size());
    for (const Polygon& p : source.polygons) {
      object.Polygons().push_back(PolygonRecord{p.a, p.b, p.c, p.d});
    }
    if (!source.uvw.empty()) {
      UvwTag& tag = object.AddUvwTag();
      for (size_t i = 0; i < source.uvw.size(); ++i) {
        const UvwCorners& uvw = source.uvw[i];
        tag.Set(static_cast<int32_t>(i),
                UvwRecord{ToHost(uvw.a), ToHost(uvw.b), ToHost(uvw.c), ToHost(uvw.d)});
      }
    }
    for (const Group& group : source.groups) {
      SelectionTag& tag = object.AddPolygonSelectionTag(group.name);
      for (int32_t index : group.polygons) tag.Elements().Select(index);
    }
    added.push_back(&object);
  }
  return added;
}

bool TakeMeshObjects(const std::vector<PolygonObject*>& objects, MeshFile& mesh,
                     std::string& error) {
  if (objects.size() != mesh.objects.size()) {
    error = "the document holds " + std::to_string(objects.size()) + " objects of the file's " +
            std::to_string(mesh.objects.size());
    return false;
  }
  std::vector<MeshObject> taken;
  taken.reserve(objects.size());
  for (size_t o = 0; o < objects.size(); ++o) {
    const PolygonObject& object = *objects[o];
    const MeshObject& before = mesh.objects[o];
    if (object.Points().size() != before.points.size()) {
      error = "object '" + object.Name() + "' has " + std::to_string(object.Points().size()) +
              " points instead of " + std::to_string(before.points.size());
      return false;
    }
    MeshObject result;
    result.name = object.Name();
    result.pointVertex = before.pointVertex;
    result.points.reserve(object.Points().size());
    for (const fm::host::Vector3& point : object.Points()) result.points.push_back(FromHost(point));
    const int32_t polygonCount = object.PolygonCount();
    result.polygons.reserve(object.Polygons().size());
    for (const PolygonRecord& p : object.Polygons()) {
      result.polygons.push_back(Polygon{p.a, p.b, p.c, p.d});
    }
    if (const Tag* found = object.FindTag(kUvwTagType, 0)) {
      const auto* tag = dynamic_cast<const UvwTag*>(found);
      if (tag == nullptr || tag->Count() != polygonCount) {
        error = "object '" + object.Name() + "': its UVW tag does not cover its " +
                std::to_string(polygonCount) + " polygons";
        return false;
      }
      result.uvw.reserve(static_cast<size_t>(polygonCount));
      for (int32_t i = 0; i < polygonCount; ++i) {
        const UvwRecord r = tag->Get(i);
        result.uvw.push_back(
            UvwCorners{FromHost(r.a), FromHost(r.b), FromHost(r.c), FromHost(r.d)});
      }
    }
    for (const std::unique_ptr<Tag>& tag : object.Tags()) {
      if (tag->Type() != kPolygonSelectionTagType) continue;
      const auto* selection = dynamic_cast<const SelectionTag*>(tag.get());
      if (selection == nullptr) continue;
      Group group{selection->Name(), {}};
      for (int32_t index : selection->Elements().Indices()) {
        if (index >= polygonCount) {
          error = "object '" + object.Name() + "': selection '" + group.name +
                  "' holds polygon " + std::to_string(index) + " of " +
                  std::to_string(polygonCount);
          return false;
        }
        group.polygons.push_back(index);
      }
      result.groups.push_back(std::move(group));
    }
    taken.push_back(std::move(result));
  }
  mesh.objects = std::move(taken);
  return true;
}

}  // namespace fm::host::mesh
