// The POSIX image decoder: libtiff reads any TIFF layout into RGBA.
#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <memory>

#include "host/scene/bitmap.h"

namespace fm::host {
namespace {

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// libtiff reports through process-wide handlers; a decoder thread keeps the last message here.
thread_local std::string t_lastTiffMessage;

void KeepMessage(thandle_t, const char* module, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  t_lastTiffMessage = std::string(module ? module : "libtiff") + ": " + text;
}

}  // namespace

bool DecodeTiffFile(const std::string& path, int32_t& width, int32_t& height,
                    std::vector<uint8_t>& rgba, std::string& error) {
  // libtiff would otherwise print to stderr for every damaged file.
  static const bool quiet = [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandlerExt(&KeepMessage);
    TIFFSetWarningHandlerExt(nullptr);
    return true;
  }();
  (void)quiet;
  t_lastTiffMessage.clear();

  std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(path.c_str(), "r"));
  if (!tiff) {
    error = t_lastTiffMessage.empty() ? "cannot be opened as TIFF" : t_lastTiffMessage;
    return false;
  }
  uint32_t w = 0;
  uint32_t h = 0;
  TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &h);
  constexpr uint32_t kMaxSide = 1u << 15;
  if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide) {
    error = "image size " + std::to_string(w) + " x " + std::to_string(h) + " not supported";
    return false;
  }
  std::vector<uint32_t> raster(static_cast<size_t>(w) * h);
  if (!TIFFReadRGBAImageOriented(tiff.get(), w, h, raster.data(), ORIENTATION_TOPLEFT, 0)) {
    error = t_lastTiffMessage.empty() ? "image data cannot be decoded" : t_lastTiffMessage;
    return false;
  }
  rgba.resize(raster.size() * 4);
  for (size_t i = 0; i < raster.size(); ++i) {
    rgba[i * 4 + 0] = static_cast<uint8_t>(TIFFGetR(raster[i]));
    rgba[i * 4 + 1] = static_cast<uint8_t>(TIFFGetG(raster[i]));
    rgba[i * 4 + 2] = static_cast<uint8_t>(TIFFGetB(raster[i]));
    rgba[i * 4 + 3] = static_cast<uint8_t>(TIFFGetA(raster[i]));
  }
  width = static_cast<int32_t>(w);
  height = static_cast<int32_t>(h);
  return true;
}

}  // namespace fm::host
