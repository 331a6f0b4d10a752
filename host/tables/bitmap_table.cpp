// BitmapTable: bitmaps made for a module, loaded from files, with typed properties.
#include <cstring>

#include "host/scene/bitmap.h"
#include "host/tables/entry_support.h"
#include "host/tables/paths.h"
#include "host/tables/table_image.h"

namespace fm::host {
namespace {

Bitmap* Known(void* bitmap, const char* entry) {
  Bitmap* known = CurrentEnvironment().FindBitmap(bitmap);
  if (!known) Diagnose(std::string(entry) + ": not a bitmap of this host");
  return known;
}

// An empty bitmap owned by the caller until BitmapFree; null when the host refuses.
void* BitmapAlloc() {
  Environment& env = CurrentEnvironment();
  if (env.Faults().failBitmapAlloc) return nullptr;
  return env.NewBitmap();
}

// Null is ignored.
void BitmapFree(void* bitmap) {
  if (bitmap && !CurrentEnvironment().FreeBitmap(bitmap)) {
    Diagnose("BitmapFree: not a bitmap of this host (or freed twice)");
  }
}

// 1 when the first image of the file at `path` replaced the bitmap's pixels; otherwise the bitmap
// is unchanged and the answer says why (-1 no such file, 2 not a readable TIFF, 0 host failure).
// Frame -1 or 0 is the first image; a still image has no other. `isMovie`, when given, gets false.
int32_t BitmapLoadFile(void* bitmap, void** path, int32_t frame, bool* isMovie) {
  Bitmap* target = Known(bitmap, "BitmapLoadFile");
  if (!target || CurrentEnvironment().Faults().failBitmapLoad) {
    return static_cast<int32_t>(ImageLoadResult::Failed);
  }
  if (isMovie) *isMovie = false;
  if (frame != -1 && frame != 0) {
    Diagnose("BitmapLoadFile: frame " + std::to_string(frame) + " of a still image");
    return static_cast<int32_t>(ImageLoadResult::NotExisting);
  }
  std::string error;
  const ImageLoadResult result = LoadImageFile(PathWordText(path), *target, error);
  if (result != ImageLoadResult::Loaded) Diagnose("BitmapLoadFile: " + error);
  return static_cast<int32_t>(result);
}

// Stores a copy of the value under `id`. The pixel ratio (id 100) must be a 64-bit float (type 19).
void BitmapSetProperty(void* bitmap, int32_t id, const TaggedValue* value) {
  Bitmap* target = Known(bitmap, "BitmapSetProperty");
  if (!target) return;
  if (!value) return Diagnose("BitmapSetProperty: no value");
  if (id == kBitmapPixelRatioProperty && value->type != kTaggedValueFloat64) {
    return Diagnose("BitmapSetProperty: the pixel ratio must be of type 19, not " +
                    std::to_string(value->type));
  }
  target->properties[id] = *value;
}

}  // namespace

void FillBitmapTable(TableImage& table) {
  using E = BitmapEntries;
  table.PutPlain<E::BitmapAlloc, &BitmapAlloc>();
  table.PutPlain<E::BitmapFree, &BitmapFree>();
  table.PutPlain<E::BitmapLoadFile, &BitmapLoadFile>();
  table.PutPlain<E::BitmapSetProperty, &BitmapSetProperty>();
}

}  // namespace fm::host
