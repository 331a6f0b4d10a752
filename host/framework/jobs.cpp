#include "host/framework/jobs.h"

#include <map>
#include <memory>
#include <mutex>

namespace fm::host {

struct HostJob {
  int64_t references = 1;
  bool cancelled = false;
};

namespace {

struct Jobs {
  std::mutex mutex;
  std::map<void*, std::unique_ptr<HostJob>> live;
};

Jobs& TheJobs() {
  static auto* jobs = new Jobs;
  return *jobs;
}

// The live job behind `job`, or null; the caller holds the lock.
HostJob* Find(Jobs& jobs, void* job) {
  const auto found = jobs.live.find(job);
  return found == jobs.live.end() ? nullptr : found->second.get();
}

}  // namespace

HostJob* NewJob() {
  auto job = std::make_unique<HostJob>();
  HostJob* pointer = job.get();
  Jobs& jobs = TheJobs();
  std::lock_guard<std::mutex> lock(jobs.mutex);
  jobs.live.emplace(pointer, std::move(job));
  return pointer;
}

void AddJobReference(void* job) {
  Jobs& jobs = TheJobs();
  std::lock_guard<std::mutex> lock(jobs.mutex);
  if (HostJob* found = Find(jobs, job)) ++found->references;
}

void RemoveJobReference(void* job) {
  Jobs& jobs = TheJobs();
  std::lock_guard<std::mutex> lock(jobs.mutex);
  if (HostJob* found = Find(jobs, job); found && --found->references == 0) jobs.live.erase(job);
}

bool CancelJob(void* job) {
  Jobs& jobs = TheJobs();
  std::lock_guard<std::mutex> lock(jobs.mutex);
  HostJob* found = Find(jobs, job);
  if (found) found->cancelled = true;
  return found != nullptr;
}

bool JobTestBreak(void* job) {
  Jobs& jobs = TheJobs();
  std::lock_guard<std::mutex> lock(jobs.mutex);
  HostJob* found = Find(jobs, job);
  return found != nullptr && found->cancelled;
}

int64_t LiveJobCount() {
  Jobs& jobs = TheJobs();
  std::lock_guard<std::mutex> lock(jobs.mutex);
  return static_cast<int64_t>(jobs.live.size());
}

int64_t JobReferences(void* job) {
  Jobs& jobs = TheJobs();
  std::lock_guard<std::mutex> lock(jobs.mutex);
  HostJob* found = Find(jobs, job);
  return found ? found->references : 0;
}

}  // namespace fm::host
