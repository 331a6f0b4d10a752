#include "host/scene/resource_set.h"

#include <charconv>

#include "host/scene/file_io.h"
#include "host/scene/path_text.h"

namespace fm::host {
namespace {

bool Fail(std::string& why, std::string message) {
  why = std::move(message);
  return false;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length;
    uint32_t min;
    uint32_t cp;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, min = 0x80, cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, min = 0x800, cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, min = 0x10000, cp = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

// One entry line (already known not to be blank or a comment).
bool ParseEntry(std::string_view line, int32_t& id, std::string& text, std::string& why) {
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  const char* begin = line.data() + i;
  const auto [end, ec] = std::from_chars(begin, line.data() + line.size(), id);
  if (ec == std::errc::result_out_of_range) return Fail(why, "id out of range");
  if (ec != std::errc() || end == begin) return Fail(why, "expected a numeric id");
  i = static_cast<size_t>(end - line.data());
  if (i >= line.size() || !IsBlank(line[i])) return Fail(why, "expected white space after the id");
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i >= line.size() || line[i] != '"') return Fail(why, "expected '\"' before the text");
  text.clear();
  for (++i;; ++i) {
    if (i >= line.size()) return Fail(why, "text not closed by '\"'");
    const char c = line[i];
    if (c == '"') break;
    if (c != '\\') {
      text.push_back(c);
      continue;
    }
    if (++i >= line.size()) return Fail(why, "text not closed by '\"'");
    switch (line[i]) {
      case '"':
        text.push_back('"');
        break;
      case '\\':
        text.push_back('\\');
        break;
      case 'n':
        text.push_back('\n');
        break;
      default:
        return Fail(why, std::string("unknown escape \\") + line[i]);
    }
  }
  for (++i; i < line.size(); ++i) {
    if (!IsBlank(line[i])) return Fail(why, "unexpected text after the closing '\"'");
  }
  if (!IsUtf8(text)) return Fail(why, "text is not UTF-8");
  return true;
}

}  // namespace

bool ParseStringTable(std::string_view text, std::map<int32_t, std::string>& out,
                      std::string& error) {
  out.clear();
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  int lineNumber = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') continue;
    int32_t id = 0;
    std::string entry;
    std::string why;
    if (!ParseEntry(line, id, entry, why)) {
      error = "line " + std::to_string(lineNumber) + ": " + why;
      out.clear();
      return false;
    }
    if (!out.emplace(id, std::move(entry)).second) {
      error = "line " + std::to_string(lineNumber) + ": id " + std::to_string(id) + " repeated";
      out.clear();
      return false;
    }
  }
  return true;
}

ResourceSet::ResourceSet(std::string directory, const std::map<int32_t, std::string>& strings)
    : directory_(std::move(directory)) {
  for (const auto& [id, text] : strings) strings_.emplace(id, NewString(text));
}

ResourceSet::~ResourceSet() {
  for (const auto& [id, string] : strings_) Release(string);
}

HostString* ResourceSet::Find(int32_t id) const {
  const auto it = strings_.find(id);
  return it == strings_.end() ? nullptr : it->second;
}

HostString* const* ResourceSet::Holder(int32_t id) const {
  const auto it = strings_.find(id);
  return it == strings_.end() ? nullptr : &it->second;
}

std::unique_ptr<ResourceSet> LoadResourceSet(const std::string& directory, std::string& error) {
  if (directory.empty()) {
    error = "no resource directory given";
    return nullptr;
  }
  const std::string file = PathJoinedText(directory, kStringTableFile);
  std::string text;
  if (!ReadFileBytes(file, text)) {
    error = file + ": cannot be read";
    return nullptr;
  }
  std::map<int32_t, std::string> strings;
  std::string why;
  if (!ParseStringTable(text, strings, why)) {
    error = file + ": " + why;
    return nullptr;
  }
  return std::make_unique<ResourceSet>(directory, strings);
}

}  // namespace fm::host
