#pragma once
// A module file opened the way the application opens one: every symbol resolved at load
// (dlopen RTLD_NOW | RTLD_LOCAL), or LoadLibraryA with a full path on Windows. A macOS module
// file (told apart by its first bytes) is loaded by the host's own Mach-O loader instead.

#include <memory>
#include <string>

namespace fm::host {

namespace macho {
class Image;
}

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
  SharedLibrary(void* handle, std::string path);
  struct ImageDeleter {
    void operator()(macho::Image* image) const;
  };
  using ImagePointer = std::unique_ptr<macho::Image, ImageDeleter>;
  SharedLibrary(ImagePointer image, std::string path);
  void* handle_ = nullptr;
  ImagePointer image_;  // set instead of handle_ for a Mach-O file (never on Windows)
  std::string path_;
};

// The full path of `path` by the platform's rules (GetFullPathNameA on Windows); "" on failure.
std::string FullPath(const std::string& path);

}  // namespace fm::host
