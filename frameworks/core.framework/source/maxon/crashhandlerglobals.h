#pragma once
// Set while the process runs its crash handler: exclusive spin locks stop waiting then.

namespace maxon {

extern bool g_inCrashhandler;   // configuration variable, default false

}  // namespace maxon
