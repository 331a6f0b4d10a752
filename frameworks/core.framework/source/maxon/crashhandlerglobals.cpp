#include "maxon/crashhandlerglobals.h"

#include "maxon/configuration.h"
#include "maxon/translationunit.h"

FW_CORE_TRANSLATION_UNIT()

namespace maxon {

bool g_inCrashhandler = ConfigurationRegisterBool("g_inCrashhandler", &g_inCrashhandler, false,
                                                  CONFIGURATION_CATEGORY::NONE, "");

}  // namespace maxon
