#include "host/scene/file_io.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fm::host {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::FILE* OpenForReading(const std::string& path) {
#ifdef _WIN32
  return _wfopen(WidePath(path).c_str(), L"rb");
#else
  return std::fopen(path.c_str(), "rb");
#endif
}

}  // namespace

#ifdef _WIN32
std::wstring WidePath(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}
#endif

bool ReadFileBytes(const std::string& path, std::string& out, size_t limit) {
  out.clear();
  if (path.empty()) return false;
  std::unique_ptr<std::FILE, FileCloser> file(OpenForReading(path));
  if (!file) return false;
  char buffer[65536];
  while (out.size() < limit) {
    const size_t want = std::min(sizeof buffer, limit - out.size());
    const size_t got = std::fread(buffer, 1, want, file.get());
    out.append(buffer, got);
    if (got < want) return !std::ferror(file.get());
  }
  return true;
}

}  // namespace fm::host
