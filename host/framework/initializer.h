#pragma once
// The initialiser the host stores in g_maxon. Modules call it to resolve late:
// - an interface reference: init(&err, reference->resolving, &reference->id) re-binds the
//   reference's table; the id names the interface, and the reference record is found from the
//   id's fixed offset in it. Success exactly when every slot then has a host implementation;
// - a declaration: init(&err, declaration, declaration) stores the host's object for the
//   declaration's id in its cached-object field; an error when the host has no such object.
// The error written to *errorOut is null on success, else one of the host's error objects.

#include <cstdint>

#include "host/framework/records.h"

namespace fm::host {

void HostInitializer(void** errorOut, records::EntityHead* entity, void* requester);

struct InitializerCallCounts {
  int64_t references;    // re-binding requests
  int64_t declarations;  // declaration requests
  int64_t failures;      // calls that wrote an error
};
InitializerCallCounts InitializerCalls();
void ResetInitializerCalls();

}  // namespace fm::host
