#pragma once
// Switches that make the host refuse or fail the operations a module must cope with failing.
// All off by default; tests turn them on one at a time.

namespace fm::host {

struct FaultSwitches {
  bool refuseResize = false;        // ObjectResize answers false and changes nothing
  bool failNodeArrayAlloc = false;  // NodeArrayAlloc answers null
  bool failBitmapAlloc = false;     // BitmapAlloc answers null
  bool failBitmapLoad = false;      // BitmapLoadFile answers a failure, the bitmap unchanged
  bool failResourceLoad = false;    // ResourceLoad answers null
  bool refuseRegistration = false;  // PluginRegister answers false and keeps nothing
};

}  // namespace fm::host
