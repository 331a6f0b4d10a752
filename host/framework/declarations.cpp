#include "host/framework/declarations.h"

#include "host/framework/errors.h"

namespace fm::host {

const HostStringDecoding* Utf8Decoding() {
  static constexpr HostStringDecoding kUtf8{"utf8"};
  return &kUtf8;
}

const void* DeclaredObject(std::string_view id) {
  if (id == "net.maxon.error.nullptr") return NullptrError();
  if (id == "net.maxon.error.unresolved") return UnresolvedError();
  if (id == "net.maxon.error.functionnotimplemented") return FunctionNotImplementedError();
  if (id == "net.maxon.stringdecoding.utf8") return Utf8Decoding();
  return nullptr;
}

}  // namespace fm::host
