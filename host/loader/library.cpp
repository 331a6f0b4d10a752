#include "host/loader/library.h"

#include <fstream>

#include "host/loader/macho_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <filesystem>

#include "host/loader/macho_image.h"
#endif

namespace fm::host {
namespace {

#ifdef _WIN32
std::string LastWindowsError() {
  const DWORD code = GetLastError();
  char buffer[512] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, length);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return "error " + std::to_string(code) + (text.empty() ? "" : ": " + text);
}
#endif

bool IsMachOFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  uint8_t magic[4] = {};
  in.read(reinterpret_cast<char*>(magic), sizeof magic);
  return in.gcount() == sizeof magic && macho::LooksLikeMachO(magic, sizeof magic);
}

}  // namespace

std::string FullPath(const std::string& path) {
  if (path.empty()) return std::string();
#ifdef _WIN32
  char buffer[MAX_PATH * 4];
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  if (length == 0 || length >= sizeof buffer) return std::string();
  return std::string(buffer, length);
#else
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) return std::string();
  return absolute.lexically_normal().string();
#endif
}

std::unique_ptr<SharedLibrary> SharedLibrary::Open(const std::string& path, std::string* error) {
  const std::string full = FullPath(path);
  if (full.empty()) {
    *error = "cannot make a full path of \"" + path + "\"";
    return nullptr;
  }
  if (IsMachOFile(full)) {
#ifdef _WIN32
    *error = "cannot load \"" + full + "\": a macOS (Mach-O) module file, which only the Linux headless host runs";
    return nullptr;
#else
    std::string why;
    std::unique_ptr<macho::Image> image = macho::Image::Load(full, &why);
    if (!image) {
      *error = "cannot load \"" + full + "\": " + why;
      return nullptr;
    }
    return std::unique_ptr<SharedLibrary>(new SharedLibrary(ImagePointer(image.release()), full));
#endif
  }
#ifdef _WIN32
  // No error dialogs: a file that is not a module must fail quietly with an error code.
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE handle = LoadLibraryA(full.c_str());
  SetErrorMode(previous);
  if (handle == nullptr) {
    *error = "cannot load \"" + full + "\": " + LastWindowsError();
    return nullptr;
  }
  return std::unique_ptr<SharedLibrary>(new SharedLibrary(reinterpret_cast<void*>(handle), full));
#else
  dlerror();
  void* handle = dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    *error = "cannot load \"" + full + "\": " + (why ? why : "unknown reason");
    return nullptr;
  }
  return std::unique_ptr<SharedLibrary>(new SharedLibrary(handle, full));
#endif
}

SharedLibrary::SharedLibrary(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
void SharedLibrary::ImageDeleter::operator()([[maybe_unused]] macho::Image* image) const {
#ifndef _WIN32
  delete image;
#endif
}

SharedLibrary::SharedLibrary(ImagePointer image, std::string path)
    : image_(std::move(image)), path_(std::move(path)) {}

SharedLibrary::~SharedLibrary() {
  if (handle_ == nullptr) return;  // a Mach-O image unloads itself
#ifdef _WIN32
  FreeLibrary(reinterpret_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
}

void* SharedLibrary::Symbol(const char* name) const {
#ifndef _WIN32
  if (image_) return image_->Symbol(name);
#endif
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
#else
  return dlsym(handle_, name);
#endif
}

}  // namespace fm::host
