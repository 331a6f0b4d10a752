#pragma once
// The module's resource set: where its directory is, loading it once, strings by id, release.

#include <cstdint>

#include "hosttables.h"

namespace fm {

// One holder for the whole module, zero at load.
struct ModuleResource {
  // The host's resource set; null while none is loaded.
  void* resourceSet;
  // True once a load was tried, whatever came of it; never reset, so nothing loads twice.
  bool loadAttempted;
  // The directory remembered at the first initialisation: a path storage word of the module's
  // heap, or null.
  PathWord* resourceDirectory;
};

extern ModuleResource g_moduleResource;

// A new path in the raw slot `result`: "res" next to the module file, or, when the module's
// folder lies directly in the host's start-up directory, <start-up>/resource/modules/<module
// file name without suffix>. Without a module path: the relative path "res". The caller frees it.
void GetResourceDirectory(PathWord* result);

// Loads the resource set on the first call that gets that far; later calls answer as the first
// did. False when the directory holder cannot be allocated (nothing tried; a later call retries),
// the set does not load, or the host's tables are not bound yet.
bool InitModuleResource();

// The text of string `id`: owned by the resource set, or the host's shared empty string while no
// set is loaded. Never released by the caller.
String LoadResourceString(int32_t id);

// Frees the resource set and the remembered directory. A later InitModuleResource loads nothing.
void FreeModuleResource();

}  // namespace fm
