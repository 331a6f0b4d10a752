#pragma once
// The host's thread services ("net.maxon.interface.threadservices"): references on host jobs,
// cancellation and the break test. Each call is a no-op (or false) while the host has not bound it.

#include <cstddef>

#include "maxon/entity.h"

namespace maxon {

enum ThreadServicesSlot : size_t {
  THREADSERVICES_ADD_JOB_REFERENCE = 0,     // void (void* job)
  THREADSERVICES_CANCEL = 1,                // void (void* job)
  THREADSERVICES_TEST_BREAK = 2,            // bool (void* job): must the thread stop
  THREADSERVICES_REMOVE_JOB_REFERENCE = 3,  // void (void* job)
  THREADSERVICES_METHOD_COUNT = 4,
};

extern InterfaceReferenceRecord g_threadServicesInterface;

void JobAddReference(void* job);
void JobCancel(void* job);
bool JobTestBreak(void* job);
void JobRemoveReference(void* job);

}  // namespace maxon
