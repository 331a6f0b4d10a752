#pragma once
// The framework interfaces the host itself implements, and their identifiers.

namespace fm::host {

inline constexpr const char* kSystemInterface = "net.maxon.interface.system";
inline constexpr const char* kStringInterface = "net.maxon.interface.string";
inline constexpr const char* kThreadServicesInterface = "net.maxon.interface.threadservices";

// Each adds its interface's methods to the registry.
void RegisterSystemInterface();
void RegisterStringInterface();
void RegisterThreadServicesInterface();

}  // namespace fm::host
