#pragma once
// One fmhost run: read the mesh, load the modules, run the command on a document made from the
// mesh, check the undo when asked, write the result. Every failure is one line on the error stream
// and a non-zero exit code; the output file appears only when everything succeeded.

#include <ostream>

#include "host/fmhost/options.h"

namespace fm::host::fmhost {

struct Streams {
  std::ostream& out;
  std::ostream& err;
  bool outIsTerminal = false;  // draw the status bar in place instead of printing plain lines
  bool failuresAsJson = false;  // a failure also prints {"error": ...} on `out` (--json)
};

// Exit codes.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // bad input, modules, command or output
inline constexpr int kExitUsage = 2;

int Run(const Options& options, Streams& streams);

// Parses the command line and runs.
int Main(int argc, const char* const* argv, Streams& streams);

}  // namespace fm::host::fmhost
