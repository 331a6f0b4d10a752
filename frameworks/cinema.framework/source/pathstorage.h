#pragma once
// Path storage words on the module's heap (the module path, the remembered resource directory):
// allocated zero-filled through the framework and freed with a destructor that frees the path.

#include "forwards.h"
#include "maxon/system.h"

namespace fm {

inline void DestroyPathStorage(void* storage) { PathFree(static_cast<PathWord*>(storage)); }

// Frees the storage `*holder` points to, path first, and nulls the holder. Null is ignored.
inline void FreePathStorage(PathWord** holder) {
  if (*holder == nullptr) return;
  maxon::FreeWithDestructorI(*holder, &DestroyPathStorage);
  *holder = nullptr;
}

}  // namespace fm

// A zero-filled path storage word of the module's heap, recorded at the caller's site; null when
// the allocator refuses.
#define FM_ALLOC_PATH_STORAGE() static_cast<::fm::PathWord*>(FW_ALLOC_CLEAR(sizeof(::fm::PathWord)))
