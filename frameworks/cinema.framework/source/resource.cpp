// The module's resource set and where it is found.

#include "resource.h"

#include "forwards.h"
#include "maxon/translationunit.h"
#include "modulestate.h"
#include "pathstorage.h"

FW_CINEMA_TRANSLATION_UNIT()

namespace fm {

namespace {

// Appends the 8-bit component `text` to `base` into the raw slot `result`; frees `base`.
void JoinText(PathWord* result, PathWord* base, const char* text) {
  PathWord component;
  PathFromText(&component, text);
  PathJoin(result, base, &component);
  PathFree(&component);
  PathFree(base);
}

// Is the module file's folder a direct child of the host's start-up directory? `moduleDir`
// receives the module's directory (the caller frees it).
bool LiesInStartupDirectory(PathWord* moduleDir) {
  PathDirectory(moduleDir, modulePath);
  PathWord parent;
  PathDirectory(&parent, moduleDir);
  PathWord startup;
  GetHostStartupDirectory(&startup);
  const bool equal = PathEquals(&parent, &startup);
  PathFree(&startup);
  PathFree(&parent);
  return equal;
}

// <start-up>/resource/modules/<module file name without suffix> into the raw slot `result`.
void HostTreeDirectory(PathWord* result) {
  PathWord copy;
  PathInit(&copy);
  PathCopy(modulePath, &copy);
  PathStripSuffix(&copy);
  PathWord last;
  PathFilePart(&last, &copy);
  String lastText = nullptr;
  PathToString(&lastText, &last);
  PathWord name;
  PathInit(&name);
  PathAssignString(&name, lastText);
  maxon::StringRelease(lastText);
  PathFree(&last);
  PathFree(&copy);

  PathWord startup;
  GetHostStartupDirectory(&startup);
  PathWord resource;
  JoinText(&resource, &startup, "resource");
  PathWord modules;
  JoinText(&modules, &resource, "modules");
  PathJoin(result, &modules, &name);
  PathFree(&modules);
  PathFree(&name);
}

}  // namespace

ModuleResource g_moduleResource = {};

void GetResourceDirectory(PathWord* result) {
  PathWord moduleDir;
  if (modulePath != nullptr) {
    if (LiesInStartupDirectory(&moduleDir)) {
      PathFree(&moduleDir);
      HostTreeDirectory(result);
      return;
    }
  } else {
    PathInit(&moduleDir);
  }
  JoinText(result, &moduleDir, "res");
}

bool InitModuleResource() {
  // Before the host handed over its tables there is no host to load from.
  if (g_hostTables == nullptr) return false;
  ModuleResource& holder = g_moduleResource;
  PathWord computedDirectory;
  GetResourceDirectory(&computedDirectory);
  if (holder.resourceDirectory == nullptr) {
    PathWord* storage = FM_ALLOC_PATH_STORAGE();
    if (storage == nullptr) {
      PathFree(&computedDirectory);
      return false;
    }
    PathInit(storage);
    PathCopy(&computedDirectory, storage);
    holder.resourceDirectory = storage;
  }
  if (!holder.loadAttempted) {
    holder.resourceSet = ResourceLoad(&computedDirectory);
    holder.loadAttempted = true;
  }
  PathFree(&computedDirectory);
  return holder.resourceSet != nullptr;
}

String LoadResourceString(int32_t id) {
  const String* holder = g_moduleResource.resourceSet == nullptr
                             ? EmptyString()
                             : ResourceGetString(g_moduleResource.resourceSet, id);
  return holder != nullptr ? *holder : nullptr;
}

void FreeModuleResource() {
  ModuleResource& holder = g_moduleResource;
  if (holder.resourceSet != nullptr) {
    ResourceFree(holder.resourceSet, 1);
    holder.resourceSet = nullptr;
  }
  FreePathStorage(&holder.resourceDirectory);
}

}  // namespace fm
