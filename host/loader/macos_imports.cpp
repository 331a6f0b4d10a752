#include "host/loader/macos_imports.h"

#include <cxxabi.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>

// The C++ runtime's own symbols, which libc++ on macOS and libstdc++ here share by the common
// C++ ABI: the personality routine and the vtables of the type-information classes.
extern "C" void __gxx_personality_v0();
extern "C" char _ZTVN10__cxxabiv117__class_type_infoE[];
extern "C" char _ZTVN10__cxxabiv120__si_class_type_infoE[];

namespace fm::host::macos {
namespace {

// macOS names its standard streams by these variables rather than by Linux's stdout.
FILE* g_stdoutp = stdout;

std::atomic<DebuggerAnswer> g_debuggerAnswer{DebuggerAnswer::kFromProcess};

struct ExitHandler {
  void (*function)(void*);
  void* argument;
  const void* dso;
};

std::mutex& ExitMutex() {
  static std::mutex mutex;
  return mutex;
}
std::vector<ExitHandler>& ExitHandlers() {
  static std::vector<ExitHandler> handlers;
  return handlers;
}

bool ProcessIsTraced() {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return false;
  char line[256];
  long tracer = 0;
  while (std::fgets(line, sizeof line, status) != nullptr)
    if (std::strncmp(line, "TracerPid:", 10) == 0) {
      tracer = std::strtol(line + 10, nullptr, 10);
      break;
    }
  std::fclose(status);
  return tracer != 0;
}

// The layout of the process record macOS gives for {CTL_KERN, KERN_PROC, KERN_PROC_PID, pid}.
constexpr size_t kProcessRecordSize = 648;
constexpr size_t kProcessFlagsOffset = 32;
constexpr size_t kProcessIdOffset = 40;
constexpr int32_t kProcessTraced = 0x800;

// sysctl(name, length, old, oldLength, new, newLength). Only the module's own process query is
// answered; every other name fails as an unknown one does on macOS.
int Sysctl(int* name, unsigned length, void* old, size_t* oldLength, void* replacement, size_t) {
  const int pid = static_cast<int>(getpid());
  if (name == nullptr || length != 4 || name[0] != 1 || name[1] != 14 || name[2] != 1 || replacement != nullptr) {
    errno = ENOENT;
    return -1;
  }
  const DebuggerAnswer answer = g_debuggerAnswer.load();
  if (answer == DebuggerAnswer::kQueryFails || name[3] != pid || oldLength == nullptr) {
    errno = answer == DebuggerAnswer::kQueryFails ? EPERM : ESRCH;
    return -1;
  }
  if (old == nullptr) {
    *oldLength = kProcessRecordSize;
    return 0;
  }
  if (*oldLength < kProcessRecordSize) {
    errno = ENOMEM;
    return -1;
  }
  const bool traced = answer == DebuggerAnswer::kAttached ||
                      (answer == DebuggerAnswer::kFromProcess && ProcessIsTraced());
  auto* record = static_cast<uint8_t*>(old);
  std::memset(record, 0, kProcessRecordSize);
  const int32_t flags = traced ? kProcessTraced : 0;
  std::memcpy(record + kProcessFlagsOffset, &flags, sizeof flags);
  std::memcpy(record + kProcessIdOffset, &pid, sizeof pid);
  *oldLength = kProcessRecordSize;
  return 0;
}

int CxaAtexit(void (*function)(void*), void* argument, void* dso) {
  std::lock_guard<std::mutex> lock(ExitMutex());
  ExitHandlers().push_back(ExitHandler{function, argument, dso});
  return 0;
}

void Bzero(void* bytes, size_t size) { std::memset(bytes, 0, size); }

// Every lazy pointer is bound when the image loads, so dyld's lazy binder is never reached; if a
// broken file reaches it anyway, stop rather than jump somewhere.
void StubBinder() {
  std::fputs("fatal: a Mach-O module called dyld_stub_binder: a lazy import was left unbound\n", stderr);
  std::abort();
}

template <typename F>
void* Address(F* function) {
  return reinterpret_cast<void*>(function);
}

}  // namespace

const std::vector<ImportEntry>& ImportTable() {
  static const std::vector<ImportEntry> table = {
      {kLibSystem, "___bzero", Address(&Bzero)},
      {kLibSystem, "___cxa_atexit", Address(&CxaAtexit)},
      {kLibSystem, "___stdoutp", &g_stdoutp},
      {kLibSystem, "_fflush", Address(&std::fflush)},
      {kLibSystem, "_free", Address(&std::free)},
      {kLibSystem, "_getpid", Address(&getpid)},
      {kLibSystem, "_malloc", Address(&std::malloc)},
      {kLibSystem, "_memcpy", Address(static_cast<void* (*)(void*, const void*, size_t)>(&std::memcpy))},
      {kLibSystem, "_memset", Address(static_cast<void* (*)(void*, int, size_t)>(&std::memset))},
      {kLibSystem, "_printf", Address(&std::printf)},
      {kLibSystem, "_snprintf", Address(&std::snprintf)},
      {kLibSystem, "_strcmp", Address(static_cast<int (*)(const char*, const char*)>(&std::strcmp))},
      {kLibSystem, "_strlen", Address(static_cast<size_t (*)(const char*)>(&std::strlen))},
      {kLibSystem, "_strrchr", Address(static_cast<const char* (*)(const char*, int)>(&std::strrchr))},
      {kLibSystem, "_sysctl", Address(&Sysctl)},
      {kLibSystem, "dyld_stub_binder", Address(&StubBinder)},
      {kLibCxx, "__ZSt9terminatev", Address(&std::terminate)},
      {kLibCxx, "__ZTVN10__cxxabiv117__class_type_infoE", _ZTVN10__cxxabiv117__class_type_infoE},
      {kLibCxx, "__ZTVN10__cxxabiv120__si_class_type_infoE", _ZTVN10__cxxabiv120__si_class_type_infoE},
      {kLibCxx, "__ZdlPv", Address(static_cast<void (*)(void*) noexcept>(&::operator delete))},
      {kLibCxx, "___cxa_begin_catch", Address(&__cxxabiv1::__cxa_begin_catch)},
      // Not through Address: clang gives its instantiation for this C function the mangled name of
      // the one for StubBinder, and refuses the file.
      {kLibCxx, "___cxa_pure_virtual", reinterpret_cast<void*>(&__cxxabiv1::__cxa_pure_virtual)},
      {kLibCxx, "___gxx_personality_v0", Address(&__gxx_personality_v0)},
  };
  return table;
}

bool IsKnownLibrary(const std::string& library) { return library == kLibSystem || library == kLibCxx; }

void* ResolveImport(const std::string& library, const std::string& symbol) {
  for (const ImportEntry& entry : ImportTable())
    if ((library.empty() || library == entry.library) && symbol == entry.symbol) return entry.address;
  return nullptr;
}

void SetDebuggerAnswer(DebuggerAnswer answer) { g_debuggerAnswer.store(answer); }

void RunExitHandlers(const void* dso) {
  for (;;) {
    ExitHandler handler{};
    {
      std::lock_guard<std::mutex> lock(ExitMutex());
      std::vector<ExitHandler>& handlers = ExitHandlers();
      auto newest = handlers.rbegin();
      while (newest != handlers.rend() && newest->dso != dso) ++newest;
      if (newest == handlers.rend()) return;
      handler = *newest;
      handlers.erase(std::next(newest).base());
    }
    handler.function(handler.argument);  // unlocked: a destructor may register another
  }
}

size_t PendingExitHandlers() {
  std::lock_guard<std::mutex> lock(ExitMutex());
  return ExitHandlers().size();
}

}  // namespace fm::host::macos
