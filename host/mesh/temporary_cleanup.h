#pragma once
// Temporary files that must not outlive an interrupted run. While a name is armed, a signal that
// would end the process (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE; on Windows Ctrl-C, Ctrl-Break
// and closing the console) first removes the file, then ends the process as it would have anyway.
// A signal the process ignores (a run under nohup) stays ignored. Nothing can run on SIGKILL: a file
// that must not survive that has to be made without a name (see OutputFile).

#include <string>

#ifndef _WIN32
#include <signal.h>
#endif

namespace fm::host::mesh {

// A handful of names can be armed at once; Arm answers -1 when all places are taken (the file is
// then removed only on the ordinary paths). Safe to call from one thread at a time.
int ArmTemporaryCleanup(const std::string& path);
void DisarmTemporaryCleanup(int slot);

// Holds those signals off for its lifetime, so that a rename and the disarming of its temporary
// name happen as one step: a signal arriving in between is acted on after both. No effect on
// Windows, where the cleanup runs on a thread of its own and removing a name already renamed is
// harmless.
class DeferredSignals {
 public:
  DeferredSignals();
  ~DeferredSignals();
  DeferredSignals(const DeferredSignals&) = delete;
  DeferredSignals& operator=(const DeferredSignals&) = delete;

 private:
#ifndef _WIN32
  sigset_t saved_;  // the mask before
#endif
};

}  // namespace fm::host::mesh
