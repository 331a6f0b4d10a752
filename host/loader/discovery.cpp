#include "host/loader/discovery.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fm::host {
namespace {

namespace fs = std::filesystem;

bool SameDirectory(const fs::path& a, const fs::path& b) {
  std::error_code error;
  if (fs::equivalent(a, b, error)) return true;
  return fs::absolute(a, error).lexically_normal() == fs::absolute(b, error).lexically_normal();
}

}  // namespace

std::vector<FoundModule> FindModules(const std::string& folder, const std::string& startupDirectory,
                                     std::string* error) {
  std::vector<FoundModule> found;
  std::error_code code;
  if (!fs::is_directory(folder, code)) {
    *error = "\"" + folder + "\" is not a folder";
    return found;
  }
  const bool inStartup = !startupDirectory.empty() && SameDirectory(folder, startupDirectory);
  for (const fs::directory_entry& sub : fs::directory_iterator(folder, code)) {
    std::error_code subCode;
    if (!sub.is_directory(subCode)) continue;
    for (const fs::directory_entry& file : fs::directory_iterator(sub.path(), subCode)) {
      std::error_code fileCode;
      if (!file.is_regular_file(fileCode) || file.path().extension() != FM_MODULE_SUFFIX) continue;
      const fs::path resources = inStartup ? fs::path(startupDirectory) / "resource" / "modules" /
                                                 file.path().stem()
                                           : sub.path() / "res";
      std::error_code resourceCode;
      found.push_back(FoundModule{file.path().string(), resources.string(),
                                  fs::is_directory(resources, resourceCode)});
    }
  }
  if (code) {
    *error = "cannot read \"" + folder + "\": " + code.message();
    found.clear();
    return found;
  }
  std::sort(found.begin(), found.end(),
            [](const FoundModule& a, const FoundModule& b) { return a.file < b.file; });
  return found;
}

}  // namespace fm::host
