#include "host/loader/command_record.h"

#include <gtest/gtest.h>

#include <cstring>

namespace fm::host {
namespace {

int g_released = 0;
void* g_releasedObject = nullptr;
void CountRelease(void* object) {
  ++g_released;
  g_releasedObject = object;
}

std::vector<uint8_t> Record(void* object, void (*release)(void*)) {
  std::vector<uint8_t> bytes(kRecordSize, 0);
  std::memcpy(bytes.data() + kRecordReleaseOffset, &release, sizeof release);
  std::memcpy(bytes.data() + kRecordObjectOffset, &object, sizeof object);
  return bytes;
}

TEST(CommandRecordTest, RecordsTheHostCannotCallAreRefused) {
  int object = 0;
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* reason;
  };
  std::vector<uint8_t> shortRecord = Record(&object, &CountRelease);
  shortRecord.pop_back();
  const Case cases[] = {
      {"short", shortRecord, "bytes instead of"},
      {"no object", Record(nullptr, &CountRelease), "no command object"},
      {"no release", Record(&object, nullptr), "no release entry"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    EXPECT_FALSE(CommandRecord::Make(c.bytes, &error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
}

TEST(CommandRecordTest, MissingEntriesAreNotCalledAndReleaseHappensOnce) {
  int object = 0;
  std::string error;
  std::optional<CommandRecord> record = CommandRecord::Make(Record(&object, &CountRelease), &error);
  ASSERT_TRUE(record) << error;
  EXPECT_EQ(record->Object(), &object);
  for (int slot = 1; slot <= 8; ++slot) EXPECT_FALSE(record->HasEntry(slot)) << slot;
  EXPECT_FALSE(record->Execute(nullptr));
  EXPECT_FALSE(record->State(nullptr));
  EXPECT_FALSE(record->BoolOperation(6, nullptr));
  EXPECT_FALSE(record->BoolOperation(4, nullptr));  // the state is not a bool operation
  EXPECT_FALSE(record->StringOperation(nullptr));

  g_released = 0;
  EXPECT_TRUE(record->Release());
  EXPECT_FALSE(record->Release());
  EXPECT_EQ(g_released, 1);
  EXPECT_EQ(g_releasedObject, &object);
}

TEST(CommandRecordTest, EntryOffsetsFollowTheLayout) {
  const uint32_t windows[] = {0x90, 0xc0, 0xd0, 0x98, 0xb8, 0xa0, 0xb0, 0xc8};
  const uint32_t itanium[] = {0x110, 0x170, 0x190, 0x120, 0x160, 0x130, 0x150, 0x180};
  for (int slot = 1; slot <= 8; ++slot)
    EXPECT_EQ(RecordEntryOffset(slot), (kItaniumRecord ? itanium : windows)[slot - 1]) << slot;
  EXPECT_EQ(RecordEntryOffset(0), 0u);
  EXPECT_EQ(RecordEntryOffset(9), 0u);
}

}  // namespace
}  // namespace fm::host
