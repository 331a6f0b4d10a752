#pragma once
// Null returns become error objects: a framework error is never a null pointer.

#include <cstdint>

namespace maxon {

enum class NULL_RETURN_REASON : int32_t {
  NULLPTR = 0,
  MAKE_WRITABLE_FAILED = 1,
  UNRESOLVED = 2,
  NULLIMPL = 3,
};

// The host's error object for `reason` ("net.maxon.error.nullptr" for 0 and 1,
// ".unresolved" for 2, ".functionnotimplemented" for 3), resolved on first use; the module's
// static neutral error when the host has none. Never null. Any other reason is reported
// ("Stop: reason not supported by PrivateGetNullReturnError.") and answered like NULLPTR.
void* PrivateGetNullReturnError(NULL_RETURN_REASON reason);

// The static neutral error shared by all reasons when nothing better is available.
void* NeutralError();

}  // namespace maxon
