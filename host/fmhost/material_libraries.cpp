#include "host/fmhost/material_libraries.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "host/mesh/obj_reader.h"

namespace fm::host::fmhost {
namespace {

namespace fs = std::filesystem;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

// The names on the `mtllib` lines of `text`, in order.
std::vector<std::string_view> LibraryNames(std::string_view text) {
  constexpr std::string_view kKeyword = "mtllib";
  std::vector<std::string_view> names;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    const bool library = text.compare(i, kKeyword.size(), kKeyword) == 0 &&
                         i + kKeyword.size() < text.size() && IsBlank(text[i + kKeyword.size()]);
    if (!library) {
      // Nearly every line of a mesh file: on to the next one without looking at its bytes.
      i = mesh::LineEnd(text, i) + 1;
      continue;
    }
    i += kKeyword.size();
    while (i < text.size() && !IsLineEnd(text[i])) {
      if (IsBlank(text[i])) {
        ++i;
        continue;
      }
      const size_t start = i;
      while (i < text.size() && !IsLineEnd(text[i]) && !IsBlank(text[i]) && text[i] != '#') ++i;
      if (i == start) break;  // a comment ends the line's names
      names.push_back(text.substr(start, i - start));
    }
    while (i < text.size() && !IsLineEnd(text[i])) ++i;
    ++i;
  }
  return names;
}

fs::path Folder(const std::string& file) {
  const fs::path path(file);
  return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

}  // namespace

std::string MissingMaterialLibraries(std::string_view text, const std::string& input,
                                     const std::string& output) {
  const fs::path from = Folder(input);
  const fs::path to = Folder(output);
  std::error_code ec;
  if (fs::equivalent(from, to, ec)) return std::string();
  std::string missing;
  size_t count = 0;
  for (std::string_view name : LibraryNames(text)) {
    const fs::path library(name);
    if (library.is_absolute()) continue;
    if (!fs::exists(from / library, ec) || fs::exists(to / library, ec)) continue;
    missing += (missing.empty() ? "'" : ", '") + std::string(name) + "'";
    ++count;
  }
  if (count == 0) return std::string();
  return output + ": names the material librar" + (count == 1 ? "y " : "ies ") + missing +
         ", which " + (count == 1 ? "is" : "are") + " beside " + input + " but not beside " +
         output + ": copy " + (count == 1 ? "it" : "them") +
         " there, or the result shows no materials";
}

}  // namespace fm::host::fmhost
