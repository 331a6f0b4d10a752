#include "host/scene/bitmap.h"

#include <cstring>

#include "host/scene/file_io.h"

namespace fm::host {
namespace {

bool HasTiffSignature(const std::string& head) {
  return head.size() >= 4 &&
         (head.compare(0, 4, "II*\0", 4) == 0 || head.compare(0, 4, "MM\0*", 4) == 0 ||
          // BigTIFF
          head.compare(0, 4, "II+\0", 4) == 0 || head.compare(0, 4, "MM\0+", 4) == 0);
}

}  // namespace

std::optional<double> Bitmap::PixelRatio() const {
  const auto it = properties.find(kBitmapPixelRatioProperty);
  if (it == properties.end() || it->second.type != kTaggedValueFloat64) return std::nullopt;
  double ratio;
  std::memcpy(&ratio, &it->second.payload, sizeof ratio);
  return ratio;
}

uint32_t Bitmap::Pixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return 0;
  const uint8_t* p = rgba.data() + (static_cast<size_t>(y) * width + x) * 4;
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

ImageLoadResult LoadImageFile(const std::string& path, Bitmap& bitmap, std::string& error) {
  std::string head;
  if (!ReadFileBytes(path, head, 4)) {
    error = path.empty() ? "no file name given" : path + ": cannot be read";
    return ImageLoadResult::NotExisting;
  }
  // Both decoders would take other formats too; the host reads TIFF alone on every platform.
  if (!HasTiffSignature(head)) {
    error = path + ": not a TIFF image";
    return ImageLoadResult::WrongType;
  }
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgba;
  std::string why;
  if (!DecodeTiffFile(path, width, height, rgba, why)) {
    error = path + ": " + why;
    return ImageLoadResult::WrongType;
  }
  bitmap.width = width;
  bitmap.height = height;
  bitmap.rgba = std::move(rgba);
  bitmap.source = path;
  return ImageLoadResult::Loaded;
}

}  // namespace fm::host
