#pragma once
// The export information of a Mach-O dylib: a trie of symbol names whose terminal nodes hold each
// symbol's flags and address. Read whole and checked at load, so that a malformed trie is refused
// before any of the file runs.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/loader/macho_file.h"

namespace fm::host::macho {

struct Export {
  uint64_t offset;  // from the image's base (its Mach-O header); the value itself when absolute
  bool absolute;
};

// Every exported symbol by its full name (with the leading underscore). Refused: a node outside
// the trie or visited twice, a name longer than any symbol, thread-local, re-exported and
// resolver-backed symbols, and a regular symbol outside the image.
bool ReadExports(const File& file, const std::vector<uint8_t>& bytes, std::map<std::string, Export>* exports,
                 std::string* error);

}  // namespace fm::host::macho
