// "net.maxon.interface.threadservices": the job operations a module's thread wrapper uses.

#include "host/framework/interfaces.h"
#include "host/framework/jobs.h"
#include "host/framework/registry.h"

namespace fm::host {
namespace {

void AddReference(void* job) { AddJobReference(job); }
void Cancel(void* job) { CancelJob(job); }
// Whether the thread running `job` must stop.
bool TestBreak(void* job) { return JobTestBreak(job); }
void RemoveReference(void* job) { RemoveJobReference(job); }

}  // namespace

void RegisterThreadServicesInterface() {
  RegisterMethod(kThreadServicesInterface, "AddJobReference@1659ebc1f694f39a",
                 AsHostFunction(&AddReference));
  RegisterMethod(kThreadServicesInterface, "Cancel@1659ebc1f694f39a", AsHostFunction(&Cancel));
  RegisterMethod(kThreadServicesInterface, "TestBreak@eabf736c374743f8", AsHostFunction(&TestBreak));
  RegisterMethod(kThreadServicesInterface, "RemoveJobReference@da1d21939365308e",
                 AsHostFunction(&RemoveReference));
}

}  // namespace fm::host
