// fmhost: the headless host's command line. See run.h for what one run does.
#include <cstdio>
#include <iostream>

#include "host/fmhost/run.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  const bool terminal = _isatty(_fileno(stdout)) != 0;
#else
  const bool terminal = isatty(fileno(stdout)) != 0;
#endif
  fm::host::fmhost::Streams streams{std::cout, std::cerr, terminal};
  return fm::host::fmhost::Main(argc, argv, streams);
}
