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
  bool nullPolygonArray = false;    // ObjectTagDataWritable(5604) answers null, the count stays
  bool nullPolygonSelection = false;  // ObjectPolygonSelection answers null
  bool nullUvwHandle = false;       // TagGetDataHandle answers null for a UVW tag
};

}  // namespace fm::host
