// The pieces of the Mach-O loader that read opcode streams and the export trie, on hand-made
// bytes: hostile streams are refused promptly (no endless loop, no slot outside a writable
// segment), and the forms the linker writes decode to the slots they name.

#include <gtest/gtest.h>

#include "host/loader/macho_exports.h"
#include "host/loader/macho_fixups.h"
#include "host/loader/macho_reader.h"

namespace fm::host::macho {
namespace {

// A file with a read-only text segment (0) and a 64-byte writable data segment (1); `stream`
// sits at offset 0 of the bytes and is given as the range named by `field`.
struct Fake {
  File file;
  std::vector<uint8_t> bytes;
};
Fake MakeFake(std::vector<uint8_t> stream, Range File::*field) {
  Fake fake;
  fake.file.segments.push_back(Segment{"__TEXT", 0, 4096, 0, 4096, kProtRead | kProtExecute, 0, {}});
  fake.file.segments.push_back(Segment{"__DATA", 4096, 64, 4096, 64, kProtRead | kProtWrite, 0, {}});
  fake.file.libraries = {"/usr/lib/libSystem.B.dylib"};
  fake.file.highestAddress = 4096 + 64;
  fake.file.*field = Range{0, stream.size()};
  fake.bytes = std::move(stream);
  return fake;
}

TEST(MachORecords, LebValuesAndTheirLimits) {
  struct Case {
    std::vector<uint8_t> bytes;
    bool ok;
    uint64_t value;
  };
  const Case unsignedCases[] = {
      {{0x00}, true, 0},
      {{0xe5, 0x8e, 0x26}, true, 624485},
      {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01}, true, ~uint64_t{0}},
      {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x02}, false, 0},  // 65 bits
      {{0x80, 0x80}, false, 0},                                                 // runs off the end
  };
  for (const Case& c : unsignedCases) {
    ByteReader in(c.bytes.data(), c.bytes.size());
    uint64_t value = 0;
    EXPECT_EQ(in.Uleb(&value), c.ok);
    if (c.ok) {
      EXPECT_EQ(value, c.value);
    }
  }
  const std::vector<uint8_t> minus = {0xc0, 0xbb, 0x78};  // -123456
  ByteReader in(minus.data(), minus.size());
  int64_t value = 0;
  ASSERT_TRUE(in.Sleb(&value));
  EXPECT_EQ(value, -123456);
  std::string text;
  const std::vector<uint8_t> unterminated = {'a', 'b'};
  ByteReader cut(unterminated.data(), unterminated.size());
  EXPECT_FALSE(cut.CString(&text));
}

TEST(MachORecords, RebaseStreamsDecodeToTheirSlots) {
  // Segment 1 at 8, three pointers, skip 8, one more with an added address.
  Fake fake = MakeFake({0x11, 0x21, 0x08, 0x53, 0x30, 0x08, 0x70, 0x00, 0x51, 0x00}, &File::rebase);
  std::vector<Rebase> rebases;
  std::string error;
  ASSERT_TRUE(DecodeRebases(fake.file, fake.bytes, &rebases, &error)) << error;
  std::vector<uint64_t> offsets;
  for (const Rebase& r : rebases) {
    EXPECT_EQ(r.segment, 1u);
    offsets.push_back(r.offset);
  }
  EXPECT_EQ(offsets, (std::vector<uint64_t>{8, 16, 24, 40, 48}));
}

