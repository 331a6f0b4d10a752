#pragma once
// Every unit of the module declares a translation-unit record before its other records. Put one
// of these lines at namespace scope near the top of each .cpp, after the includes:
//   FW_PLUGIN_TRANSLATION_UNIT()   units of the plug-in (plugins/facetmender/source)
//   FW_CINEMA_TRANSLATION_UNIT()   units of the host binding layer (cinema.framework)
//   FW_CORE_TRANSLATION_UNIT()     units of the framework runtime (core.framework)
// The record is named after the unit's source file without directories or extension ("main"); the
// Windows build records "??" for every unit except the registration units, which record
// "register". Later records of the unit name FW_THIS_TRANSLATION_UNIT as their owner.

#include <cstddef>
#include <cstdint>

#include "maxon/entity.h"

namespace maxon {

// The module records of the three modules the library carries, each defined in its registration
// unit.
extern ModuleRecord g_pluginModuleRecord;   // "com.tessworks.facetmender"
extern ModuleRecord g_cinemaModuleRecord;   // "net.maxon.c4d.cinema.framework"
extern ModuleRecord g_coreModuleRecord;     // "net.maxon.core.framework"

template <size_t N>
struct UnitSourceName {
  char text[N];
};

// `path` with its extension cut off (the last '.' after the last separator), at compile time, so
// the record's id points into constant data and nothing is allocated.
template <size_t N>
consteval UnitSourceName<N> MakeUnitSourceName(const char (&path)[N]) {
  UnitSourceName<N> name{};
  size_t base = 0;
  for (size_t i = 0; i + 1 < N; ++i)
    if (path[i] == '/' || path[i] == '\\') base = i + 1;
  size_t end = N - 1;
  for (size_t i = base; i + 1 < N; ++i)
    if (path[i] == '.') end = i;
  for (size_t i = 0; i < end; ++i) name.text[i] = path[i];
  return name;
}

}  // namespace maxon

#define FW_TRANSLATION_UNIT_RECORD_(moduleRecord, sourceName, unitFlags)                     \
  namespace {                                                                                   \
  constinit ::maxon::TranslationUnitRecord maxon_translationUnit{};                             \
  [[maybe_unused]] ::maxon::TranslationUnitRecord* const maxon_translationUnitBuilt =           \
      ::maxon::ConstructTranslationUnit(maxon_translationUnit, moduleRecord, sourceName,        \
                                        unitFlags);                                             \
  }

#if defined(_WIN32)
#define FW_TRANSLATION_UNIT(moduleRecord, unitFlags) \
  FW_TRANSLATION_UNIT_RECORD_(moduleRecord, "??", unitFlags)
#define FW_REGISTRATION_TRANSLATION_UNIT(moduleRecord)  \
  FW_TRANSLATION_UNIT_RECORD_(moduleRecord, "register", \
                                 ::maxon::EntityBase::FLAGS::REGISTRATION_UNIT)
#else
#define FW_TRANSLATION_UNIT(moduleRecord, unitFlags)                                      \
  namespace {                                                                                \
  constexpr auto maxon_unitSourceName = ::maxon::MakeUnitSourceName(__FILE__);              \
  }                                                                                          \
  FW_TRANSLATION_UNIT_RECORD_(moduleRecord, maxon_unitSourceName.text, unitFlags)
#define FW_REGISTRATION_TRANSLATION_UNIT(moduleRecord) \
  FW_TRANSLATION_UNIT(moduleRecord, ::maxon::EntityBase::FLAGS::REGISTRATION_UNIT)
#endif

#define FW_PLUGIN_TRANSLATION_UNIT() FW_TRANSLATION_UNIT(::maxon::g_pluginModuleRecord, 0)
#define FW_CINEMA_TRANSLATION_UNIT() FW_TRANSLATION_UNIT(::maxon::g_cinemaModuleRecord, 0)
#define FW_CORE_TRANSLATION_UNIT() FW_TRANSLATION_UNIT(::maxon::g_coreModuleRecord, 0)

// The unit's own record, as the owner of the unit's other records.
#define FW_THIS_TRANSLATION_UNIT (&maxon_translationUnit.head)
