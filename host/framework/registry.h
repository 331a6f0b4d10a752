#pragma once
// The host's implementations of framework interfaces, keyed by the exact text of the interface id
// and of each method identifier ("name@signature-hash"). Nothing is matched loosely: a misspelt
// identifier is simply not found.

#include <string>
#include <string_view>
#include <vector>

#include "host/framework/records.h"

namespace fm::host {

using HostFunction = void (*)();

template <typename F>
HostFunction AsHostFunction(F* function) {
  return reinterpret_cast<HostFunction>(function);
}

// Adds (or replaces) the implementation of `methodIdentifier` in `interfaceId`.
void RegisterMethod(std::string_view interfaceId, std::string_view methodIdentifier,
                    HostFunction function);

// Whether the host implements any method of `interfaceId`.
bool ImplementsInterface(std::string_view interfaceId);

// The implementation, or null when the interface or method is unknown or the method is switched
// off (OmitMethod).
HostFunction FindMethod(std::string_view interfaceId, std::string_view methodIdentifier);

// Method identifiers the host implements for `interfaceId`, in registration order.
std::vector<std::string> MethodsOf(std::string_view interfaceId);

// The host's record of an implemented interface, which the binder makes a reference's resolving
// entity. Stable for the life of the process; null for an interface the host does not implement.
records::EntityHead* InterfaceRecord(std::string_view interfaceId);

// The interface id a host interface record stands for; empty when `record` is not one of them.
std::string_view InterfaceOfRecord(const records::EntityHead* record);

// Back to the host's own interfaces only (system, string, threadservices).
void ResetRegistry();

}  // namespace fm::host
