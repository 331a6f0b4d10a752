#pragma once
// A module file opened the way the application opens one: every symbol resolved at load
// (dlopen RTLD_NOW | RTLD_LOCAL), or LoadLibraryA with a full path on Windows.

#include <memory>
#include <string>

namespace fm::host {

class SharedLibrary {
 public:
  // Null, with `error` saying why, when the file cannot be loaded.
  static std::unique_ptr<SharedLibrary> Open(const std::string& path, std::string* error);
  ~SharedLibrary();  // unloads
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // An exported symbol's address; null when the library does not export it.
  void* Symbol(const char* name) const;
  // The full path the library was loaded from.
  const std::string& Path() const { return path_; }

 private:
  SharedLibrary(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  void* handle_;
  std::string path_;
};

// The full path of `path` by the platform's rules (GetFullPathNameA on Windows); "" on failure.
std::string FullPath(const std::string& path);

}  // namespace fm::host
