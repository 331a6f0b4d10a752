#pragma once
// Makes memory that was allocated but never touched present before it is filled, so that the
// thread that fills it does not stop at every page: the system maps the pages in one call, which
// on the machines we run on costs about half of taking a fault per page. Only where the system can
// do it without writing to the memory (Linux 5.14 and later); elsewhere, and for small ranges,
// nothing happens and the pages come as they are written.

#include <cstddef>
#include <thread>
#include <vector>

namespace fm::host {

// Makes `begin` .. `begin + bytes` present now, on this thread.
void MakePresent(void* begin, size_t bytes);

// Reserves room for `count` elements that are about to be appended, and makes the room present.
// Worth it only where most of that room will be filled.
template <typename T>
void ReservePresent(std::vector<T>& list, size_t count) {
  if (count <= list.capacity()) return;
  list.reserve(count);
  MakePresent(list.data() + list.size(), (list.capacity() - list.size()) * sizeof(T));
}

// The same on a second thread, while this one goes on.
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

}  // namespace fm::host
