#include "host/framework/framework.h"

#include "host/framework/binder.h"
#include "host/framework/configuration.h"
#include "host/framework/console.h"
#include "host/framework/initializer.h"
#include "host/framework/memory.h"
#include "host/framework/registry.h"
#include "host/framework/string_faults.h"
#include "host/framework/switches.h"

namespace fm::host {

void ResetFramework() {
  ResetRegistry();
  ClearSwitches();
  ResetMemoryCounters();
  StringAllocationFault().Off();
  ClearConsole();
  SetConsoleListener(nullptr);
  SetConsoleOutputMask(7);
  ClearConfigurationOptions();
  ClearRegisteredConfigurations();
  TakeBindRecords();
  ResetDefaultCalls();
  ResetInitializerCalls();
}

}  // namespace fm::host
