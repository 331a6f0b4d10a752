// StringTable: the shared empty string (entry 0, a data word) and insertion of one string into
// another.
#include "host/tables/entry_support.h"
#include "host/tables/table_image.h"

namespace fm::host {
namespace {

// A member of the host's string class, so `self` is the caller's one-word holder of the
// destination. A string someone else also holds (the shared empty string, or one with more than
// one reference) is first made writable: the holder gets a copy of its own, carrying the holder's
// reference, and the old string loses that reference.
HostString* Writable(HostString** holder) {
  HostString* string = *holder;
  if (string != EmptyString() && ReferenceWord(string) < 32) return string;
  HostString* copy = NewString(Text(string));
  Release(string);
  *holder = copy;
  return copy;
}

// Inserts source characters [start, end) at `position` of the destination; start and end -1 mean
// the source's beginning and end. Positions and ranges outside the strings change nothing
// (diagnosed).
void StringInsert(void* self, int32_t position, const StringValue& sourceValue, int32_t start,
                  int32_t end) {
  auto* holder = static_cast<HostString**>(self);
  HostString* source = sourceValue.Get();
  if (!holder || !*holder || !source) return Diagnose("StringInsert: null string");
  if (!IsHostString(*holder) || !IsHostString(source)) {
    return Diagnose("StringInsert: not a string of this host");
  }
  const std::u32string inserted = Text(source);  // a copy: source may be the destination
  const auto sourceLength = static_cast<int64_t>(inserted.size());
  const int64_t from = start == -1 ? 0 : start;
  const int64_t to = end == -1 ? sourceLength : end;
  if (from < 0 || to < from || to > sourceLength) {
    return Diagnose("StringInsert: source range " + std::to_string(start) + ".." +
                    std::to_string(end) + " outside a string of " + std::to_string(sourceLength));
  }
  const size_t length = Text(*holder).size();
  if (position < 0 || static_cast<size_t>(position) > length) {
    return Diagnose("StringInsert: position " + std::to_string(position) + " outside a string of " +
                    std::to_string(length));
  }
  Text(Writable(holder)).insert(static_cast<size_t>(position), inserted, static_cast<size_t>(from),
              static_cast<size_t>(to - from));
}

}  // namespace

void FillStringTable(TableImage& table) {
  // Entry 0 is "a pointer to the shared empty string": the address of the host's holder of it.
  table.PutData(StringEntries::EmptyString, EmptyStringHolder());
  table.PutMember<StringEntries::StringInsert, &StringInsert>();
}

}  // namespace fm::host
