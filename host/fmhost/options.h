#pragma once
// fmhost's command line.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace fm::host::fmhost {

// `-o -`: the result goes to standard output.
inline constexpr const char* kStandardOutputPath = "-";

// In which order fmhost hands each object's polygons to the command.
enum class FaceOrder {
  kAuto,  // the file's order, or, where the command reads no pairs in it, a recognised one it reads
  kFile,  // always the file's order, as the command gets it inside the application
};

struct Options {
  std::string input;
  std::string output;
  std::string plugins;               // the plug-in folder the build produces when not given
  std::vector<std::string> select;   // empty: every top-level object
  std::string command;               // id or name; empty: the only registered command
  bool json = false;
  bool undoCheck = false;
  bool list = false;
  FaceOrder order = FaceOrder::kAuto;
};

// The plug-in folder fmhost loads when --plugins is not given.
std::string DefaultPluginFolder();

// Parses argv. On --help the usage goes to `out` and the exit code 0 is returned; on a usage error
// one line goes to `err` and the exit code 2 is returned; otherwise nullopt and `options` is set.
std::optional<int> ParseOptions(int argc, const char* const* argv, Options& options,
                                std::ostream& out, std::ostream& err);

}  // namespace fm::host::fmhost
