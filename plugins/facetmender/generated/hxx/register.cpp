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

[[maybe_unused]] maxon::ModuleRecord* const g_pluginModuleBuilt = maxon::ConstructModule(
    maxon::g_pluginModuleRecord, "com.tessworks.facetmender", FW_THIS_TRANSLATION_UNIT, 0);

}  // namespace
