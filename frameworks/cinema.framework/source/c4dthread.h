#pragma once
// The host binding layer's thread wrapper: a thread object that may run on a host job, with the
// break test its work loop polls.

namespace cinema {

// Configuration variable: when set, only the host is asked whether the thread must stop.
extern bool g_enableLegacyThreadBreak;

class C4DThread {
 public:
  C4DThread() = default;
  C4DThread(const C4DThread&) = delete;
  C4DThread& operator=(const C4DThread&) = delete;

  // The thread's work.
  virtual void Main() = 0;
  // The thread's own reason to stop (the second virtual operation); none by default.
  virtual bool TestDBreak();
  // Releases the host job the wrapper still holds.
  virtual ~C4DThread();

  // Whether the thread must stop: the host says so; or, unless the legacy break test is enabled,
  // the thread itself says so, in which case the host job (when there is one) is cancelled and
  // the wrapper lets go of it.
  bool TestBreak();

  // Takes over one reference on the host job the thread runs on (null: none). A job held before
  // is released.
  void AttachJob(void* job);
  void* Job() const { return job_; }

 private:
  void ReleaseJob();

  void* job_ = nullptr;
};

}  // namespace cinema
