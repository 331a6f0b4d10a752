#pragma once
// Debug globals: whether a debugger is attached, and the condition under which framework
// assertions break into it.

namespace maxon {

// Configuration variables (registered with the host; plain bytes read without locks).
extern bool g_enableDebugBreak;     // default true
extern bool g_enableParallelFor;    // default true; not read by the module, the host's switch

// Whether a debugger is attached: asked of the platform by the static initialiser and once more
// by the first diagnostic.
bool IsDebuggerAttached();

// Asks again (through the probe, when one is set) and stores the answer.
void RefreshDebuggerAttached();

// Replaces the platform's question with `probe` and asks again at once; null puts the platform's
// question back. Lets tests run the debugger paths without a debugger.
using DebuggerProbe = bool (*)();
void SetDebuggerProbe(DebuggerProbe probe);

// A debugger is attached and g_enableDebugBreak is set.
bool DebugBreakCondition();

// Executes a breakpoint trap when DebugBreakCondition() holds; otherwise does nothing.
void DebugBreakIfAllowed();

}  // namespace maxon
