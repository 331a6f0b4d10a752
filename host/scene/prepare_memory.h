#pragma once
// Makes memory that was allocated but never touched present before it is filled, so that the
// thread that fills it does not stop at every page. On the machines we run on (virtual machines
// whose page tables the hypervisor shadows), a page costs twice: once to be made present by the
// system, once more at the first access from the program, whichever thread makes it. A fault per
// page pays both at 10-12 us; the system makes a range present in one call at under 1 us a page,
// and a first read of each page then costs about 5 us more. So a range is made present in one call
// where it is about to be filled, and where a second thread has nothing else to do, that thread
// also reads it once, so that the thread filling it later pays neither. Only on Linux 5.14 and
// later, and for ranges of 1 MB or more; elsewhere the pages come as they are written.

#include <cstddef>
#include <thread>
#include <vector>

namespace fm::host {

// Makes the whole pages of `begin` .. `begin + bytes` present now, on this thread.
void MakePresent(void* begin, size_t bytes);

// The same, and reads each page once (the bytes stay as they are).
void MakeReady(void* begin, size_t bytes);

// Reserves room for `count` elements that are about to be appended, and makes the room present.
// Worth it only where most of that room will be filled.
template <typename T, typename Allocator>
void ReservePresent(std::vector<T, Allocator>& list, size_t count) {
  if (count <= list.capacity()) return;
  list.reserve(count);
  MakePresent(list.data() + list.size(), (list.capacity() - list.size()) * sizeof(T));
}

// MakeReady on a second thread, while this one goes on. Nothing may write to the range, nor free
// it, until Wait() has returned (the destructor waits too).
class PrepareInBackground {
 public:
  PrepareInBackground(void* begin, size_t bytes);
  ~PrepareInBackground() { Wait(); }
  PrepareInBackground(const PrepareInBackground&) = delete;
  PrepareInBackground& operator=(const PrepareInBackground&) = delete;

  void Wait() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::thread thread_;
};

// MakeReady with two threads: the second half on a second thread while this one does the first.
void MakeReadyOnTwoThreads(void* begin, size_t bytes);

// Appends `count` elements to `list` through `append(begin, end)`, which appends elements
// [begin, end) of them in order: the room for the first half is made present and filled here while
// a second thread makes the room for the second half ready, which is filled once it is.
template <typename T, typename Append>
void AppendInHalves(std::vector<T>& list, size_t count, Append append) {
  list.reserve(list.size() + count);
  const size_t half = count / 2;
  {
    PrepareInBackground back(list.data() + list.size() + half, (count - half) * sizeof(T));
    MakePresent(list.data() + list.size(), half * sizeof(T));
    append(size_t{0}, half);
  }
  append(half, count);
}

}  // namespace fm::host
