// The module's framework interface registrations. The plug-in implements no framework interface
// of its own, so the unit holds only its translation-unit record.
#include "maxon/translationunit.h"

FW_TRANSLATION_UNIT(::maxon::g_pluginModuleRecord,
                       ::maxon::EntityBase::FLAGS::FRAMEWORK_REGISTRATION)
