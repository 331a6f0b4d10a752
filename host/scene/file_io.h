#pragma once
// Reading files by UTF-8 path on both platforms (Windows paths go through the wide-character API so
// that non-ASCII names work).

#include <cstddef>
#include <string>

namespace fm::host {

// The whole file, or at most `limit` bytes of it. False when it cannot be opened or read.
bool ReadFileBytes(const std::string& path, std::string& out,
                   size_t limit = static_cast<size_t>(-1));

#ifdef _WIN32
std::wstring WidePath(const std::string& utf8);
#endif

}  // namespace fm::host
