#pragma once
// A module's resource set: the string table read from "strings.str" in its resource directory.
//
// strings.str is UTF-8 text with one entry per line, `ID "text"`: a decimal int32 id, white space,
// and the text in double quotes with the escapes \" \\ and \n. Blank lines and lines whose first
// non-blank character is '#' are ignored; a byte-order mark and CR line ends are accepted. Any
// other line, a repeated id or text that is not UTF-8 makes the whole file malformed.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "host/framework/strings.h"

namespace fm::host {

inline constexpr const char* kStringTableFile = "strings.str";

// False with `error` naming the line and the fault when the text is malformed; `out` is then
// left empty.
bool ParseStringTable(std::string_view text, std::map<int32_t, std::string>& out,
                      std::string& error);

class ResourceSet {
 public:
  ResourceSet(std::string directory, const std::map<int32_t, std::string>& strings);
  ~ResourceSet();
  ResourceSet(const ResourceSet&) = delete;
  ResourceSet& operator=(const ResourceSet&) = delete;

  // The set's own string for `id` (valid until the set is destroyed), or null when it has none.
  HostString* Find(int32_t id) const;
  // The set's own word holding that string (valid until the set is destroyed), or null: what the
  // host hands out as "a pointer to a host string".
  HostString* const* Holder(int32_t id) const;
  size_t Size() const { return strings_.size(); }
  const std::string& Directory() const { return directory_; }

 private:
  std::string directory_;
  std::map<int32_t, HostString*> strings_;
};

// Reads `directory`/strings.str. Null with `error` set when the file is absent, unreadable or
// malformed.
std::unique_ptr<ResourceSet> LoadResourceSet(const std::string& directory, std::string& error);

}  // namespace fm::host
