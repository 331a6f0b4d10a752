#include "host/fmhost/material_libraries.h"

#include <filesystem>
#include <system_error>

namespace fm::host::fmhost {
namespace {

namespace fs = std::filesystem;

fs::path Folder(const std::string& file) {
  const fs::path path(file);
  return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

}  // namespace

std::string MissingMaterialLibraries(const std::vector<std::string>& names,
                                     const std::string& input, const std::string& output) {
  const fs::path from = Folder(input);
  const fs::path to = Folder(output);
  std::error_code ec;
  if (fs::equivalent(from, to, ec)) return std::string();
  std::string missing;
  size_t count = 0;
  for (const std::string& name : names) {
    const fs::path library(name);
    if (library.is_absolute()) continue;
    if (!fs::exists(from / library, ec) || fs::exists(to / library, ec)) continue;
    missing += (missing.empty() ? "'" : ", '") + name + "'";
    ++count;
  }
  if (count == 0) return std::string();
  return output + ": names the material librar" + (count == 1 ? "y " : "ies ") + missing +
         ", which " + (count == 1 ? "is" : "are") + " beside " + input + " but not beside " +
         output + ": copy " + (count == 1 ? "it" : "them") +
         " there, or the result shows no materials";
}

}  // namespace fm::host::fmhost
