// The string-table parser on arbitrary bytes. A table that parses must hold valid UTF-8 texts
// under unique ids and must parse to the same table again when written back out in the table's
// own syntax; a table that does not must leave nothing behind and name the line it failed on.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "host/framework/utf8.h"
#include "host/scene/resource_set.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "string table: %s: %s\n", what, detail.c_str());
  std::abort();
}

// The table written back in its own syntax, escapes included.
std::string Write(const std::map<int32_t, std::string>& table) {
  std::string out;
  for (const auto& [id, text] : table) {
    out += std::to_string(id) + " \"";
    for (char c : text) {
      if (c == '"' || c == '\\') out += '\\';
      if (c == '\n') {
        out += "\\n";
        continue;
      }
      out += c;
    }
    out += "\"\n";
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::map<int32_t, std::string> table;
  table.emplace(1, "stale");  // whatever the caller's map held must not survive
  std::string error;
  if (!fm::host::ParseStringTable(text, table, error)) {
    if (!table.empty()) Fail("a failed parse left entries behind", error);
    if (error.rfind("line ", 0) != 0) Fail("the error does not name the line", error);
    return 0;
  }
  if (!error.empty()) Fail("success with an error message", error);
  for (const auto& [id, entry] : table) {
    if (!fm::host::DecodeUtf8(entry)) Fail("text is not UTF-8", std::to_string(id));
  }
  std::map<int32_t, std::string> again;
  if (!fm::host::ParseStringTable(Write(table), again, error)) Fail("written table fails", error);
  if (again != table) Fail("written table reads back differently", Write(table));
  return 0;
}
