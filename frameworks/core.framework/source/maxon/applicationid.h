#pragma once
// Identifiers of the host applications the framework knows.

#include "maxon/literalid.h"

namespace maxon {

extern const LiteralId APPLICATIONID_UNKNOWN;       // "net.maxon.application.unknown"
extern const LiteralId APPLICATIONID_LITE;
extern const LiteralId APPLICATIONID_CINEBENCH;
extern const LiteralId APPLICATIONID_UPDATER;
extern const LiteralId APPLICATIONID_TRSERVER;
extern const LiteralId APPLICATIONID_TRCLIENT;
extern const LiteralId APPLICATIONID_CINEMA4D;
extern const LiteralId APPLICATIONID_COMMANDLINE;
extern const LiteralId APPLICATIONID_CINEWARE;
extern const LiteralId APPLICATIONID_PYTHON;
extern const LiteralId APPLICATIONID_PYTHON3;

// All eleven, in declaration order.
extern const LiteralId* const APPLICATION_IDS[11];

}  // namespace maxon
