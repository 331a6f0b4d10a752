// ObjectTable: an object's tags, element data, polygon selection and resizing.
#include "host/tables/entry_support.h"
#include "host/tables/table_image.h"

namespace fm::host {
namespace {

// The first tag in the object's tag list, or null.
void* ObjectFirstTag(void* object) {
  Object* o = AsObject(object, "ObjectFirstTag");
  return o ? Handle(o->FirstTag()) : nullptr;
}

// The `index`-th tag of `type` (from 0), or null.
void* ObjectFindTag(void* object, int32_t type, int32_t index) {
  Object* o = AsObject(object, "ObjectFindTag");
  return o ? Handle(o->FindTag(type, index)) : nullptr;
}

// The records behind a data type, or null: points (5600) and polygons (5604) of a polygon object,
// otherwise the records of the object's first tag of that type.
VariableTag* TagRecords(Object& object, int32_t type) {
  return dynamic_cast<VariableTag*>(object.FindTag(type, 0));
}

// Writable in place until the object is resized; null when the object has no such data (or none
// of it: an empty array has no records to point at).
void* ObjectTagDataWritable(void* object, int32_t type, int32_t /*zero*/) {
  Object* o = AsObject(object, "ObjectTagDataWritable");
  if (!o) return nullptr;
  if (auto* p = dynamic_cast<PolygonObject*>(o)) {
    if (type == kPointDataType) return p->LendPoints();
    if (type == kPolygonDataType) {
      if (CurrentEnvironment().Faults().nullPolygonArray) return nullptr;
      return p->LendPolygons();
    }
  }
  VariableTag* records = TagRecords(*o, type);
  return records && !records->Bytes().empty() ? records->Bytes().data() : nullptr;
}

int32_t ObjectTagDataCount(void* object, int32_t type) {
  Object* o = AsObject(object, "ObjectTagDataCount");
  if (!o) return 0;
  if (auto* p = dynamic_cast<PolygonObject*>(o)) {
    if (type == kPointDataType) return p->PointCount();
    if (type == kPolygonDataType) return p->PolygonCount();
  }
  VariableTag* records = TagRecords(*o, type);
  return records ? records->Count() : 0;
}

// The polygon object's own polygon selection (lives as long as the object); null for other objects.
void* ObjectPolygonSelection(void* object) {
  PolygonObject* p = AsPolygonObject(object, "ObjectPolygonSelection");
  if (CurrentEnvironment().Faults().nullPolygonSelection) return nullptr;
  return p ? &p->PolygonSelection() : nullptr;
}

// New point and polygon counts, keeping the first records of the points, the polygons and every
// per-element tag; selections forget indices beyond. False, changing nothing, when refused.
bool ObjectResize(void* object, int32_t points, int32_t polygons) {
  if (CurrentEnvironment().Faults().refuseResize) return false;
  PolygonObject* p = AsPolygonObject(object, "ObjectResize");
  if (!p) return false;
  if (!p->Resize(points, polygons)) {
    Diagnose("ObjectResize: negative counts " + std::to_string(points) + ", " +
             std::to_string(polygons));
    return false;
  }
  return true;
}

}  // namespace

void FillObjectTable(TableImage& table) {
  using E = ObjectEntries;
  table.PutPlain<E::ObjectFirstTag, &ObjectFirstTag>();
  table.PutPlain<E::ObjectFindTag, &ObjectFindTag>();
  table.PutPlain<E::ObjectTagDataWritable, &ObjectTagDataWritable>();
  table.PutPlain<E::ObjectTagDataCount, &ObjectTagDataCount>();
  table.PutPlain<E::ObjectPolygonSelection, &ObjectPolygonSelection>();
  table.PutPlain<E::ObjectResize, &ObjectResize>();
}

}  // namespace fm::host
