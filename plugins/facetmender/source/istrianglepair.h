#pragma once
// Are two polygons of one array the two halves of a former quadrangle?

#include <cstdint>

#include "polygonrecord.h"
#include "sharededge.h"

namespace fm {

// Reads only. `first` and `partner` must be valid indices of `polygons`; they are not checked.
constexpr bool IsTrianglePair(const PolygonRecord* polygons, int32_t first, int32_t partner) {
  return FindSharedEdge(polygons[first], polygons[partner]).edge >= 0;
}

}  // namespace fm
