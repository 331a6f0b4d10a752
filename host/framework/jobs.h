#pragma once
// The job object behind "net.maxon.interface.threadservices": a counted handle that a thread asks
// whether it must stop. The host creates jobs; modules take and drop references and may cancel.

#include <cstdint>

namespace fm::host {

struct HostJob;

// A new job holding one reference for the caller.
HostJob* NewJob();

// Reference +1 / -1; the job is freed when its last reference is dropped. Pointers that are not
// live jobs are ignored, so a module's stray handle cannot corrupt the host.
void AddJobReference(void* job);
void RemoveJobReference(void* job);

// Asks the job to stop; TestBreak answers true from then on. False for an unknown job.
bool CancelJob(void* job);
bool JobTestBreak(void* job);

int64_t LiveJobCount();
int64_t JobReferences(void* job);  // 0 for an unknown job

}  // namespace fm::host
