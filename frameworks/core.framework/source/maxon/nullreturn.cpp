// Error objects for null returns, and the static neutral error behind them.
#include "maxon/nullreturn.h"

#include "maxon/debugglobals.h"
#include "maxon/declaration.h"
#include "maxon/diagnostic.h"
#include "maxon/translationunit.h"

FW_CORE_TRANSLATION_UNIT()

namespace maxon {
namespace {

// Stands in for an error object wherever the host has none; nobody looks inside it.
struct alignas(32) NeutralErrorObject {
  uint64_t words[8];
};
constinit NeutralErrorObject g_neutralError{};

constinit DeclarationRecord g_nullptrError{};
constinit DeclarationRecord g_unresolvedError{};
constinit DeclarationRecord g_notImplementedError{};

[[maybe_unused]] DeclarationRecord* const g_nullptrErrorBuilt = ConstructDeclaration(
    g_nullptrError, "net.maxon.error.nullptr", nullptr, FW_THIS_TRANSLATION_UNIT, 0);
[[maybe_unused]] DeclarationRecord* const g_unresolvedErrorBuilt = ConstructDeclaration(
    g_unresolvedError, "net.maxon.error.unresolved", nullptr, FW_THIS_TRANSLATION_UNIT, 0);
[[maybe_unused]] DeclarationRecord* const g_notImplementedErrorBuilt =
    ConstructDeclaration(g_notImplementedError, "net.maxon.error.functionnotimplemented", nullptr,
                         FW_THIS_TRANSLATION_UNIT, 0);

}  // namespace

void* NeutralError() { return &g_neutralError; }

void* PrivateGetNullReturnError(NULL_RETURN_REASON reason) {
  DeclarationRecord* declaration = &g_nullptrError;
  switch (reason) {
    case NULL_RETURN_REASON::NULLPTR:
    case NULL_RETURN_REASON::MAKE_WRITABLE_FAILED:
      break;
    case NULL_RETURN_REASON::UNRESOLVED:
      declaration = &g_unresolvedError;
      break;
    case NULL_RETURN_REASON::NULLIMPL:
      declaration = &g_notImplementedError;
      break;
    default:
      EmitDiagnostic(CRITICAL_CHANNEL | WITH_LOCATION,
                     "Stop: reason not supported by PrivateGetNullReturnError.", 644,
                     "maxon/object");
      DebugBreakIfAllowed();
      break;
  }
  if (void* error = ResolveDeclaration(*declaration)) return error;
  return NeutralError();
}

}  // namespace maxon
