#include "maxon/floatlimits.h"

#include <limits>

#include "maxon/translationunit.h"

FW_CORE_TRANSLATION_UNIT()

namespace maxon {

constinit const double MAXVALUE_FLOAT64 = std::numeric_limits<double>::max();
constinit const double MINVALUE_FLOAT64 = std::numeric_limits<double>::lowest();

}  // namespace maxon
