// The one module-wide pointer to the host's tables.

#include "hosttables.h"

#include "maxon/translationunit.h"

FW_CINEMA_TRANSLATION_UNIT()

namespace fm {

const HostTables* g_hostTables = nullptr;

int32_t BindHostTables(const HostTables* tables) {
  g_hostTables = tables;
  // A missing record reads as version 0, which the entry point refuses.
  return tables != nullptr ? tables->version : 0;
}

}  // namespace fm
