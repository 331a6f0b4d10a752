#pragma once
// The host's string interface ("net.maxon.interface.string", copy-on-write references) as the
// module holds it. The calls the module makes are in maxon/hoststring.h.

#include <cstddef>

#include "maxon/entity.h"
#include "maxon/errorref.h"

namespace maxon {

// Slots the module calls, and their signatures (S = StringObject*):
enum StringSlot : size_t {
  STRING_FREE = 0,          // void (S): destroys the string and its reference word
  STRING_GET_LENGTH = 1,    // int64_t (const S): length in code points
  STRING_INIT = 2,          // S (S self): empties self and returns it; no error channel
  STRING_ALLOC = 29,        // S (): new empty string with one reference; null when refused
  // ErrorRef (S, const char* text, int64_t length, const StringDecodingRef& decoding)
  STRING_SET_CSTRING = 34,
  STRING_METHOD_COUNT = 45,
};

extern InterfaceReferenceRecord g_stringInterface;

// A reference to a text decoding object, one word. SetCString takes it by const reference, so the
// host receives the address of the word that holds the object pointer.
class StringDecodingRef {
 public:
  explicit StringDecodingRef(const void* object) noexcept : object_(object) {}
  StringDecodingRef(const StringDecodingRef& other) noexcept : object_(other.object_) {}
  StringDecodingRef& operator=(const StringDecodingRef&) = delete;
  ~StringDecodingRef() {}
  const void* Get() const { return object_; }

 private:
  const void* object_;
};
static_assert(sizeof(StringDecodingRef) == sizeof(void*));

// The 8-bit decoding object handed to SetCString ("net.maxon.stringdecoding.utf8"), resolved on
// first use; a static placeholder while the host has none. Never null.
const void* Utf8Decoding();

struct StringObject;
// Empties `string` through the interface's Init; null when the method cannot be resolved.
StringObject* StringInit(StringObject* string);

}  // namespace maxon
