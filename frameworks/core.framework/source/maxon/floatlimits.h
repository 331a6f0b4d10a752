#pragma once
// The largest and the lowest finite double, as the framework names them.

namespace maxon {

extern const double MAXVALUE_FLOAT64;
extern const double MINVALUE_FLOAT64;

}  // namespace maxon
