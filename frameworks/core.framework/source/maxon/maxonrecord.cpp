// The exported framework record. It is constant-initialised data, so the host (or anything that
// runs before static initialisation) reads 21014 and an empty module list from the start; module
// records are pushed onto the list as their units initialise.
#include "maxon/maxonrecord.h"

#include "maxon/translationunit.h"

FW_CORE_TRANSLATION_UNIT()

constinit maxon::GlobalRecord g_maxon{maxon::FW_RECORD_VERSION, nullptr, {}, nullptr, nullptr};
