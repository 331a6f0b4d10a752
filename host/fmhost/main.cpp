// fmhost: the headless host's command line. See run.h for what one run does.
#include <cstdio>
#include <iostream>

#include "host/fmhost/run.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// A run allocates its large lists one after another, and many of them are freed before the next
// ones are made: the reader's second thread's lists before the document's, the module's working
// block before the trace's list. By default the C library gives such blocks back to the system and
// takes fresh memory for the next ones, which costs a page fault and a cleared page per 4 KiB
// (on the machines we run on, several microseconds each: a third of a run on a large file). Kept
// in one heap, without trimming, they are used again. The price is that memory freed late stays
// with the process until it ends, which for a run of fmhost is soon.
void KeepFreedMemoryForReuse() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, -1);
  mallopt(M_ARENA_MAX, 1);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  KeepFreedMemoryForReuse();
#ifdef _WIN32
  const bool terminal = _isatty(_fileno(stdout)) != 0;
#else
  const bool terminal = isatty(fileno(stdout)) != 0;
#endif
  fm::host::fmhost::Streams streams{std::cout, std::cerr, terminal};
  return fm::host::fmhost::Main(argc, argv, streams);
}
