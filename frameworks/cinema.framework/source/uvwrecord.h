#pragma once
// The UVW coordinates of one polygon as a UVW tag stores them: one vector per corner, named like
// the corners of the polygon record they belong to.

#include <cstddef>

namespace fm {

struct UvwVector {
  double u;
  double v;
  double w;
};

struct UvwRecord {
  UvwVector a;
  UvwVector b;
  UvwVector c;
  UvwVector d;
};

static_assert(sizeof(UvwVector) == 24);
static_assert(sizeof(UvwRecord) == 96);
static_assert(offsetof(UvwRecord, a) == 0 && offsetof(UvwRecord, b) == 24);
static_assert(offsetof(UvwRecord, c) == 48 && offsetof(UvwRecord, d) == 72);

}  // namespace fm
