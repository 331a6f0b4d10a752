// The application identifiers: constant data whose release is registered at exit, in this order.
#include "maxon/applicationid.h"

#include "maxon/translationunit.h"

FW_CORE_TRANSLATION_UNIT()

namespace maxon {

constinit const LiteralId APPLICATIONID_UNKNOWN{"net.maxon.application.unknown"};
constinit const LiteralId APPLICATIONID_LITE{"net.maxon.application.lite"};
constinit const LiteralId APPLICATIONID_CINEBENCH{"net.maxon.application.cinebench"};
constinit const LiteralId APPLICATIONID_UPDATER{"net.maxon.application.updater"};
constinit const LiteralId APPLICATIONID_TRSERVER{"net.maxon.application.trserver"};
constinit const LiteralId APPLICATIONID_TRCLIENT{"net.maxon.application.trclient"};
constinit const LiteralId APPLICATIONID_CINEMA4D{"net.maxon.application.cinema4d"};
constinit const LiteralId APPLICATIONID_COMMANDLINE{"net.maxon.application.commandline"};
constinit const LiteralId APPLICATIONID_CINEWARE{"net.maxon.application.cineware"};
constinit const LiteralId APPLICATIONID_PYTHON{"net.maxon.application.python"};
constinit const LiteralId APPLICATIONID_PYTHON3{"net.maxon.application.python3"};

constinit const LiteralId* const APPLICATION_IDS[11] = {
    &APPLICATIONID_UNKNOWN,  &APPLICATIONID_LITE,     &APPLICATIONID_CINEBENCH,
    &APPLICATIONID_UPDATER,  &APPLICATIONID_TRSERVER, &APPLICATIONID_TRCLIENT,
    &APPLICATIONID_CINEMA4D, &APPLICATIONID_COMMANDLINE, &APPLICATIONID_CINEWARE,
    &APPLICATIONID_PYTHON,   &APPLICATIONID_PYTHON3,
};

}  // namespace maxon
