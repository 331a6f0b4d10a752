#include "host/framework/memory.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "host/scene/prepare_memory.h"

namespace fm::host {
namespace {

struct Block {
  uint64_t serial;
  int64_t size;
  std::string file;
  int64_t line;
};

struct Heap {
  std::mutex mutex;
  std::map<const void*, Block> blocks;
  uint64_t serial = 0;
  int64_t foreignFrees = 0;
  int64_t nullDestructorFrees = 0;
  FaultSwitch fault;
};

Heap& TheHeap() {
  static auto* heap = new Heap;  // never destroyed: modules free blocks during static destruction
  return *heap;
}

}  // namespace

void* HostAllocClear(int64_t size, const char* file, int64_t line) {
  Heap& heap = TheHeap();
  if (size < 0 || heap.fault.Refuse()) return nullptr;
  void* block = std::calloc(size == 0 ? 1 : static_cast<size_t>(size), 1);
  if (block == nullptr) return nullptr;
  // A large block is a module's working space, filled right away (the command copies a whole
  // polygon array into it): it is made ready for that by two threads.
  MakeReadyOnTwoThreads(block, static_cast<size_t>(size));
  std::lock_guard<std::mutex> lock(heap.mutex);
  heap.blocks.emplace(block, Block{heap.serial++, size, file ? file : "", line});
  return block;
}

void HostFreeWithDestructor(void* object, void (*destructor)(void*)) {
  if (object == nullptr) return;
  Heap& heap = TheHeap();
  {
    std::lock_guard<std::mutex> lock(heap.mutex);
    if (heap.blocks.erase(object) == 0) {
      ++heap.foreignFrees;
      return;
    }
    if (destructor == nullptr) ++heap.nullDestructorFrees;
  }
  // Outside the lock: a destructor may free further blocks of its own.
  if (destructor != nullptr) destructor(object);
  std::free(object);
}

int64_t LiveAllocationCount() {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> lock(heap.mutex);
  return static_cast<int64_t>(heap.blocks.size());
}

std::vector<AllocationRecord> LiveAllocations() {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> lock(heap.mutex);
  std::map<uint64_t, AllocationRecord> ordered;
  for (const auto& [pointer, block] : heap.blocks)
    ordered.emplace(block.serial, AllocationRecord{pointer, block.size, block.file, block.line});
  std::vector<AllocationRecord> out;
  for (auto& [serial, record] : ordered) out.push_back(std::move(record));
  return out;
}

int64_t ForeignFreeCount() {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> lock(heap.mutex);
  return heap.foreignFrees;
}

int64_t NullDestructorFreeCount() {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> lock(heap.mutex);
  return heap.nullDestructorFrees;
}

FaultSwitch& AllocationFault() { return TheHeap().fault; }

void ResetMemoryCounters() {
  Heap& heap = TheHeap();
  heap.fault.Off();
  std::lock_guard<std::mutex> lock(heap.mutex);
  heap.foreignFrees = 0;
  heap.nullDestructorFrees = 0;
}

}  // namespace fm::host
