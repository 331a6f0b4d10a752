// ResourceTable: a module's resource set, read from its resource directory.
#include "host/tables/entry_support.h"
#include "host/tables/paths.h"
#include "host/tables/table_image.h"

namespace fm::host {
namespace {

// A set owned by the caller until ResourceFree; null when the directory has no readable,
// well-formed string table or the host refuses.
void* ResourceLoad(void** directory) {
  Environment& env = CurrentEnvironment();
  if (env.Faults().failResourceLoad) return nullptr;
  std::string error;
  std::unique_ptr<ResourceSet> set = LoadResourceSet(PathWordText(directory), error);
  if (!set) {
    Diagnose("ResourceLoad: " + error);
    return nullptr;
  }
  return env.AdoptResourceSet(std::move(set));
}

// The address of the set's holder of string `id` (the string and its holder are the set's); the
// shared empty string's holder for an id it lacks.
HostString* const* ResourceGetString(void* set, int32_t id) {
  const ResourceSet* known = CurrentEnvironment().FindResourceSet(set);
  if (!known) {
    Diagnose("ResourceGetString: not a resource set of this host");
    return EmptyStringHolder();
  }
  HostString* const* holder = known->Holder(id);
  return holder ? holder : EmptyStringHolder();
}

// Frees the set and its strings whatever the flag says. Null is ignored.
void ResourceFree(void* set, uint8_t /*flag*/) {
  if (set && !CurrentEnvironment().FreeResourceSet(set)) {
    Diagnose("ResourceFree: not a resource set of this host (or freed twice)");
  }
}

}  // namespace

void FillResourceTable(TableImage& table) {
  using E = ResourceEntries;
  table.PutPlain<E::ResourceLoad, &ResourceLoad>();
  table.PutPlain<E::ResourceGetString, &ResourceGetString>();
  table.PutPlain<E::ResourceFree, &ResourceFree>();
}

}  // namespace fm::host
