#pragma once
// Module-wide state of the life cycle, written only by the entry point on the host's thread.

#include <cstdint>

#include "hosttables.h"

namespace fm {

// Attach messages minus end messages; the first attach takes it from 0 to 1, the final end back.
extern int32_t attachCount;

// The module's own file path: one path storage word of the module's heap, copied from the host at
// the first attach. Null before that, when its allocation failed, and after the final end.
extern PathWord* modulePath;

}  // namespace fm
