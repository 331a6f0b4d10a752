#pragma once
// Icons from the module's resource directory.

#include "hosttables.h"

namespace fm {

// The image file `fileName` (a host string the caller keeps) of the resource directory as a new
// host bitmap with pixel ratio `pixelRatio`, or null when no bitmap can be made or the file does
// not load. The caller frees it with BitmapFree. Nothing half-made is left behind.
void* LoadIconBitmap(String fileName, double pixelRatio);

}  // namespace fm
