// Icons from the module's resource directory.

#include "iconbitmap.h"

#include "forwards.h"
#include "maxon/translationunit.h"
#include "resource.h"

FW_CINEMA_TRANSLATION_UNIT()

namespace fm {

namespace {

constexpr int32_t kDefaultFrame = -1;
constexpr int32_t kLoaded = 1;
constexpr int32_t kPixelRatioProperty = 100;

}  // namespace

void* LoadIconBitmap(String fileName, double pixelRatio) {
  void* bitmap = BitmapAlloc();
  if (bitmap == nullptr) return nullptr;

  PathWord directory;
  GetResourceDirectory(&directory);
  PathWord name;
  PathInit(&name);
  PathAssignString(&name, fileName);
  PathWord file;
  PathJoin(&file, &directory, &name);
  const int32_t loaded = BitmapLoadFile(bitmap, &file, kDefaultFrame, nullptr);
  PathFree(&file);
  PathFree(&name);
  PathFree(&directory);

  if (loaded != kLoaded) {
    BitmapFree(&bitmap);
    return nullptr;
  }
  TaggedValue ratio = {};
  ratio.type = kTaggedReal;
  ratio.real = pixelRatio;
  BitmapSetProperty(bitmap, kPixelRatioProperty, &ratio);
  ValueFree(&ratio);
  return bitmap;
}

}  // namespace fm
