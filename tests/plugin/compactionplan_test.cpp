// Where records and selection bits go when the dead records are squeezed out.

#include <gtest/gtest.h>

#include <vector>

#include "compactionplan.h"

namespace fm {
namespace {

constexpr PolygonRecord kCleared = {0, 0, 0, 0};

struct Case {
  const char* what;
  std::vector<PolygonRecord> records;  // after the merges
  std::vector<int32_t> absorbedBy;     // -1: not absorbed
  std::vector<int32_t> expected;       // link after planning
  int32_t kept;
};

TEST(PlanCompaction, MapsKeptRecordsAndHeirs) {
  const Case cases[] = {
      {"adjacent pairs and a quadrangle (Q0 T1 Q2 T3 Q4)",
       {{0, 1, 2, 3}, kCleared, {4, 5, 6, 7}, kCleared, {8, 9, 10, 11}},
       {-1, 0, -1, 2, -1},
       {0, 0, 1, 1, 2},
       3},
      {"halves: partners after all first triangles",
       {{0, 1, 2, 3}, {4, 5, 6, 7}, {8, 9, 10, 11}, kCleared, kCleared, {20, 21, 22, 22}},
       {-1, -1, -1, 0, 2, -1},
       {0, 1, 2, 0, 2, 3},
       4},
      {"a dead record nothing absorbed loses its bit",
       {{0, 1, 2, 3}, {5, 5, 6, 6}, {7, 8, 9, 9}},
       {-1, -1, -1},
       {0, -1, 1},
       2},
      {"a cleared record that was there before is dead too", {kCleared, {1, 2, 3, 3}}, {-1, -1}, {-1, 0}, 1},
      {"nothing to drop", {{0, 1, 2, 2}, {3, 4, 5, 5}}, {-1, -1}, {0, 1}, 2},
      {"everything dead", {kCleared, kCleared}, {-1, -1}, {-1, -1}, 0},
      {"empty", {}, {}, {}, 0},
      // Defensive: an absorber that is itself dead, or not before its partner, has no new index.
      {"an heir that was dropped", {{3, 3, 4, 4}, kCleared}, {-1, 0}, {-1, -1}, 0},
      {"an heir after its partner", {kCleared, {1, 2, 3, 4}}, {1, -1}, {-1, 0}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<int32_t> link = c.absorbedBy;
    const int32_t n = static_cast<int32_t>(c.records.size());
    EXPECT_EQ(c.kept, PlanCompaction(c.records.data(), link.data(), n));
    EXPECT_EQ(c.expected, link);
  }
}

}  // namespace
}  // namespace fm
