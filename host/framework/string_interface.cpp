// "net.maxon.interface.string": the methods modules call on host strings. A string is the host's
// HostString; its reference word lies right before it.

#include <cstring>

#include "host/framework/declarations.h"
#include "host/framework/errors.h"
#include "host/framework/fault.h"
#include "host/framework/interfaces.h"
#include "host/framework/registry.h"
#include "host/framework/string_faults.h"
#include "host/framework/strings.h"
#include "host/framework/utf8.h"

namespace fm::host {
namespace {

// Destroys the string and its reference word (the module calls this when its release finds the
// last reference). The shared empty string and pointers that are not host strings are left alone.
void Free(HostString* string) { FreeString(string); }

// Length in code points; 0 for null.
int64_t GetLength(const HostString* string) {
  return string ? static_cast<int64_t>(Text(string).size()) : 0;
}

// Empties `self` and returns it; null stays null.
HostString* Init(HostString* self) {
  if (self != nullptr && self != EmptyString()) Text(self).clear();
  return self;
}

// A new empty string with one reference; null when the string fault switch refuses.
HostString* Alloc() {
  if (StringAllocationFault().Refuse()) return nullptr;
  return NewString(std::u32string());
}

// Replaces the contents with `text` decoded as UTF-8 (`length` -1: up to the NUL). The decoding is
// a reference class taken by const reference: the address of the caller's word holding the
// decoding object. Gives null on success; an error leaves the string unchanged: null self or
// text, a decoding other than the host's UTF-8 object, a negative length other than -1, or text
// that is not valid UTF-8.
ErrorValue SetCString(HostString* self, const char* text, int64_t length,
                      const ObjectRef& decoding) {
  if (self == nullptr || self == EmptyString()) return ErrorValue(NullptrError());
  if (text == nullptr && length != 0) return ErrorValue(NullptrError());
  if (decoding.Get() != Utf8Decoding() || length < -1)
    return ErrorValue(IllegalArgumentError());
  const size_t size = length == -1 ? std::strlen(text) : static_cast<size_t>(length);
  std::optional<std::u32string> decoded = DecodeUtf8(std::string_view(text ? text : "", size));
  if (!decoded) return ErrorValue(UnicodeDecodingError());
  Text(self) = std::move(*decoded);
  return ErrorValue();
}

}  // namespace

FaultSwitch& StringAllocationFault() {
  static auto* fault = new FaultSwitch;
  return *fault;
}

void RegisterStringInterface() {
  RegisterMethod(kStringInterface, "Free@6b89c862671671d5", AsHostFunction(&Free));
  RegisterMethod(kStringInterface, "GetLength@4386c86", AsHostFunction(&GetLength));
  RegisterMethod(kStringInterface, "Init@6843523afaef7f67", AsHostFunction(&Init));
  RegisterMethod(kStringInterface, "Alloc@481728b0e4a6af90", AsHostFunction(&Alloc));
  RegisterMethod(kStringInterface, "SetCString@5c5e8978bfe2a356", AsHostFunction(&SetCString));
}

}  // namespace fm::host
