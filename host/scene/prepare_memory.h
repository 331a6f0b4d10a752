#pragma once
// Makes memory that was allocated but never touched present, on a second thread, so that the
// thread that fills it next does not stop at every page. Only where the system can do it without
// writing to the memory (Linux 5.14 and later); elsewhere, and for small ranges, nothing happens.

#include <cstddef>
#include <thread>

namespace fm::host {

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
