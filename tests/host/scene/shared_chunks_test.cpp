#include "host/scene/shared_chunks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fm::host {
namespace {

using Chunks = SharedChunks<uint32_t>;
constexpr size_t kChunk = Chunks::kChunkSize;

Chunks Numbered(size_t n) {
  Chunks chunks;
  chunks.reserve(n);
  for (size_t i = 0; i < n; ++i) chunks.push_back(static_cast<uint32_t>(i + 1));
  return chunks;
}

// The same records, given by a rule.
Chunks Generated(size_t n) {
  Chunks chunks;
  const auto rule = [](size_t first, size_t count, uint32_t* out) {
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint32_t>(first + i + 1);
  };
  chunks.Generate(n, std::make_shared<const Chunks::Rule>(rule));
  return chunks;
}

std::vector<uint32_t> Contents(const Chunks& chunks) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < chunks.size(); ++i) out.push_back(chunks[i]);
  return out;
}

std::vector<uint32_t> NumberedList(size_t n) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < n; ++i) out.push_back(static_cast<uint32_t>(i + 1));
  return out;
}

// What each change does to a plain list, so that both can be compared.
struct Change {
  const char* what;
  std::function<void(Chunks&)> apply;
  std::function<void(std::vector<uint32_t>&)> expect;
};

TEST(SharedChunks, ACopyKeepsItsRecordsWhicheverSideChangesAndHowever) {
  const size_t n = 2 * kChunk + 10;  // three chunks, the last one short
  const Change changes[] = {
      {"a write in the first chunk", [](Chunks& c) { c.Writable(3) = 0; },
       [](std::vector<uint32_t>& v) { v[3] = 0; }},
      {"a write in the last chunk", [&](Chunks& c) { c.Writable(n - 1) = 7; },
       [&](std::vector<uint32_t>& v) { v[n - 1] = 7; }},
      {"cut inside a chunk", [&](Chunks& c) { c.resize(kChunk + 5, 0); },
       [&](std::vector<uint32_t>& v) { v.resize(kChunk + 5); }},
      {"cut on a chunk boundary", [&](Chunks& c) { c.resize(kChunk, 0); },
       [&](std::vector<uint32_t>& v) { v.resize(kChunk); }},
      {"cut, then appended to", [&](Chunks& c) { c.resize(kChunk + 5, 0); c.push_back(99); },
       [&](std::vector<uint32_t>& v) { v.resize(kChunk + 5); v.push_back(99); }},
      {"grown into a new chunk", [&](Chunks& c) { c.resize(3 * kChunk + 1, 5); },
       [&](std::vector<uint32_t>& v) { v.resize(3 * kChunk + 1, 5); }},
      {"appended to", [](Chunks& c) { c.push_back(42); },
       [](std::vector<uint32_t>& v) { v.push_back(42); }},
      {"emptied", [](Chunks& c) { c.clear(); }, [](std::vector<uint32_t>& v) { v.clear(); }},
  };
  for (const Change& change : changes) {
    for (int variant = 0; variant < 4; ++variant) {
      const bool changeCopy = variant & 1, generated = variant & 2;
      SCOPED_TRACE(std::string(change.what) + (changeCopy ? " of the copy" : " of the original") +
                   (generated ? ", records given by a rule" : ""));
      Chunks original = generated ? Generated(n) : Numbered(n);
      Chunks copy = original;
      change.apply(changeCopy ? copy : original);
      std::vector<uint32_t> changed = NumberedList(n);
      change.expect(changed);
      EXPECT_EQ(Contents(changeCopy ? copy : original), changed);
      EXPECT_EQ(Contents(changeCopy ? original : copy), NumberedList(n));
    }
  }
}

TEST(SharedChunks, GrowsAndShrinksLikeAPlainList) {
  Chunks chunks;
  EXPECT_TRUE(chunks.empty());
  chunks.resize(kChunk - 1, 8);  // the fill completes the first chunk and starts the next
  chunks.resize(kChunk + 2, 9);
  ASSERT_EQ(chunks.size(), kChunk + 2);
  EXPECT_EQ(chunks[kChunk - 2], 8u);
  EXPECT_EQ(chunks[kChunk - 1], 9u);
  EXPECT_EQ(chunks[kChunk + 1], 9u);
  chunks.resize(1, 0);
  chunks.push_back(4);
  EXPECT_EQ(Contents(chunks), (std::vector<uint32_t>{8, 4}));
  chunks.resize(0, 0);
  EXPECT_TRUE(chunks.empty());
  chunks.push_back(1);
  EXPECT_EQ(Contents(chunks), (std::vector<uint32_t>{1}));
}

}  // namespace
}  // namespace fm::host
