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

// An error by value, as the host's API gives and takes it: one word, null for success. Like every
// reference class of the framework it has a copy and a destructor, so a C++ compiler returns it
// through a hidden result slot: the hooks and framework methods that give an error are declared
// with it, and the compiler, not a convention of ours, places that slot. The host's errors are
// static, so the copy and the destructor have nothing to count.
class ErrorValue {
 public:
  ErrorValue() noexcept : error_(nullptr) {}
  explicit ErrorValue(const void* error) noexcept : error_(error) {}
  ErrorValue(const ErrorValue& other) noexcept : error_(other.error_) {}
  ErrorValue& operator=(const ErrorValue& other) noexcept {
    error_ = other.error_;
    return *this;
  }
  ~ErrorValue() {}

  const void* Get() const { return error_; }
  explicit operator bool() const { return error_ != nullptr; }

 private:
  const void* error_;
};
static_assert(sizeof(ErrorValue) == sizeof(void*));

}  // namespace fm::host
