// Registration unit of the plug-in: who the module is and which framework modules it needs.
// Order matters: the unit's record, then the dependency list, then the module record, which
// leaves the list in place.
#include <iterator>

#include "maxon/entity.h"
#include "maxon/literalid.h"
#include "maxon/translationunit.h"

FW_REGISTRATION_TRANSLATION_UNIT(::maxon::g_pluginModuleRecord)

namespace maxon {

constinit ModuleRecord g_pluginModuleRecord{};

}  // namespace maxon

namespace {

// Released (cleared) at unload, after the host has let go of the module.
constinit const maxon::LiteralId g_pluginDependencies[] = {
    {"net.maxon.c4d.cinema.framework"},
    {"net.maxon.core.framework"},
    {"net.maxon.math.framework"},
};
static_assert(maxon::PackLiteralText("net.maxon.c4d.cinema.framework") == 0x1e459d5288338);
static_assert(maxon::PackLiteralText("net.maxon.core.framework") == 0x1854b7897c12b);
static_assert(maxon::PackLiteralText("net.maxon.math.framework") == 0x181770e28a954);

[[maybe_unused]] const bool g_pluginDependenciesSet = maxon::SetModuleDependencies(
    maxon::g_pluginModuleRecord, g_pluginDependencies, std::size(g_pluginDependencies));

// The module record is constructed once, however often the unit's initialiser runs: a loader
// that initialises a library twice (or a second copy of this unit) must not trip the record's
// constructed-twice check or push the record onto g_maxon's list a second time.
constinit bool g_pluginModuleOnce = false;

maxon::ModuleRecord* ConstructPluginModuleOnce() {
  if (g_pluginModuleOnce) return &maxon::g_pluginModuleRecord;
  g_pluginModuleOnce = true;
  return maxon::ConstructModule(maxon::g_pluginModuleRecord, "com.tessworks.facetmender",
                                FW_THIS_TRANSLATION_UNIT, 0);
}

[[maybe_unused]] maxon::ModuleRecord* const g_pluginModuleBuilt = ConstructPluginModuleOnce();

}  // namespace
