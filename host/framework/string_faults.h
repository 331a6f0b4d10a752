#pragma once
// The fault switch of the string interface's Alloc (new empty strings for modules).

#include "host/framework/fault.h"

namespace fm::host {

FaultSwitch& StringAllocationFault();

}  // namespace fm::host
