// Registration unit of the host binding layer: its module record.
#include "maxon/entity.h"
#include "maxon/translationunit.h"

FW_REGISTRATION_TRANSLATION_UNIT(::maxon::g_cinemaModuleRecord)

namespace maxon {

constinit ModuleRecord g_cinemaModuleRecord{};

}  // namespace maxon

namespace {

[[maybe_unused]] maxon::ModuleRecord* const g_cinemaModuleBuilt = maxon::ConstructModule(
    maxon::g_cinemaModuleRecord, "net.maxon.c4d.cinema.framework", FW_THIS_TRANSLATION_UNIT,
    maxon::EntityBase::FLAGS::FRAMEWORK | maxon::EntityBase::FLAGS::PUBLIC);

}  // namespace
