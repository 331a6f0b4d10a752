// The record as a module finds it: the version, a table at each of the 34 positions, the used
// entries at the offsets the module calls, and a trap of its own in every other slot.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "host/tables/entry_calls.h"
#include "host/tables/trap.h"
#include "tests/host/tables/host_fixture.h"

namespace fm::host::testkit {
namespace {

constexpr uint32_t kTableSize = 0x400;
// stderr ends lines in CR LF on Windows.
#define LINE_END "\r?\n"

uint64_t Word(const uint8_t* at) {
  uint64_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

uint64_t TrapWord(uint32_t position, uint32_t offset) {
  return reinterpret_cast<uint64_t>(TrapFor(position, offset));
}

// The slot a used entry covers at `position`/`offset`, if any.
const Slot* UsedSlotAt(uint32_t position, uint32_t offset) {
  for (const Slot& slot : kAllSlots) {
    if (slot.table == position && offset >= slot.Offset() &&
        offset < slot.Offset() + slot.Width()) {
      return &slot;
    }
  }
  return nullptr;
}

TEST(HostTablesRecord, CarriesTheVersionAndATableAtEveryPosition) {
  Environment env(21007);
  ModuleView view(env.Tables());
  EXPECT_EQ(view.Version(), 21007);
  env.ApiVersion() = 20999;
  EXPECT_EQ(view.Version(), 20999);
  std::set<const uint8_t*> tables;
  for (uint32_t position = 0x08; position <= 0x110; position += 8) {
    SCOPED_TRACE(position);
    ASSERT_NE(view.Table(position), nullptr);
    tables.insert(view.Table(position));
  }
  EXPECT_EQ(tables.size(), 34u);
}

TEST(HostTablesRecord, UsedEntriesSitAtTheirOffsetsAndTrapsFillEverythingElse) {
  Environment env;
  ModuleView view(env.Tables());
  std::set<uint64_t> traps;
  for (uint32_t position = 0x08; position <= 0x110; position += 8) {
    for (uint32_t offset = 0; offset < kTableSize; offset += 8) {
      SCOPED_TRACE(TrapMessage(position, offset));
      const uint64_t word = Word(view.Table(position) + offset);
      const uint64_t trap = TrapWord(position, offset);
      EXPECT_TRUE(traps.insert(trap).second) << "traps must be distinct";
      const Slot* slot = UsedSlotAt(position, offset);
      if (!slot) {
        EXPECT_EQ(word, trap);
      } else if (offset == slot->Offset()) {
        EXPECT_NE(word, trap);
        EXPECT_NE(word, 0u);
        if (slot->member && kItanium) {
          EXPECT_EQ(word & 1, 0u) << "a non-virtual member entry";
        }
      } else {
        EXPECT_EQ(word, 0u) << "the adjustment of a member entry";
      }
    }
  }
  EXPECT_EQ(Word(view.Bytes(slots::EmptyString)), reinterpret_cast<uint64_t>(EmptyStringHolder()));
}

TEST(HostTablesRecord, EveryEnvironmentHandsOverTheSameTables) {
  Environment a;
  Environment b(30000);
  for (const UsedTable& used : kUsedTables) {
    const uint32_t position = used.position;
    EXPECT_EQ(ModuleView(a.Tables()).Table(position), ModuleView(b.Tables()).Table(position));
  }
  EXPECT_NE(a.Tables(), b.Tables());
  EXPECT_EQ(Environment::Current(), &b);
}

TEST(HostTablesRecord, EachCallIsCountedOnItsOwnEntry) {
  Environment env;
  ModuleView view(env.Tables());
  ResetEntryCalls();
  view.StatusReset();
  view.StatusReset();
  void* array = view.NodeArrayAlloc();
  EXPECT_EQ(view.NodeArrayCount(array), 0);  // a member entry
  view.NodeArrayFree(&array);
  view.PrintLine(EmptyString());  // an entry the boundary gives
  for (const Slot& slot : kAllSlots) {
    SCOPED_TRACE(slot.name);
    const std::string name = slot.name;
    const int64_t want = name == "StatusReset" ? 2
                         : name == "NodeArrayAlloc" || name == "NodeArrayCount" ||
                                 name == "NodeArrayFree" || name == "PrintLine"
                             ? 1
                             : 0;
    EXPECT_EQ(EntryCalls(slot), want);
  }
  ResetEntryCalls();
  EXPECT_EQ(EntryCalls(slots::StatusReset), 0);
}

TEST(HostTablesTrapDeathTest, AnUnusedEntryAbortsNamingTableAndOffset) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Environment env;
  ModuleView view(env.Tables());
  EXPECT_DEATH(view.Call<void>(Slot{0x08, 0x08, 0x08, false}),
               "host table trap: GeneralTable offset 0x8" LINE_END);
  EXPECT_DEATH(view.Call<void>(Slot{0x110, 0x100, 0x100, false}, nullptr),
               "host table trap: NodeTable offset 0x100" LINE_END);
  EXPECT_DEATH(view.Call<int32_t>(Slot{0x90, 0x3f8, 0x3f8, false}, nullptr, 1, 2),
               "host table trap: ObjectTable offset 0x3f8" LINE_END);
  // Called the way a member entry is called, the trap still fires.
  EXPECT_DEATH(view.CallMember<void>(Slot{0x98, 0x200, 0x200, true}, &env),
               "host table trap: DocumentTable offset 0x200" LINE_END);
}

TEST(HostTablesTrapDeathTest, ATableNoModuleReadsIsAllTraps) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Environment env;
  ModuleView view(env.Tables());
  EXPECT_DEATH(view.Call<void>(Slot{0x10, 0x00, 0x00, false}),
               "host table trap: HostTables\\+0x10 offset 0x0" LINE_END);
  EXPECT_DEATH(view.Call<void>(Slot{0x100, 0x58, 0x58, false}),
               "host table trap: HostTables\\+0x100 offset 0x58" LINE_END);
}

}  // namespace
}  // namespace fm::host::testkit
