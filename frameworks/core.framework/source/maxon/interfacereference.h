#pragma once
// Method tables of the framework's non-virtual interfaces: one slot per method, filled by the
// host's binder; slots the host cannot fill keep defaults. Slots of kind OTHER get the module's
// own stubs, which try to resolve the interface late and otherwise answer neutrally.

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "maxon/entity.h"
#include "maxon/errorref.h"
#include "maxon/nullreturn.h"

namespace maxon {

// What an unresolved method returns; one byte per method after the method-name blob.
enum class NULL_RETURN_TYPE : uint8_t {
  VOID_ZERO = 0,
  VOID_ZERO_FREE_FUNCTION = 1,  // the interface's Free
  INTEGRAL_ZERO = 2,
  FLOAT_ZERO = 3,
  DOUBLE_ZERO = 4,
  POINTER_TO_ZERO = 5,
  OTHER = 6,                    // the filler's stub
};

struct MethodEntry {
  const char* id;               // "Name@signaturehash", exactly as the host declares it
  NULL_RETURN_TYPE kind;
};

constexpr size_t ConstexprLength(const char* text) {
  size_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

constexpr bool ConstexprEquals(const char* a, const char* b) {
  size_t i = 0;
  for (; a[i] != '\0' && a[i] == b[i]; ++i) {}
  return a[i] == b[i];
}

// The identifiers NUL-terminated back to back, then the kind bytes.
template <size_t N>
constexpr size_t MethodBlobSize(const MethodEntry (&methods)[N]) {
  size_t size = N;
  for (const MethodEntry& m : methods) size += ConstexprLength(m.id) + 1;
  return size;
}

template <size_t Size>
struct MethodBlob {
  char bytes[Size];
};

template <size_t Size, size_t N>
constexpr MethodBlob<Size> MakeMethodBlob(const MethodEntry (&methods)[N]) {
  MethodBlob<Size> blob{};
  size_t at = 0;
  for (const MethodEntry& m : methods) {
    for (const char* c = m.id; *c != '\0'; ++c) blob.bytes[at++] = *c;
    blob.bytes[at++] = '\0';
  }
  for (const MethodEntry& m : methods) blob.bytes[at++] = static_cast<char>(m.kind);
  return blob;
}

// The kind bytes that follow the reference's blob.
const uint8_t* NullReturnTypes(const InterfaceReferenceRecord& reference);

// The reference and the host record resolving it are both flagged INITIALIZED by the binder.
bool IsInitialized(const InterfaceReferenceRecord& reference);

// Late resolution: asks the host's initialiser again (when the binder named a resolving entity),
// else runs the fallback; answers whether the table may now be used. With `report`, failure is
// written as "Method invocation of unresolvable interface <id>" and "Stop".
bool ResolveReference(InterfaceReferenceRecord& reference, bool report);

// Writes the three report lines for a method of `reference` that cannot be resolved.
void ReportUnresolvable(const InterfaceReferenceRecord& reference);

// For a stub in `slot`: resolve, and answer true only when the slot now holds something other
// than the stub itself, so a resolution that leaves the stub in place can never recurse.
bool ResolveForSlot(InterfaceReferenceRecord& reference, size_t slot, void* stub, bool report);

// What a filler does: write the interface's stubs, then hand the table to the binder (null: only
// the stubs are written).
void FillAndBind(InterfaceReferenceRecord& reference, EntityBase* given, Binder binder,
                 void (*writeStubs)());

template <typename Function>
Function SlotAs(const InterfaceReferenceRecord& reference, size_t slot) {
  return reinterpret_cast<Function>(reference.methods[slot]);
}

template <typename Stub>
void* StubAddress() {
  return reinterpret_cast<void*>(&Stub::Call);
}

// Stub of a method that returns an error: forwards when late resolution succeeds, else returns
// the "unresolved" error without a word. It has the method's own signature, the error coming back
// by value (through the caller's result slot), so the host calls stub and method alike.
template <InterfaceReferenceRecord& Reference, size_t Slot, typename Signature>
struct ErrorChannelStub;

template <InterfaceReferenceRecord& Reference, size_t Slot, typename... Args>
struct ErrorChannelStub<Reference, Slot, ErrorRef(Args...)> {
  static ErrorRef Call(Args... args) {
    if (ResolveForSlot(Reference, Slot, StubAddress<ErrorChannelStub>(), false))
      return SlotAs<ErrorRef (*)(Args...)>(Reference, Slot)(args...);
    return ErrorRef(PrivateGetNullReturnError(NULL_RETURN_REASON::UNRESOLVED));
  }
};

// Stub of a method without an error channel: forwards when late resolution succeeds, else reports
// and returns the neutral value (null for strings and objects).
template <InterfaceReferenceRecord& Reference, size_t Slot, typename Signature>
struct ReportingStub;

template <InterfaceReferenceRecord& Reference, size_t Slot, typename Result, typename... Args>
struct ReportingStub<Reference, Slot, Result(Args...)> {
  static Result Call(Args... args) {
    if (ResolveForSlot(Reference, Slot, StubAddress<ReportingStub>(), true))
      return SlotAs<Result (*)(Args...)>(Reference, Slot)(args...);
    if constexpr (!std::is_void_v<Result>) return Result{};
  }
};

}  // namespace maxon
