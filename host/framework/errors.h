#pragma once
// The host's error objects. An error crosses the boundary as one pointer word (null = success);
// the host's errors are static objects, so a module may hold on to one for as long as it likes and
// never has to release it.

#include <string_view>

namespace fm::host {

struct HostError {
  const char* id;       // the framework's identifier of the error kind
  const char* message;  // what went wrong, for people
};

// The three errors modules resolve by declaration.
const HostError* NullptrError();                 // "net.maxon.error.nullptr"
const HostError* UnresolvedError();              // "net.maxon.error.unresolved"
const HostError* FunctionNotImplementedError();  // "net.maxon.error.functionnotimplemented"
// Errors of the host's own operations.
const HostError* IllegalArgumentError();   // "net.maxon.error.illegalargument"
const HostError* UnicodeDecodingError();   // "net.maxon.error.unicodedecoding"
const HostError* OutOfMemoryError();       // "net.maxon.error.outofmemory"

// The host error behind an error pointer; null when `error` is null or not one of the host's.
const HostError* AsHostError(const void* error);

}  // namespace fm::host
