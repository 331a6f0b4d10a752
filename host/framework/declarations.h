#pragma once
// Framework objects a module declares by id and the host's initialiser hands over: the three error
// objects and the 8-bit text decoding the string interface's SetCString accepts.

#include <string_view>

namespace fm::host {

struct HostStringDecoding {
  const char* name;  // "utf8"
};

// The decoding object of "net.maxon.stringdecoding.utf8".
const HostStringDecoding* Utf8Decoding();

// The host's object for a declaration id; null when the host has none.
const void* DeclaredObject(std::string_view id);

}  // namespace fm::host
