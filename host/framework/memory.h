#pragma once
// The host's allocator behind the system interface's AllocClear and FreeWithDestructorI. Every
// live block carries the site that asked for it, so a leak names its source file and line.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/framework/fault.h"

namespace fm::host {

struct AllocationRecord {
  const void* block;
  int64_t size;
  std::string file;  // copied: the module that asked may be unloaded before anyone looks
  int64_t line;
};

// A zero-filled block of `size` bytes recorded with its site; null when `size` is negative or the
// allocation fault switch refuses. A size of 0 gives a valid, distinct block.
void* HostAllocClear(int64_t size, const char* file, int64_t line);

// Starts making a cleared block of `size` bytes ready on a thread of its own, so that the next
// HostAllocClear that the block suits costs no fresh memory at all: a module's large working space
// is then ready while the host prepares the call that needs it. The block has room for an eighth
// more than `size` (not made ready), since a size may be an estimate; it suits a request no larger
// than that room and more than half of it. A reserve that suits `size` already stays, made ready
// no further than `size`; another is replaced. The block stays reserved until it is taken or
// dropped.
void ReserveClearedBlock(size_t size);
// Frees a reserved block no allocation took.
void DropReservedBlock();
// The room of the block reserved now; 0 when there is none.
size_t ReservedBlockSize();

// Runs `destructor` on `object`, then frees it. Null is ignored. A pointer that is not a live host
// block is neither destructed nor freed; it is counted as a foreign free. A real host calls the
// destructor it is given, so a null one would crash it: here it is counted instead, and the block
// is freed.
void HostFreeWithDestructor(void* object, void (*destructor)(void*));

// Blocks alive now, and their records in allocation order.
int64_t LiveAllocationCount();
std::vector<AllocationRecord> LiveAllocations();

// Frees refused because the pointer was not a live host block.
int64_t ForeignFreeCount();

// Frees of live blocks that came without a destructor.
int64_t NullDestructorFreeCount();

// Makes AllocClear refuse (all, or the Nth call).
FaultSwitch& AllocationFault();

// Forgets the foreign-free and null-destructor counts and turns the fault switch off. Live blocks stay recorded.
void ResetMemoryCounters();

}  // namespace fm::host
