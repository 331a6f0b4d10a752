#pragma once
// g_maxon: the record through which the host finds the module's framework declarations and hands
// over its initialiser.

#include <cstdint>

#include "maxon/entity.h"
#include "maxon/export.h"
#include "maxon/literalid.h"

namespace maxon {

// Resolves `entity` for a requester, which is either a record or the id inside one: late binding
// of an interface reference passes the reference's resolving entity and the address of the
// reference's id (the host finds the record from that id's fixed offset); a declaration passes
// itself twice. Writes null to *errorOut on success, else an error object of the host.
using Initializer = void (*)(void** errorOut, EntityBase* entity, void* requester);

inline constexpr int64_t FW_RECORD_VERSION = 21014;

struct GlobalRecord {
  int64_t version;            // 0: 21014 from the first instruction on (constant data)
  ModuleRecord* modules;      // 8: the library's module records, newest first
  LiteralId id;               // 16: the host's; empty at load, released at unload
  void* reserved;             // 32: the host's; null at load
  Initializer initializer;    // 40: stored by the host before it binds anything

  Initializer GetInitializer() const { return initializer; }
};
static_assert(sizeof(GlobalRecord) == 48);
static_assert(offsetof(GlobalRecord, version) == 0);
static_assert(offsetof(GlobalRecord, modules) == 8);
static_assert(offsetof(GlobalRecord, id) == 16);
static_assert(offsetof(GlobalRecord, reserved) == 32);
static_assert(offsetof(GlobalRecord, initializer) == 40);

}  // namespace maxon

extern "C" {
FW_EXPORT extern maxon::GlobalRecord g_maxon;
}
