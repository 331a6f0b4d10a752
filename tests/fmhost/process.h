#pragma once
// Runs a program with arguments and collects its exit code and both output streams, for tests
// that drive fmhost from outside as a user would. The streams go through files, so a program that
// writes a lot to both cannot stall on a full pipe.

#include <string>
#include <vector>

namespace fm::test {

struct ProcessResult {
  int exitCode = -1;  // -1 when the program could not be started
  std::string out;    // line ends as the program wrote them, "\r\n" turned into "\n"
  std::string err;
};

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& scratchDirectory);

// A scratch folder name of its own for this test process: the same test program is built more
// than once (one per module file) and CTest runs those copies side by side, so a name made only
// from the test's name would be shared and one copy would read the other's captured streams.
std::string ScratchName(const std::string& stem);

// The path as the platform's programs expect it (a drive path on Windows).
std::string NativePath(const std::string& path);

}  // namespace fm::test
