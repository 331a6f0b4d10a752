#pragma once
// The host's polygon record as it lies in a polygon object's writable polygon array.

#include <cstddef>
#include <cstdint>

namespace fm {

// Four point indices. A triangle repeats its third corner (c == d); a record whose first two
// corners are the same point (a == b) is dead and is dropped when the array is compacted. A
// triangle absorbed into a quadrangle is cleared to (0, 0, 0, 0), which is dead.
struct PolygonRecord {
  int32_t a;
  int32_t b;
  int32_t c;
  int32_t d;
};

static_assert(sizeof(PolygonRecord) == 16);
static_assert(offsetof(PolygonRecord, a) == 0 && offsetof(PolygonRecord, b) == 4);
static_assert(offsetof(PolygonRecord, c) == 8 && offsetof(PolygonRecord, d) == 12);

constexpr bool IsTriangle(const PolygonRecord& p) { return p.c == p.d; }
constexpr bool IsDead(const PolygonRecord& p) { return p.a == p.b; }
constexpr bool IsCleared(const PolygonRecord& p) { return p.a == 0 && p.b == 0; }

}  // namespace fm
