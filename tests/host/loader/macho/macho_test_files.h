#pragma once
// The Mach-O files the loader's tests read: the fixture dylibs built with the tests and, when the
// build has one, the macOS module file.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fm::host::testing {

inline std::string MachOFixture(const std::string& name) {
  return std::string(FM_MACHO_FIXTURE_DIR) + "/" + name + ".xlib";
}

inline std::string MacModuleFile() {
#ifdef FM_MACOS_PLUGIN_DIR
  return std::string(FM_MACOS_PLUGIN_DIR) + "/facetmender/facetmender.xlib";
#else
  return std::string();
#endif
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace fm::host::testing
