// The module's one exported function: the host drives the whole life cycle through it.

#include <cstdint>

#include "forwards.h"
#include "hosttables.h"
#include "maxon/export.h"
#include "maxon/translationunit.h"
#include "modulehooks.h"
#include "modulestate.h"
#include "pathstorage.h"
#include "resource.h"

FW_CINEMA_TRANSLATION_UNIT()

namespace fm {

int32_t attachCount = 0;
PathWord* modulePath = nullptr;

namespace {

enum Message : int32_t {
  kAttach = 1,
  kStart = 2,
  kEnd = 3,
  kQuery = 4,
  kModuleMessage = 6,
};

constexpr int32_t kHandled = 1;
constexpr int32_t kNotHandled = -1;
constexpr int32_t kRefused = -3;
constexpr int32_t kQueryAnswer = 5;

int32_t Attach(void* tables, void* path) {
  if (++attachCount != 1) return kHandled;
  const int32_t version = BindHostTables(static_cast<const HostTables*>(tables));
  if (version < kApiVersion || path == nullptr) return kRefused;
  PathWord* storage = FM_ALLOC_PATH_STORAGE();
  if (storage == nullptr) {
    modulePath = nullptr;
    return kHandled;
  }
  PathInit(storage);
  PathCopy(static_cast<PathWord*>(path), storage);
  modulePath = storage;
  return kHandled;
}

// An end without an attach is ignored: a count below 0 would make the next attach skip binding
// the tables, and every later host call would then go nowhere.
int32_t End() {
  if (attachCount == 0) return kHandled;
  if (--attachCount != 0) return kHandled;
  EndModule();
  FreeModuleResource();
  FreePathStorage(&modulePath);
  return kHandled;
}

}  // namespace

}  // namespace fm

extern "C" FW_EXPORT int32_t c4d_main(int32_t message, void* a, void* b, void* c);

// a: the HostTables record (message 1) or the module-message id in its low 32 bits (message 6);
// b: the module message's data; c: the host's path word of the module file (message 1).
int32_t c4d_main(int32_t message, void* a, void* b, void* c) {
  using namespace fm;
  switch (message) {
    case kAttach:
      return Attach(a, c);
    case kStart:
      // Registration reaches the host through its tables: without them there is nothing to do.
      if (g_hostTables == nullptr) return 0;
      return StartModule() ? 1 : 0;
    case kEnd:
      return End();
    case kQuery:
      return kQueryAnswer;
    case kModuleMessage: {
      const auto id = static_cast<int32_t>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(a)));
      return HandleModuleMessage(id, b) ? kHandled : kNotHandled;
    }
    default:
      return kNotHandled;
  }
}
