#include "c4dthread.h"

#include "maxon/configuration.h"
#include "maxon/threadservices.h"
#include "maxon/translationunit.h"

FW_CINEMA_TRANSLATION_UNIT()

namespace cinema {

bool g_enableLegacyThreadBreak = maxon::ConfigurationRegisterBool(
    "g_enableLegacyThreadBreak", &g_enableLegacyThreadBreak, false,
    maxon::CONFIGURATION_CATEGORY::DEVELOPMENT,
    "Enables the legacy code for TestDBreak /((fallback).");

bool C4DThread::TestDBreak() { return false; }

C4DThread::~C4DThread() { ReleaseJob(); }

void C4DThread::ReleaseJob() {
  if (job_ == nullptr) return;
  maxon::JobRemoveReference(job_);
  job_ = nullptr;
}

void C4DThread::AttachJob(void* job) {
  if (job == job_) {
    // Already held: the reference handed over is one too many.
    if (job != nullptr) maxon::JobRemoveReference(job);
    return;
  }
  ReleaseJob();
  job_ = job;
}

bool C4DThread::TestBreak() {
  // Without a host job there is nobody on the host's side to ask.
  if (job_ != nullptr && maxon::JobTestBreak(job_)) return true;
  if (g_enableLegacyThreadBreak) return false;
  if (!TestDBreak()) return false;
  if (job_ != nullptr) {
    // The extra reference keeps the job alive through its cancellation after the wrapper has
    // let go of its own.
    maxon::JobAddReference(job_);
    maxon::JobCancel(job_);
    ReleaseJob();
  }
  return true;
}

}  // namespace cinema
