// Registration unit of the framework runtime: its module record.
#include "maxon/entity.h"
#include "maxon/translationunit.h"

FW_REGISTRATION_TRANSLATION_UNIT(::maxon::g_coreModuleRecord)

namespace maxon {

constinit ModuleRecord g_coreModuleRecord{};

}  // namespace maxon

namespace {

[[maybe_unused]] maxon::ModuleRecord* const g_coreModuleBuilt = maxon::ConstructModule(
    maxon::g_coreModuleRecord, "net.maxon.core.framework", FW_THIS_TRANSLATION_UNIT,
    maxon::EntityBase::FLAGS::FRAMEWORK | maxon::EntityBase::FLAGS::PUBLIC);

}  // namespace
