#include "scene_plan.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <string>

namespace fm::fuzz {
namespace {

using host::PolygonRecord;
using host::UvwRecord;

constexpr int32_t kMaxObjects = 4;
constexpr int32_t kMaxPieces = 24;
constexpr int32_t kMaxPolygons = 64;
constexpr int32_t kMaxPoints = 24;
constexpr double kTraceMark = -3.0;

// Mostly a point of the object; sometimes one past its end or a negative index, which a polygon
// record may hold even though it names no point.
int32_t PointIndex(FuzzedDataProvider& in, int32_t points) {
  const uint8_t v = in.ConsumeIntegral<uint8_t>();
  if (v >= 0xF8) return 0xF7 - v;         // -1 ... -8
  if (v >= 0xF0) return points + v - 0xF0;  // beyond the points
  return points > 0 ? v % points : v % 4;
}

// The triangle (x, y, z) starting at corner `start`: the same winding, another first corner.
PolygonRecord Triangle(int32_t x, int32_t y, int32_t z, int start) {
  const int32_t c[3] = {x, y, z};
  return {c[start % 3], c[(start + 1) % 3], c[(start + 2) % 3], c[(start + 2) % 3]};
}

std::vector<PolygonRecord> DecodePolygons(FuzzedDataProvider& in, int32_t points) {
  std::vector<PolygonRecord> near, far;  // far: the second halves of split quadrangles
  const int32_t pieces = in.ConsumeIntegralInRange<int32_t>(0, kMaxPieces);
  for (int32_t k = 0; k < pieces && near.size() + far.size() + 2 <= kMaxPolygons; ++k) {
    const uint8_t kind = in.ConsumeIntegral<uint8_t>();
    const int32_t a = PointIndex(in, points), b = PointIndex(in, points);
    const int32_t c = PointIndex(in, points), d = PointIndex(in, points);
    switch (kind % 8) {
      case 6:
        near.push_back({a, b, c, d});
        break;
      case 7:
        near.push_back(kind & 0x80 ? PolygonRecord{} : PolygonRecord{a, a, b, c});
        break;
      default: {
        // A quadrangle split along either diagonal, each half starting at any corner, in either
        // order; side by side, or the second half pushed to the far half of the list.
        const uint8_t how = in.ConsumeIntegral<uint8_t>();
        PolygonRecord first = how & 1 ? Triangle(b, c, d, how >> 1) : Triangle(a, b, c, how >> 1);
        PolygonRecord second =
            how & 1 ? Triangle(b, d, a, how >> 3) : Triangle(a, c, d, how >> 3);
        if (how & 0x20) std::swap(first, second);
        near.push_back(first);
        (kind % 8 >= 4 ? far : near).push_back(second);
      }
    }
  }
  near.insert(near.end(), far.begin(), far.end());
  return near;
}

// Indices in [0, range + 2): none, exactly two (as a user marks a pair), a bit pattern, or all.
std::vector<int32_t> DecodeSelection(FuzzedDataProvider& in, int32_t range) {
  std::vector<int32_t> out;
  const int32_t limit = range + 2;
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 1: {
      const int32_t s = in.ConsumeIntegralInRange<int32_t>(0, limit - 1);
      const int32_t t = in.ConsumeIntegralInRange<int32_t>(0, limit - 1);
      out = {s, t};
      break;
    }
    case 2: {
      const uint64_t bits = in.ConsumeIntegral<uint64_t>();
      for (int32_t i = 0; i < limit && i < 64; ++i) {
        if (bits >> i & 1) out.push_back(i);
      }
      break;
    }
    case 3:
      for (int32_t i = 0; i < range; ++i) out.push_back(i);
      break;
    default:
      break;
  }
  return out;
}

TagPlan DecodeTag(FuzzedDataProvider& in, const ObjectPlan& object) {
  TagPlan tag;
  const int32_t n = static_cast<int32_t>(object.polygons.size());
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: {
      tag.kind = TagKind::Uvw;
      const double base = in.ConsumeIntegral<int8_t>() / 8.0;
      for (int32_t i = 0; i < n; ++i) {
        UvwRecord r;
        host::Vector3* corners[4] = {&r.a, &r.b, &r.c, &r.d};
        for (int k = 0; k < 4; ++k) *corners[k] = {base + i, base - k, base * k};
        tag.uvw.push_back(r);
      }
      break;
    }
    case 1:
      tag.kind = TagKind::PolygonSelection;
      tag.selected = DecodeSelection(in, n);
      break;
    case 2:
      tag.kind = TagKind::PointSelection;
      tag.selected = DecodeSelection(in, object.points);
      break;
    default:
      tag.kind = TagKind::Plain;
  }
  return tag;
}

