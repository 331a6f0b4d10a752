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

// Writes that pass from one of the rule's chunks into the next have the next ones made ahead, on
// other threads; whatever the timing, and however the array is copied, moved, cut or grown on the
// way, it holds what a plain list does.
TEST(SharedChunks, ChunksMadeAheadHoldTheRulesRecords) {
  const size_t n = 6 * kChunk + 10;  // seven chunks, the last one short
  for (int pattern = 0; pattern < 6; ++pattern) {
    SCOPED_TRACE("pattern " + std::to_string(pattern));
    Chunks chunks = Generated(n);
    std::vector<uint32_t> plain = NumberedList(n);
    Chunks copy;  // taken on the way, as an undo record is
    std::vector<uint32_t> copied;
    const auto Write = [&](size_t i) {
      chunks.Writable(i) = 0;
      plain[i] = 0;
    };
    switch (pattern) {
      case 0:  // every other record, front to back, copied after two chunks
        for (size_t i = 0; i < n; i += 2) {
          if (i == 2 * kChunk) {
            copy = chunks;
            copied = plain;
          }
          Write(i);
        }
        break;
      case 1:  // back to front: nothing ahead is the rule's
        for (size_t i = n; i-- > 0;) Write(i);
        break;
      case 2:  // cut while a chunk is made ahead, then grown again and written on
        for (size_t i = 0; i < 3 * kChunk + 7; i += 3) Write(i);
        chunks.resize(3 * kChunk + 2, 0);
        plain.resize(3 * kChunk + 2);
        chunks.resize(n, 5);
        plain.resize(n, 5);
        for (size_t i = 3 * kChunk; i < n; i += 5) Write(i);
        break;
      case 3: {  // moved, and copied over, while chunks are made ahead
        for (size_t i = 0; i < kChunk + 1; ++i) Write(i);
        Chunks moved = std::move(chunks);
        chunks = Generated(n);
        chunks = moved;
        for (size_t i = kChunk + 1; i < 4 * kChunk; i += 7) Write(i);
        break;
      }
      case 4:  // one record in each chunk, then appended to past the last one
        for (size_t i = 0; i < n; i += kChunk) Write(i + 1);
        for (int k = 0; k < 3; ++k) {
          chunks.push_back(77);
          plain.push_back(77);
        }
        break;
      case 5:  // every other chunk, then the ones between: chunks made ahead and not taken
        for (size_t c = 0; c < 7; c += 2) Write(c * kChunk + 3);
        for (size_t c = 1; c < 7; c += 2) Write(c * kChunk + 5);
        break;
    }
    EXPECT_TRUE(Contents(chunks) == plain);
    if (!copied.empty()) {
      EXPECT_TRUE(Contents(copy) == copied);
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
