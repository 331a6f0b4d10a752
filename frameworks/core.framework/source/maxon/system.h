#pragma once
// The module's heap: every object of the module's own comes from the framework's zero-filling
// allocator with an allocation-site record and goes back through FreeWithDestructorI.

#include <cstdint>

namespace maxon {

// Zero-filled block of `size` bytes from the host's allocator, recorded with its source site.
// Null when the host refuses or its system interface is not bound.
void* AllocClear(int64_t size, const char* file, int line);

// Runs `destructor` on `object`, then frees the memory that AllocClear gave. A null object is
// ignored. The host calls whatever destructor it is handed, so a block with nothing to destroy
// goes with DestroyNothing; a null destructor is turned into it here as well.
void FreeWithDestructorI(void* object, void (*destructor)(void* object));

// The destructor of a block that holds nothing to release (scratch memory, copied text).
void DestroyNothing(void* object);

}  // namespace maxon

#define FW_ALLOC_CLEAR(size) ::maxon::AllocClear((size), __FILE__, __LINE__)