UvwRecord TraceRecord(int32_t polygon) {
  return {TraceValue(polygon, 0), TraceValue(polygon, 1), TraceValue(polygon, 2),
          TraceValue(polygon, 3)};
}

bool AncestorSelected(const ScenePlan& scene, int32_t index) {
  for (int32_t p = scene.objects[index].parent; p >= 0; p = scene.objects[p].parent) {
    if (scene.objects[p].selected) return true;
  }
  return false;
}

}  // namespace

ScenePlan DecodeScene(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  ScenePlan scene;
  const int32_t count = in.ConsumeIntegralInRange<int32_t>(1, kMaxObjects);
  for (int32_t i = 0; i < count; ++i) {
    ObjectPlan object;
    const uint8_t flags = in.ConsumeIntegral<uint8_t>();
    object.polygonObject = flags % 6 != 0;
    object.selected = flags & 0x80;
    object.parent = (flags >> 3 & 7) % (i + 1) - 1;
    if (object.polygonObject) {
      object.points = in.ConsumeIntegralInRange<int32_t>(0, kMaxPoints);
      object.polygons = DecodePolygons(in, object.points);
      object.polygonSelection =
          DecodeSelection(in, static_cast<int32_t>(object.polygons.size()));
      const int32_t tags = in.ConsumeIntegralInRange<int32_t>(0, 4);
      for (int32_t k = 0; k < tags; ++k) object.tags.push_back(DecodeTag(in, object));
    }
    scene.objects.push_back(std::move(object));
  }
  for (int32_t i = 0; i < count; ++i) {
    if (AncestorSelected(scene, i)) scene.objects[i].selected = false;
  }
  return scene;
}

host::Vector3 TraceValue(int32_t polygon, int32_t corner) {
  return {polygon + 0.25, corner + 0.5, kTraceMark};
}

bool ReadTrace(const host::Vector3& value, int32_t polygonCount, int32_t& polygon,
               int32_t& corner) {
  if (value.z != kTraceMark) return false;
  const double p = value.x - 0.25, c = value.y - 0.5;
  if (!(p >= 0 && p < polygonCount && c >= 0 && c < 4)) return false;
  if (p != std::floor(p) || c != std::floor(c)) return false;
  polygon = static_cast<int32_t>(p);
  corner = static_cast<int32_t>(c);
  return true;
}

std::vector<host::Object*> Build(const ScenePlan& plan, UvwFill fill, host::Document& document) {
  std::vector<host::Object*> objects;
  for (size_t i = 0; i < plan.objects.size(); ++i) {
    const ObjectPlan& o = plan.objects[i];
    host::Object* parent = o.parent >= 0 ? objects[static_cast<size_t>(o.parent)] : nullptr;
    const std::string name = "o" + std::to_string(i);
    if (!o.polygonObject) {
      objects.push_back(&document.AddGroupObject(name, parent));
      objects.back()->SetSelected(o.selected);
      continue;
    }
    host::PolygonObject& object = document.AddPolygonObject(name, parent);
    object.SetSelected(o.selected);
    for (int32_t p = 0; p < o.points; ++p) object.Points().push_back({double(p), 0, 0});
    object.Polygons() = o.polygons;
    for (int32_t index : o.polygonSelection) object.PolygonSelection().Select(index);
    const int32_t n = object.PolygonCount();
    bool traced = false;
    for (size_t k = 0; k < o.tags.size(); ++k) {
      const TagPlan& tag = o.tags[k];
      switch (tag.kind) {
        case TagKind::Uvw: {
          host::UvwTag& uvw = object.AddUvwTag("uvw" + std::to_string(k));
          const bool trace = fill == UvwFill::Trace && !traced;
          for (int32_t p = 0; p < n; ++p) {
            uvw.Set(p, trace ? TraceRecord(p) : tag.uvw[static_cast<size_t>(p)]);
          }
          traced = true;
          break;
        }
        case TagKind::PolygonSelection: {
          host::SelectionTag& s = object.AddPolygonSelectionTag("sel" + std::to_string(k));
          for (int32_t index : tag.selected) s.Elements().Select(index);
          break;
        }
        case TagKind::PointSelection: {
          auto& s = object.EmplaceTag<host::SelectionTag>(host::kPolygonSelectionTagType + 1,
                                                          host::ElementKind::Point);
          for (int32_t index : tag.selected) s.Elements().Select(index);
          break;
        }
        case TagKind::Plain:
          object.EmplaceTag<host::Tag>(5616);
          break;
      }
    }
    if (fill == UvwFill::Trace && !traced) {
      host::UvwTag& uvw = object.AddUvwTag("trace");
      for (int32_t p = 0; p < n; ++p) uvw.Set(p, TraceRecord(p));
    }
    objects.push_back(&object);
  }
  return objects;
}

}  // namespace fm::fuzz
