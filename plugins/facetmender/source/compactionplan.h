#pragma once
// Where each polygon goes when the dead records are squeezed out of a polygon array after the
// merges, and where the selection bit of each dropped record goes.

#include <cstdint>

#include "polygonrecord.h"

namespace fm {

// `link` marks absorbed partners on entry: link[j] is the index of the record that absorbed
// record j, or -1 when nothing absorbed it. On return link[i] is
//   - the new index of record i when it is kept (records whose a != b keep their order);
//   - for an absorbed record, the new index of the quadrangle it went into, which inherits its
//     selection bit;
//   - -1 for any other dropped record (its bit is simply cleared).
// The answer is the number of kept records. A record only ever absorbs records after it, so its
// own new index is known when its partners come.
constexpr int32_t PlanCompaction(const PolygonRecord* records, int32_t* link, int32_t n) {
  int32_t kept = 0;
  for (int32_t i = 0; i < n; ++i) {
    if (!IsDead(records[i])) {
      link[i] = kept++;
      continue;
    }
    const int32_t absorber = link[i];
    const bool heirKept = absorber >= 0 && absorber < i && !IsDead(records[absorber]);
    link[i] = heirKept ? link[absorber] : -1;
  }
  return kept;
}

}  // namespace fm
