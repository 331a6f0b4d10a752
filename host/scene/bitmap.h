#pragma once
// Host bitmaps: 8-bit RGBA pixels (alpha premultiplied, as both decoders deliver it), rows top
// to bottom, and a set of typed properties (id 100 of type 19 is the pixel ratio). Images are read
// from TIFF files.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/scene/records.h"

namespace fm::host {

inline constexpr int32_t kBitmapPixelRatioProperty = 100;

struct Bitmap {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4 bytes
  std::map<int32_t, TaggedValue> properties;
  std::string source;  // the file it was loaded from

  // The pixel-ratio property, when set with type 19.
  std::optional<double> PixelRatio() const;
  // 0xRRGGBBAA of one pixel; 0 outside the image.
  uint32_t Pixel(int32_t x, int32_t y) const;
};

// Results of a file load, as the bitmap table answers them.
enum class ImageLoadResult : int32_t {
  Failed = 0,  // the host failed (fault switch)
  Loaded = 1,
  NotExisting = -1,  // no readable file at the path
  WrongType = 2,     // not a TIFF image, or one that cannot be decoded
};

// Replaces `bitmap`'s pixels with the first image of the TIFF file at `path`. On any failure the
// bitmap stays as it was and `error` says why.
ImageLoadResult LoadImageFile(const std::string& path, Bitmap& bitmap, std::string& error);

// The platform decoder behind LoadImageFile (libtiff on POSIX, the Windows Imaging Component on
// Windows): the first frame of the file as RGBA rows, top row first.
bool DecodeTiffFile(const std::string& path, int32_t& width, int32_t& height,
                    std::vector<uint8_t>& rgba, std::string& error);

}  // namespace fm::host