TEST(MachORecords, HostileRebaseStreamsAreRefusedPromptly) {
  struct Case {
    const char* name;
    std::vector<uint8_t> stream;
    const char* error;
  };
  const Case cases[] = {
      {"a count far beyond the segment", {0x11, 0x21, 0x00, 0x60, 0xff, 0xff, 0xff, 0xff, 0x0f}, "beyond the end"},
      {"a skip that wraps around to the same slot",
       {0x11, 0x21, 0x00, 0x80, 0xff, 0xff, 0xff, 0xff, 0x0f,
        0xf8, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01},
       "skips beyond its segment"},
      {"a slot in the code segment", {0x11, 0x20, 0x00, 0x51}, "not writable"},
      {"a segment the file lacks", {0x11, 0x27, 0x00, 0x51}, "segment 7"},
      {"a slot before any segment", {0x11, 0x51}, "before it names a segment"},
      {"a text relocation kind", {0x12, 0x21, 0x00, 0x51}, "rebase kind 2"},
      {"an unknown opcode", {0x11, 0x21, 0x00, 0x90}, "opcode 0x90"},
      {"a cut ULEB", {0x11, 0x21, 0x80}, "runs off its end"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fake fake = MakeFake(c.stream, &File::rebase);
    std::vector<Rebase> rebases;
    std::string error;
    EXPECT_FALSE(DecodeRebases(fake.file, fake.bytes, &rebases, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

TEST(MachORecords, BindStreamsCarryOrdinalSymbolAddendAndWeakness) {
  // ordinal 1, "_malloc", addend 16, segment 1 offset 0, bind; weak-import "_w", bind.
  std::vector<uint8_t> stream = {0x11, 0x40, '_', 'm', 'a', 'l', 'l', 'o', 'c', 0, 0x51, 0x60, 0x10, 0x71, 0x00, 0x90,
                                 0x41, '_', 'w', 0, 0x90, 0x00};
  Fake fake = MakeFake(stream, &File::bind);
  std::vector<Bind> binds;
  std::string error;
  ASSERT_TRUE(DecodeBinds(fake.file, fake.bytes, BindStream::kRegular, &binds, &error)) << error;
  ASSERT_EQ(binds.size(), 2u);
  EXPECT_EQ(binds[0].symbol, "_malloc");
  EXPECT_EQ(binds[0].ordinal, 1);
  EXPECT_EQ(binds[0].addend, 16);
  EXPECT_FALSE(binds[0].weakImport);
  EXPECT_EQ(binds[1].offset, 8u);
  EXPECT_TRUE(binds[1].weakImport);

  // Lazy entries each end with DONE and the stream goes on after it.
  Fake lazy = MakeFake({0x71, 0x00, 0x11, 0x40, '_', 'a', 0, 0x90, 0x00, 0x71, 0x08, 0x11, 0x40, '_', 'b', 0, 0x90, 0x00},
                       &File::lazyBind);
  ASSERT_TRUE(DecodeBinds(lazy.file, lazy.bytes, BindStream::kLazy, &binds, &error)) << error;
  ASSERT_EQ(binds.size(), 2u);
  EXPECT_EQ(binds[1].symbol, "_b");

  const struct {
    const char* name;
    std::vector<uint8_t> stream;
    const char* error;
  } refused[] = {
      {"a library the file does not import", {0x12, 0x40, '_', 'x', 0, 0x71, 0x00, 0x90}, "names library 2"},
      {"a slot before a symbol", {0x11, 0x71, 0x00, 0x90}, "before it names a symbol"},
      {"threaded binds", {0xd0}, "threaded"},
      {"a symbol name without its end", {0x11, 0x40, '_', 'x'}, "inside a symbol name"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    Fake bad = MakeFake(c.stream, &File::bind);
    EXPECT_FALSE(DecodeBinds(bad.file, bad.bytes, BindStream::kRegular, &binds, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

TEST(MachORecords, TheExportTrieGivesEachNameItsOffsetAndRefusesLoopsAndForeignKinds) {
  // Root (0): one child "_" -> 5. Node 5: children "a" -> 13 and "b" -> `bTarget`.
  // Node 13: terminal, flags 0, offset 0x1010. Node 18: terminal, `bFlags`, offset 0x20.
  auto trie = [](uint8_t bFlags, uint8_t bTarget) {
    return std::vector<uint8_t>{0x00, 0x01, '_', 0x00, 0x05,
                                0x00, 0x02, 'a', 0x00, 13, 'b', 0x00, bTarget,
                                0x03, 0x00, 0x90, 0x20, 0x00,
                                0x02, bFlags, 0x20, 0x00};
  };
  const std::vector<uint8_t> good = trie(0x00, 18);
  Fake fake = MakeFake(good, &File::exports);
  std::map<std::string, Export> exports;
  std::string error;
  ASSERT_TRUE(ReadExports(fake.file, fake.bytes, &exports, &error)) << error;
  ASSERT_EQ(exports.size(), 2u);
  EXPECT_EQ(exports["_a"].offset, 0x1010u);
  EXPECT_EQ(exports["_b"].offset, 0x20u);

  const struct {
    const char* name;
    uint8_t flags;
    uint8_t target;
    const char* error;
  } refused[] = {
      {"a child that leads back to its parent", 0x00, 5, "reaches one node twice"},
      {"a child outside the trie", 0x00, 99, "outside itself"},
      {"a re-exported symbol", 0x08, 18, "re-exports _b"},
      {"a resolver", 0x10, 18, "through a resolver"},
      {"a thread-local symbol", 0x01, 18, "thread-local _b"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    Fake bad = MakeFake(trie(c.flags, c.target), &File::exports);
    EXPECT_FALSE(ReadExports(bad.file, bad.bytes, &exports, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  // An offset beyond the image.
  std::vector<uint8_t> far = good;
  far[15] = 0xff;
  far[16] = 0x7f;
  Fake outside = MakeFake(far, &File::exports);
  EXPECT_FALSE(ReadExports(outside.file, outside.bytes, &exports, &error));
  EXPECT_NE(error.find("places _a outside the image"), std::string::npos) << error;

  // Inside the image's span but in no readable segment: a gap between segments, pages mapped
  // without access. The host would fault calling or reading such a symbol.
  Fake gap = MakeFake(good, &File::exports);
  gap.file.segments[1].address = 8192;
  gap.file.highestAddress = 8192 + 64;
  EXPECT_FALSE(ReadExports(gap.file, gap.bytes, &exports, &error));
  EXPECT_NE(error.find("places _a outside the image's readable segments"), std::string::npos) << error;
  Fake noAccess = MakeFake(good, &File::exports);
  noAccess.file.segments[1].protection = 0;
  EXPECT_FALSE(ReadExports(noAccess.file, noAccess.bytes, &exports, &error));
  EXPECT_NE(error.find("places _a outside"), std::string::npos) << error;
}

TEST(MachORecords, NamesFromTheFileAreShortenedInErrors) {
  const std::string longName = "_" + std::string(5000, 'x');
  // A bind naming a library the file does not import.
  std::vector<uint8_t> bind = {0x12, 0x40};
  bind.insert(bind.end(), longName.begin(), longName.end());
  bind.insert(bind.end(), {0, 0x71, 0x00, 0x90});
  Fake fake = MakeFake(bind, &File::bind);
  std::vector<Bind> binds;
  std::string error;
  ASSERT_FALSE(DecodeBinds(fake.file, fake.bytes, BindStream::kRegular, &binds, &error));
  EXPECT_NE(error.find("_xxx"), std::string::npos) << error;
  EXPECT_LT(error.size(), 300u);
  // A thread-local export with a long name (below the longest a trie may spell), spelled over
  // two edges of the trie.
  const std::string exported = longName.substr(0, 3000);
  std::vector<uint8_t> trie = {0x00, 0x01};
  trie.insert(trie.end(), exported.begin(), exported.begin() + 1500);
  trie.push_back(0);
  const size_t childAt = trie.size();
  trie.insert(trie.end(), {0x00, 0x00});  // child offset, two-byte ULEB filled in below
  const size_t second = trie.size();
  trie.insert(trie.end(), {0x00, 0x01});
  trie.insert(trie.end(), exported.begin() + 1500, exported.end());
  trie.push_back(0);
  const size_t leafAt = trie.size() + 2;
  trie.push_back(static_cast<uint8_t>(0x80 | (leafAt & 0x7f)));
  trie.push_back(static_cast<uint8_t>(leafAt >> 7));
  trie.insert(trie.end(), {0x02, 0x01, 0x00, 0x00});
  trie[childAt] = static_cast<uint8_t>(0x80 | (second & 0x7f));
  trie[childAt + 1] = static_cast<uint8_t>(second >> 7);
  Fake exports = MakeFake(trie, &File::exports);
  std::map<std::string, Export> found;
  ASSERT_FALSE(ReadExports(exports.file, exports.bytes, &found, &error));
  EXPECT_NE(error.find("thread-local _xxx"), std::string::npos) << error;
  EXPECT_LT(error.size(), 300u);
}

}  // namespace
}  // namespace fm::host::macho
