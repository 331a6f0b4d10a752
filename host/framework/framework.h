#pragma once
// The host's framework as one piece: what a test resets between cases.

namespace fm::host {

// Back to a fresh host: built-in interfaces only, switches and fault switches off, console empty
// with mask 7, no configuration values or registered entries, counters at zero. Only valid while
// no module is loaded. Live strings, blocks and jobs are not touched: their counts are what tests
// compare against.
void ResetFramework();

}  // namespace fm::host
