#include "host/framework/memory.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

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

// A cleared block made ready ahead, a step at a time, on a thread of its own; whoever takes it
// before that thread is through makes the steps left ready alongside it.
struct Reserve {
  static constexpr size_t kStep = size_t{2} << 20;
  std::mutex mutex;  // held while the reserve is made, taken or dropped
  std::thread maker;
  char* block = nullptr;
  size_t size = 0;               // 0: none
  std::atomic<size_t> ready{0};  // the bytes from the start that are made ready (may be lowered)
  std::atomic<size_t> next{0};   // the next step to make ready

  // Steps lie between multiples of kStep, so that no page is split between two of them.
  void MakeStepsReady() {
    const auto begin = reinterpret_cast<uintptr_t>(block);
    const uintptr_t base = begin / kStep * kStep;
    for (size_t step = next.fetch_add(1); base + step * kStep < begin + ready.load();
         step = next.fetch_add(1)) {
      const uintptr_t from = std::max(begin, base + step * kStep);
      const uintptr_t to = std::min(begin + ready.load(), base + (step + 1) * kStep);
      if (to > from) MakeReady(reinterpret_cast<void*>(from), to - from);
    }
  }
  // Once every step is ready, the block is the caller's.
  char* Finish() {
    MakeStepsReady();
    if (maker.joinable()) maker.join();
    char* taken = block;
    block = nullptr;
    size = 0;
    ready.store(0);
    return taken;
  }
  // Frees a block no one took; steps not started are not made ready for nothing.
  void Drop() {
    next.store(ready.load() / kStep + 2);
    std::free(Finish());
  }
  bool Suits(size_t bytes) const { return size != 0 && bytes <= size && bytes > size / 2; }
};

Reserve& TheReserve() {
  static auto* reserve = new Reserve;  // never destroyed, as the heap
  return *reserve;
}

// The reserved block where it suits a request of `size` bytes: no larger than its room, and more
// than half of it, so that a small request does not hold on to a large block. Null otherwise.
void* TakeReserved(size_t size) {
  Reserve& reserve = TheReserve();
  std::lock_guard<std::mutex> lock(reserve.mutex);
  return reserve.Suits(size) ? reserve.Finish() : nullptr;
}

Heap& TheHeap() {
  static auto* heap = new Heap;  // never destroyed: modules free blocks during static destruction
  return *heap;
}

}  // namespace

void* HostAllocClear(int64_t size, const char* file, int64_t line) {
  Heap& heap = TheHeap();
  if (size < 0 || heap.fault.Refuse()) return nullptr;
  void* block = TakeReserved(static_cast<size_t>(size));
  if (block == nullptr) {
    block = std::calloc(size == 0 ? 1 : static_cast<size_t>(size), 1);
    if (block == nullptr) return nullptr;
    // A large block is a module's working space, filled right away (the command copies a whole
    // polygon array into it): it is made ready for that by two threads.
    MakeReadyOnTwoThreads(block, static_cast<size_t>(size));
  }
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

void ReserveClearedBlock(size_t size) {
  Reserve& reserve = TheReserve();
  std::lock_guard<std::mutex> lock(reserve.mutex);
  if (reserve.Suits(size)) {
    // Reserved for an estimate that came out larger: no more is made ready than `size`.
    if (size < reserve.ready.load()) reserve.ready.store(size);
    return;
  }
  reserve.Drop();
  // Smaller blocks come from memory the allocator already holds.
  constexpr size_t kReserveFrom = size_t{1} << 20;
  if (size < kReserveFrom) return;
  // A size that is an estimate may turn out a little short: an eighth more is room that costs
  // nothing until it is written, so it is not made ready.
  const size_t room = size + size / 8;
  reserve.block = static_cast<char*>(std::calloc(room, 1));
  if (reserve.block == nullptr) return;
  reserve.size = room;
  reserve.ready.store(size);
  reserve.next.store(0);
  try {
    reserve.maker = std::thread([&reserve] { reserve.MakeStepsReady(); });
  } catch (const std::system_error&) {
    // Then whoever takes the block makes it ready.
  }
}

void DropReservedBlock() {
  Reserve& reserve = TheReserve();
  std::lock_guard<std::mutex> lock(reserve.mutex);
  reserve.Drop();
}

size_t ReservedBlockSize() {
  Reserve& reserve = TheReserve();
  std::lock_guard<std::mutex> lock(reserve.mutex);
  return reserve.size;
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
