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

// A reference to a framework object (such as a decoding), as the host's methods take it: a one-word
// class holding the object pointer, passed by const reference, so the method receives the address
// of the caller's word.
class ObjectRef {
 public:
  explicit ObjectRef(const void* object = nullptr) noexcept : object_(object) {}
  ObjectRef(const ObjectRef& other) noexcept : object_(other.object_) {}
  ObjectRef& operator=(const ObjectRef&) = delete;
  ~ObjectRef() {}
  const void* Get() const { return object_; }

 private:
  const void* object_;
};
static_assert(sizeof(ObjectRef) == sizeof(void*));

// The host's object for a declaration id; null when the host has none.
const void* DeclaredObject(std::string_view id);

}  // namespace fm::host
