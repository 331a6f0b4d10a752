// StringTable: the shared empty string (entry 0, a data word) and insertion of one string into
// another.
#include "host/tables/entry_support.h"
#include "host/tables/table_image.h"

namespace fm::host {
namespace {

// Inserts source characters [start, end) at `position` of `destination`, in place; start and end
// -1 mean the source's beginning and end. Positions and ranges outside the strings change nothing
// (diagnosed); so does an edit of the shared empty string, which every caller shares.
void StringInsert(void* self, int32_t position, HostString* source, int32_t start, int32_t end) {
  auto* destination = static_cast<HostString*>(self);
  if (!destination || !source) return Diagnose("StringInsert: null string");
  if (destination == EmptyString()) {
    return Diagnose("StringInsert: the shared empty string cannot be edited");
  }
  const std::u32string inserted = Text(source);  // a copy: source may be the destination
  const auto sourceLength = static_cast<int64_t>(inserted.size());
  const int64_t from = start == -1 ? 0 : start;
  const int64_t to = end == -1 ? sourceLength : end;
  if (from < 0 || to < from || to > sourceLength) {
    return Diagnose("StringInsert: source range " + std::to_string(start) + ".." +
                    std::to_string(end) + " outside a string of " + std::to_string(sourceLength));
  }
  std::u32string& text = Text(destination);
  if (position < 0 || static_cast<size_t>(position) > text.size()) {
    return Diagnose("StringInsert: position " + std::to_string(position) + " outside a string of " +
                    std::to_string(text.size()));
  }
  text.insert(static_cast<size_t>(position), inserted, static_cast<size_t>(from),
              static_cast<size_t>(to - from));
}

}  // namespace

void FillStringTable(TableImage& table) {
  table.PutData(StringEntries::EmptyString, EmptyString());
  table.PutMember<&StringInsert>(StringEntries::StringInsert);
}

}  // namespace fm::host
