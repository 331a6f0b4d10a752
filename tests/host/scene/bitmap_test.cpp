#include "host/scene/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "tests/host/scene/test_files.h"

namespace fm::host {
namespace {

TEST(LoadImageFile, DecodesASmallTiffWrittenHere) {
  testkit::ScratchDirectory dir;
  const std::vector<uint32_t> pixels = {0xff0000, 0x00ff00, 0x0000ff,  //
                                        0x102030, 0xffffff, 0x000000};
  const std::string file = dir.Write("icon.tif", testkit::TiffRgb(3, 2, pixels));
  Bitmap bitmap;
  std::string error;
  ASSERT_EQ(LoadImageFile(file, bitmap, error), ImageLoadResult::Loaded) << error;
  EXPECT_EQ(bitmap.width, 3);
  EXPECT_EQ(bitmap.height, 2);
  ASSERT_EQ(bitmap.rgba.size(), 3u * 2 * 4);
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < 3; ++x) {
      SCOPED_TRACE(testing::Message() << x << "," << y);
      EXPECT_EQ(bitmap.Pixel(x, y), (pixels[y * 3 + x] << 8) | 0xff);
    }
  }
  EXPECT_EQ(bitmap.Pixel(3, 0), 0u);
  EXPECT_EQ(bitmap.source, file);
}

TEST(LoadImageFile, FailuresLeaveTheBitmapAsItWas) {
  testkit::ScratchDirectory dir;
  const std::string good = testkit::TiffRgb(2, 2, {1, 2, 3, 4});
  struct Case {
    std::string name;
    std::optional<std::string> bytes;  // nullopt: no file at all
    ImageLoadResult result;
  };
  const Case cases[] = {
      {"missing.tif", std::nullopt, ImageLoadResult::NotExisting},
      {"png.tif", std::string("\x89PNG\r\n\x1a\n0000000000000000"), ImageLoadResult::WrongType},
      {"empty.tif", std::string(), ImageLoadResult::WrongType},
      {"truncated.tif", good.substr(0, 20), ImageLoadResult::WrongType},
      {"header-only.tif", std::string("II*\0\x08\0\0\0", 8), ImageLoadResult::WrongType},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = c.bytes ? dir.Write(c.name, *c.bytes) : dir.File(c.name);
    Bitmap bitmap;
    bitmap.width = 7;
    bitmap.rgba = {1, 2, 3, 4};
    std::string error;
    EXPECT_EQ(LoadImageFile(file, bitmap, error), c.result);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(bitmap.width, 7);
    EXPECT_EQ(bitmap.rgba, (std::vector<uint8_t>{1, 2, 3, 4}));
  }
}

TEST(Bitmap, PixelRatioIsTheFloatPropertyWithId100) {
  Bitmap bitmap;
  EXPECT_FALSE(bitmap.PixelRatio().has_value());
  TaggedValue value;
  value.type = kTaggedValueFloat64;
  const double ratio = 2.5;
  std::memcpy(&value.payload, &ratio, sizeof ratio);
  bitmap.properties[kBitmapPixelRatioProperty] = value;
  EXPECT_EQ(bitmap.PixelRatio(), 2.5);
  bitmap.properties[kBitmapPixelRatioProperty].type = 3;
  EXPECT_FALSE(bitmap.PixelRatio().has_value());
}

}  // namespace
}  // namespace fm::host
