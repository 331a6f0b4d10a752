#pragma once
// Stores a member function of a fake host class as a host-table entry of the layout being built,
// the way a host fills its tables: on Windows a plain function taking the object first, on the
// Itanium layout the 16-byte pointer to member itself.

#include <cstring>

#include "hosttables.h"

namespace fm::test {

template <typename M>
struct MemberClass;
template <typename C, typename R, typename... A>
struct MemberClass<R (C::*)(A...)> {
  using type = C;
};
template <typename C, typename R, typename... A>
struct MemberClass<R (C::*)(A...) const> {
  using type = const C;
};

#ifdef _WIN32
template <auto Method, typename R, typename... A>
R Thunk(void* self, A... args) {
  using Class = typename MemberClass<decltype(Method)>::type;
  return (static_cast<Class*>(self)->*Method)(args...);
}
template <auto Method, typename R, typename... A>
void SetMember(MemberEntry<R, A...>& entry) {
  entry = &Thunk<Method, R, A...>;
}
#else
template <auto Method, typename R, typename... A>
void SetMember(MemberEntry<R, A...>& entry) {
  auto member = Method;
  static_assert(sizeof(member) == sizeof(entry));
  std::memcpy(static_cast<void*>(&entry), &member, sizeof(entry));
}
#endif

}  // namespace fm::test
