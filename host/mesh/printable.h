#pragma once
// Text from a file or a command line made safe to show: error lines must stay one printable line of
// bounded length whatever bytes a file holds, and JSON must stay valid whatever a name holds.

#include <cstddef>
#include <string>
#include <string_view>

namespace fm::host::mesh {

// Length of the well-formed UTF-8 sequence at the start of `text` (1 for ASCII), or 0 when the
// bytes there are not one (a stray continuation byte, a truncated, overlong or surrogate sequence).
size_t Utf8SequenceLength(std::string_view text);

// `text` as one printable line: control bytes and bytes outside well-formed UTF-8 become \xHH,
// and text beyond `limit` bytes is cut at a character boundary and marked with "...".
std::string Printable(std::string_view text, size_t limit);

// A token of a file quoted for an error message, e.g. 'abc'; long tokens are shortened.
std::string QuotedToken(std::string_view token);

}  // namespace fm::host::mesh
