#pragma once
// What the entry point asks of the plug-in itself. The plug-in defines these; the host binding
// layer only calls them.

#include <cstdint>

namespace fm {

// Start message: registers the plug-in's commands. True when registration succeeded.
bool StartModule();

// Final end message, before the module's resources and path are released.
void EndModule();

// Module message `id` with its data. True when handled.
bool HandleModuleMessage(int32_t id, void* data);

}  // namespace fm
