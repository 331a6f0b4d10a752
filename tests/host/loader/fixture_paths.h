#pragma once
// Where the fixture module files are built.

#include <string>

namespace fm::host::testing {

inline std::string FixturePath(const std::string& name) {
  return std::string(FM_FIXTURE_DIR) + "/" + name + "/" + name + FM_MODULE_SUFFIX;
}

}  // namespace fm::host::testing
