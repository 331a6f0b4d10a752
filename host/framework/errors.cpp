#include "host/framework/errors.h"

namespace fm::host {
namespace {

constexpr HostError kErrors[] = {
    {"net.maxon.error.nullptr", "null pointer"},
    {"net.maxon.error.unresolved", "method or object could not be resolved"},
    {"net.maxon.error.functionnotimplemented", "function not implemented"},
    {"net.maxon.error.illegalargument", "illegal argument"},
    {"net.maxon.error.unicodedecoding", "text is not valid in the given encoding"},
    {"net.maxon.error.outofmemory", "out of memory"},
};

}  // namespace

const HostError* NullptrError() { return &kErrors[0]; }
const HostError* UnresolvedError() { return &kErrors[1]; }
const HostError* FunctionNotImplementedError() { return &kErrors[2]; }
const HostError* IllegalArgumentError() { return &kErrors[3]; }
const HostError* UnicodeDecodingError() { return &kErrors[4]; }
const HostError* OutOfMemoryError() { return &kErrors[5]; }

const HostError* AsHostError(const void* error) {
  for (const HostError& e : kErrors)
    if (error == &e) return &e;
  return nullptr;
}

}  // namespace fm::host
