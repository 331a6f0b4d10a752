#pragma once
// Finding module files the way the application does: every module sits in a folder of its own
// directly inside the folder searched, <folder>/<dir>/<name><suffix>. In a plug-in folder its
// resources lie beside it in res/; when the searched folder is the host's start-up directory they
// lie under <startup>/resource/modules/<name>.

#include <string>
#include <vector>

namespace fm::host {

struct FoundModule {
  std::string file;                // the module file
  std::string resourceDirectory;   // where its resources are expected
  bool resourceDirectoryExists;
};

// Module files (suffix FM_MODULE_SUFFIX) in the direct subfolders of `folder`, sorted by path.
// `startupDirectory` decides where each expects its resources. An unreadable or missing folder
// gives an empty list and an error.
std::vector<FoundModule> FindModules(const std::string& folder, const std::string& startupDirectory,
                                     std::string* error);

}  // namespace fm::host
