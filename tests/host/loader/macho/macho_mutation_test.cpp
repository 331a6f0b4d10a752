// The Mach-O loader reads untrusted bytes: copies of real files with bytes changed or cut off
// must each be refused with one clear error, or map as a file that is sound in every part the
// loader reads — never crash it or make it read outside the file (the sanitizer build checks).
// Only the loader's own reading runs here: code and data bytes are not the loader's to judge, so
// nothing of a mutated file is executed.

#include <gtest/gtest.h>

#include <filesystem>
#include <cstring>
#include <iostream>
#include <random>

#include "host/loader/macho_image.h"
#include "macho_test_files.h"

namespace fm::host::macho {
namespace {

struct Outcome {
  int refused = 0;
  int accepted = 0;
};

void Try(const std::vector<uint8_t>& bytes, Outcome& outcome) {
  std::string error;
  std::unique_ptr<Image> image = Image::Prepare(bytes, &error);
  if (image) {
    ++outcome.accepted;
    return;
  }
  ++outcome.refused;
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(error.find('\n'), std::string::npos) << error;
}

// The parts of the file the loader interprets: the header and load commands, and the linker
// information at the end (rebase, bind and export data live there).
std::vector<std::pair<size_t, size_t>> StructuralRanges(const std::vector<uint8_t>& bytes) {
  uint32_t commandsSize;
  std::memcpy(&commandsSize, bytes.data() + 20, 4);
  const size_t linkedit = bytes.size() > 32768 ? bytes.size() - 32768 : bytes.size() / 2;
  return {{0, 32 + commandsSize}, {linkedit, bytes.size()}};
}

void Mutate(const std::string& path, int rounds) {
  const std::vector<uint8_t> original = testing::ReadBytes(path);
  ASSERT_GT(original.size(), 4096u) << path;
  {
    std::string error;
    ASSERT_NE(Image::Prepare(original, &error), nullptr) << error;
  }
  std::mt19937_64 random(20261208);
  const auto ranges = StructuralRanges(original);
  Outcome outcome;
  for (int round = 0; round < rounds; ++round) {
    std::vector<uint8_t> bytes = original;
    const auto& [begin, end] = ranges[round % ranges.size()];
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < changes; ++i) {
      const size_t at = begin + random() % (end - begin);
      switch (random() % 4) {
        case 0: bytes[at] = static_cast<uint8_t>(random()); break;
        case 1: bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8)); break;
        case 2: bytes[at] = 0xff; break;
        default: bytes[at] = 0; break;
      }
    }
    Try(bytes, outcome);
    if (::testing::Test::HasFailure()) {
      ADD_FAILURE() << "round " << round;
      return;
    }
  }
  // Cut off anywhere: the header, inside the load commands, inside each segment.
  for (size_t length = 0; length < original.size(); length += 1 + length / 8)
    Try(std::vector<uint8_t>(original.begin(), original.begin() + length), outcome);
  EXPECT_GT(outcome.refused, rounds / 4);
  std::cout << path << ": " << outcome.refused << " refused, " << outcome.accepted << " sound\n";
}

TEST(MachOMutation, FixtureCopiesAreRefusedOrSound) { Mutate(testing::MachOFixture("fixture"), 4000); }

TEST(MachOMutation, ModuleFileCopiesAreRefusedOrSound) {
  if (testing::MacModuleFile().empty() || !std::filesystem::exists(testing::MacModuleFile()))
    GTEST_SKIP() << "the build has no macOS module file";
  Mutate(testing::MacModuleFile(), 3000);
}

}  // namespace
}  // namespace fm::host::macho
