#pragma once
// How the triangles of a polygon object were paired when its quadrangles were split.

#include <cstdint>

#include "istrianglepair.h"
#include "polygonrecord.h"

namespace fm {

enum class PairLayout : int32_t {
  None = 0,      // no layout found: the object is left alone
  Adjacent = 1,  // triangle i pairs with i + 1
  Halves = 2,    // triangle i pairs with i + half, half = n >> 1
};

// The partner of polygon i in a layout.
constexpr int32_t PartnerOf(PairLayout layout, int32_t i, int32_t half) {
  return layout == PairLayout::Adjacent ? i + 1 : i + half;
}

// `hint` is null, or the two selected polygon indices s < t when exactly two are selected. A
// hint of two neighbours can only say Adjacent; any other hint only Halves (s < half,
// t = s + half). A hint that says nothing falls back to the probes: polygons 0 and half, then
// 0 and 1. Fewer than two polygons have no layout.
constexpr PairLayout DetectPairLayout(const PolygonRecord* polygons, int32_t n,
                                      const int32_t* hint) {
  if (n < 2) return PairLayout::None;
  const int32_t half = n >> 1;
  if (hint != nullptr) {
    const int32_t s = hint[0];
    const int32_t t = hint[1];
    if (s >= 0 && s < t && t < n) {
      if (t == s + 1) {
        if (IsTrianglePair(polygons, s, t)) return PairLayout::Adjacent;
      } else if (s < half && t == s + half && IsTrianglePair(polygons, s, t)) {
        return PairLayout::Halves;
      }
    }
  }
  if (IsTrianglePair(polygons, 0, half)) return PairLayout::Halves;
  if (IsTrianglePair(polygons, 0, 1)) return PairLayout::Adjacent;
  return PairLayout::None;
}

}  // namespace fm
