#pragma once
// A scene for the command, decoded from fuzz bytes: a few objects (polygon objects and others, some
// nested, some selected) whose polygon lists mix triangulated quadrangles — side by side or first
// half against second half, starting at any corner — with raw records (quadrangles, dead records,
// negative indices), UVW tags, polygon-selection tags, point-selection tags and plain tags.
//
// Any byte string decodes to a scene, so the fuzzer's mutations always reach the command. No
// selected object lies below another selected one, so every object is processed at most once.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/scene/document.h"
#include "host/scene/records.h"

namespace fm::fuzz {

enum class TagKind { Uvw, PolygonSelection, PointSelection, Plain };

struct TagPlan {
  TagKind kind = TagKind::Plain;
  std::vector<host::UvwRecord> uvw;  // one per polygon
  std::vector<int32_t> selected;     // indices, possibly beyond the element count
};

struct ObjectPlan {
  bool polygonObject = true;
  int32_t parent = -1;  // index of an earlier object, or -1 for a top-level object
  bool selected = false;
  int32_t points = 0;
  std::vector<host::PolygonRecord> polygons;
  std::vector<int32_t> polygonSelection;
  std::vector<TagPlan> tags;
};

struct ScenePlan {
  std::vector<ObjectPlan> objects;
};

ScenePlan DecodeScene(const uint8_t* data, size_t size);

// How Build fills the first UVW tag of each polygon object.
enum class UvwFill {
  AsDecoded,  // the decoded values; an object without a UVW tag gets none
  Trace,      // every corner names where it came from (see TraceValue); objects get one if needed
};

// A UVW corner value that names its polygon record and corner, and reads back from one.
host::Vector3 TraceValue(int32_t polygon, int32_t corner);
bool ReadTrace(const host::Vector3& value, int32_t polygonCount, int32_t& polygon, int32_t& corner);

// Builds the scene into `document` (which should be empty) and returns its objects in the order
// of `plan` (objects are named "o0", "o1", ...).
std::vector<host::Object*> Build(const ScenePlan& plan, UvwFill fill, host::Document& document);

}  // namespace fm::fuzz
