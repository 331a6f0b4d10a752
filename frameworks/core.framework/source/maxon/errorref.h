#pragma once
// A framework error as it crosses the boundary: a one-word reference to an error object, null for
// success. The host's C++ declaration gives it a copy and a destructor, so no compiler returns it
// in a register: a function "returning an error" takes the address of the caller's storage (the
// hidden result slot) and constructs the reference there. Declaring the class the same way here
// makes each compiler put that slot where the host's compiler does, for hooks, framework methods
// and their default stubs alike.
//
// Every error the module meets is a static object (the host's errors, or the module's neutral
// one), so taking or dropping a reference has nothing to count; the copy and the destructor exist
// for the calling convention they imply.

namespace maxon {

class ErrorRef {
 public:
  ErrorRef() noexcept : object_(nullptr) {}
  explicit ErrorRef(void* object) noexcept : object_(object) {}
  ErrorRef(const ErrorRef& other) noexcept : object_(other.object_) {}
  ErrorRef& operator=(const ErrorRef& other) noexcept {
    object_ = other.object_;
    return *this;
  }
  ~ErrorRef() {}

  void* Get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  void* object_;
};
static_assert(sizeof(ErrorRef) == sizeof(void*));

}  // namespace maxon
