#pragma once
// Test switches that make the host's framework withhold something a module expects, so that the
// module's fallbacks can be driven: a method left out of binding, no initialiser in g_maxon, a
// module record flagged CORE before its initialisation hooks run.

#include <string>
#include <string_view>
#include <vector>

namespace fm::host {

// The binder treats `methodIdentifier` (exact text, e.g. "SetCString@5c5e8978bfe2a356") as one
// the host does not implement, in every interface.
void OmitMethod(std::string methodIdentifier);
bool IsMethodOmitted(std::string_view methodIdentifier);

// The loader leaves g_maxon's initialiser null.
void SetInitializerAbsent(bool absent);
bool InitializerAbsent();

// The loader ORs CORE into the flags of the module record with this id before the hooks run.
void MarkModuleCore(std::string moduleId);
bool IsModuleMarkedCore(std::string_view moduleId);

// All switches off.
void ClearSwitches();

}  // namespace fm::host
