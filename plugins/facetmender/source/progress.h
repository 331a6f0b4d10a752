#pragma once
// The status bar's progress: merges so far relative to the most merges possible.

#include <cstdint>

namespace fm {

// (merged * 100) / total, truncating toward zero, worked out in 64 bits: merged * 100 leaves 32
// bits from about 21.5 million merges on. Wherever the 32-bit product fits, the value is the same.
// `total` must not be 0.
constexpr int32_t ProgressPercent(int32_t merged, int32_t total) {
  return static_cast<int32_t>(static_cast<int64_t>(merged) * 100 / total);
}

}  // namespace fm
