#pragma once
// The host's element records, in the byte layout a module reads and writes through the host tables.
// They are shared by both layouts (plain data, no pointers).

#include <cstddef>
#include <cstdint>

namespace fm::host {

struct Vector3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  friend bool operator==(const Vector3&, const Vector3&) = default;
};

// One polygon: four point indices. A triangle repeats its third index (c == d).
struct PolygonRecord {
  int32_t a = 0;
  int32_t b = 0;
  int32_t c = 0;
  int32_t d = 0;
  friend bool operator==(const PolygonRecord&, const PolygonRecord&) = default;
};

// The texture coordinates of one polygon, one vector per corner of the same name.
struct UvwRecord {
  Vector3 a;
  Vector3 b;
  Vector3 c;
  Vector3 d;
  friend bool operator==(const UvwRecord&, const UvwRecord&) = default;
};

// A typed value handed over by pointer: type at 0, payload at 8 (type 19: a 64-bit float).
struct TaggedValue {
  int32_t type = 0;
  int32_t reserved = 0;
  uint64_t payload = 0;
};

inline constexpr int32_t kTaggedValueEmpty = 0;
inline constexpr int32_t kTaggedValueFloat64 = 19;

static_assert(sizeof(Vector3) == 24);
static_assert(sizeof(PolygonRecord) == 16);
static_assert(offsetof(PolygonRecord, a) == 0 && offsetof(PolygonRecord, b) == 4 &&
              offsetof(PolygonRecord, c) == 8 && offsetof(PolygonRecord, d) == 12);
static_assert(sizeof(UvwRecord) == 96);
static_assert(offsetof(UvwRecord, a) == 0 && offsetof(UvwRecord, b) == 24 &&
              offsetof(UvwRecord, c) == 48 && offsetof(UvwRecord, d) == 72);
static_assert(sizeof(TaggedValue) == 16);
static_assert(offsetof(TaggedValue, type) == 0 && offsetof(TaggedValue, payload) == 8);

}  // namespace fm::host
