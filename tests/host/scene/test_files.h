#pragma once
// Files the host tests make for themselves: a scratch directory removed afterwards, and small
// baseline TIFF images written byte by byte (no image library involved, so the decoders are
// checked against an independent encoder).

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fm::host::testkit {

class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = base / ("fm-host-test-" + std::to_string(random()));
      if (std::filesystem::create_directory(path_)) return;
    }
    path_.clear();
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string Text() const { return path_.string(); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

  // Writes `bytes` to `name` below the directory (creating sub-directories) and gives its path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    const auto file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
    return file.string();
  }

 private:
  std::filesystem::path path_;
};

// An uncompressed 8-bit RGB TIFF of `width` x `height`, pixels row by row from the top, each
// 0xRRGGBB.
inline std::string TiffRgb(uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels) {
  std::string out;
  auto u16 = [&out](uint32_t v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>((v >> 8) & 0xff));
  };
  auto u32 = [&](uint32_t v) {
    u16(v & 0xffff);
    u16(v >> 16);
  };
  const uint32_t dataBytes = width * height * 3;
  const uint32_t dataOffset = 8;
  uint32_t ifdOffset = dataOffset + dataBytes;
  ifdOffset += ifdOffset & 1;
  const uint16_t entries = 13;
  const uint32_t extraOffset = ifdOffset + 2 + entries * 12 + 4;  // bits, then two rationals
  out += "II";
  u16(42);
  u32(ifdOffset);
  for (uint32_t pixel : pixels) {
    out.push_back(static_cast<char>((pixel >> 16) & 0xff));
    out.push_back(static_cast<char>((pixel >> 8) & 0xff));
    out.push_back(static_cast<char>(pixel & 0xff));
  }
  out.resize(ifdOffset, '\0');
  u16(entries);
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    u16(tag);
    u16(type);
    u32(count);
    u32(value);
  };
  constexpr uint16_t kShort = 3, kLong = 4, kRational = 5;
  entry(256, kLong, 1, width);
  entry(257, kLong, 1, height);
  entry(258, kShort, 3, extraOffset);
  entry(259, kShort, 1, 1);  // no compression
  entry(262, kShort, 1, 2);  // RGB
  entry(273, kLong, 1, dataOffset);
  entry(274, kShort, 1, 1);  // top-left origin
  entry(277, kShort, 1, 3);
  entry(278, kLong, 1, height);
  entry(279, kLong, 1, dataBytes);
  entry(282, kRational, 1, extraOffset + 6);
  entry(283, kRational, 1, extraOffset + 14);
  entry(284, kShort, 1, 1);  // chunky
  u32(0);                    // no further image
  u16(8), u16(8), u16(8);
  u32(72), u32(1), u32(72), u32(1);
  return out;
}

}  // namespace fm::host::testkit
