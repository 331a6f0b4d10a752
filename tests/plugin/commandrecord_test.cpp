// The command's registration record byte for byte, its entries called the way the host calls
// them, and the defaults of the command class.

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "commanddata.h"
#include "commandrecord.h"
#include "facetmender.h"
#include "hosttables.h"

namespace fm {
namespace {

// Records which operation ran with which arguments.
class RecordingCommand : public CommandData {
 public:
  std::vector<std::string> calls;
  void* a = nullptr;
  void* b = nullptr;

  bool Note(const char* what, void* x, void* y, bool answer) {
    calls.push_back(what);
    a = x;
    b = y;
    return answer;
  }
  bool Execute(void* x, void* y) override { return Note("execute", x, y, true); }
  bool Operation2(void* x, void* y) override { return Note("2", x, y, true); }
  bool Operation3(void* x, void* y) override { return Note("3", x, y, true); }
  int32_t GetState(void* x, void* y) override { return Note("state", x, y, true) ? 77 : 0; }
  bool Operation5(void* x, void* y) override { return Note("5", x, y, true); }
  bool Operation6(void* x, void* y) override { return Note("6", x, y, false); }
  // A string that is never released: the caller below reads it with a class of its own.
  StringValue Operation7(void* x, void* y) override {
    Note("7", x, y, true);
    return StringValue(reinterpret_cast<String>(this));
  }
  bool Operation8(void* x, void* y) override { return Note("8", x, y, false); }
};

// Only the execute operation of its own: every other answer is CommandData's.
class MinimalCommand : public CommandData {
 public:
  bool Execute(void*, void*) override { return true; }
};

struct Field {
  const char* name;
  size_t offset;
  size_t width;
};

#ifdef _WIN32
constexpr size_t kEntryWidth = 8;
const Field kFields[] = {
    {"release", 0x08, 8}, {"object", 0x40, 8},     {"help", 0x80, 8},        {"icon", 0x88, 8},
    {"execute", 0x90, 8}, {"state", 0x98, 8},      {"operation 6", 0xa0, 8}, {"operation 7", 0xb0, 8},
    {"operation 5", 0xb8, 8}, {"operation 2", 0xc0, 8}, {"operation 8", 0xc8, 8}, {"operation 3", 0xd0, 8},
};
constexpr size_t kNoneEntry = 0xa8;
#else
constexpr size_t kEntryWidth = 16;
const Field kFields[] = {
    {"release", 0x08, 8},      {"object", 0x80, 8},       {"help", 0x100, 8},        {"icon", 0x108, 8},
    {"execute", 0x110, 16},    {"state", 0x120, 16},      {"operation 6", 0x130, 16}, {"operation 7", 0x150, 16},
    {"operation 5", 0x160, 16}, {"operation 2", 0x170, 16}, {"operation 8", 0x180, 16}, {"operation 3", 0x190, 16},
};
constexpr size_t kNoneEntry = 0x140;
#endif

int64_t Word(const unsigned char* bytes, size_t offset) {
  int64_t w;
  std::memcpy(&w, bytes + offset, sizeof(w));
  return w;
}

TEST(CommandRegistrationRecord, OnlyTheListedFieldsAreSet) {
  RecordingCommand command;
  int icon = 0;
  String helpText = reinterpret_cast<String>(&icon + 1);
  const String* help = &helpText;  // the record points at the caller's holder
  CommandRegistrationRecord record;
  std::memset(static_cast<void*>(&record), 0xa5, sizeof(record));  // a dirty frame
  FillCommandRecord(&record, &command, help, &icon);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);

  std::vector<bool> listed(sizeof(record), false);
  for (const Field& f : kFields) {
    for (size_t i = 0; i < f.width; ++i) listed[f.offset + i] = true;
  }
  for (size_t i = 0; i < sizeof(record); ++i) {
    if (!listed[i]) {
      ASSERT_EQ(0, bytes[i]) << "byte " << i << " must be zero";
    }
  }
  for (size_t i = 0; i < kEntryWidth; ++i) EXPECT_EQ(0, bytes[kNoneEntry + i]);

  EXPECT_EQ(0, Word(bytes, 0) & 0xffffffff) << "info flags";
  EXPECT_EQ(reinterpret_cast<int64_t>(&ReleaseCommandObject), Word(bytes, 0x08));
  EXPECT_EQ(reinterpret_cast<int64_t>(static_cast<CommandData*>(&command)), Word(bytes, kFields[1].offset));
  EXPECT_EQ(reinterpret_cast<int64_t>(help), Word(bytes, kFields[2].offset));
  EXPECT_EQ(reinterpret_cast<int64_t>(&icon), Word(bytes, kFields[3].offset));
  for (size_t k = 4; k < std::size(kFields); ++k) {
    SCOPED_TRACE(kFields[k].name);
    EXPECT_NE(0, Word(bytes, kFields[k].offset)) << "every operation entry is set";
  }
}

TEST(CommandRegistrationRecord, ANullIconStaysZero) {
  MinimalCommand command;
  CommandRegistrationRecord record;
  FillCommandRecord(&record, &command, nullptr, nullptr);
  EXPECT_EQ(nullptr, record.icon);
  EXPECT_EQ(nullptr, record.help);
}

#ifndef _WIN32
TEST(CommandRegistrationRecord, ItaniumEntriesAreVirtualMemberReferences) {
  RecordingCommand command;
  CommandRegistrationRecord record;
  FillCommandRecord(&record, &command, nullptr, nullptr);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  const int64_t expected[] = {17, 41, 57, 65, 49, 25, 73, 33};
  for (size_t k = 0; k < std::size(expected); ++k) {
    SCOPED_TRACE(kFields[4 + k].name);
    EXPECT_EQ(expected[k], Word(bytes, kFields[4 + k].offset));
    EXPECT_EQ(0, Word(bytes, kFields[4 + k].offset + 8)) << "adjustment";
  }
  EXPECT_EQ(0, Word(bytes, 0x10)) << "the release entry is followed by a zero word";
}

// The words the compiler gives a pointer to each virtual operation of the command class: the
// record's constants must be exactly these.
template <typename M>
int64_t FunctionWord(M member) {
  static_assert(sizeof(M) == 16);
  int64_t words[2];
  std::memcpy(words, &member, sizeof(words));
  EXPECT_EQ(0, words[1]) << "no this-adjustment";
  return words[0];
}

TEST(CommandRegistrationRecord, ConstantsMatchTheCompilersVirtualTable) {
  EXPECT_EQ(17, FunctionWord(&VadovEzedoduvedivo::Execute));
  EXPECT_EQ(25, FunctionWord(&VadovEzedoduvedivo::Operation2));
  EXPECT_EQ(33, FunctionWord(&VadovEzedoduvedivo::Operation3));
  EXPECT_EQ(41, FunctionWord(&VadovEzedoduvedivo::GetState));
  EXPECT_EQ(49, FunctionWord(&VadovEzedoduvedivo::Operation5));
  EXPECT_EQ(57, FunctionWord(&VadovEzedoduvedivo::Operation6));
  EXPECT_EQ(65, FunctionWord(&VadovEzedoduvedivo::Operation7));
  EXPECT_EQ(73, FunctionWord(&VadovEzedoduvedivo::Operation8));
  for (int slot = 1; slot <= 8; ++slot) EXPECT_EQ(1 + 8 * (slot + 1), kSlotEntryWord[slot]);
}
#endif

// How the host receives operation 7's string: a class of its own, one word with a destructor, so
// its compiler passes a hidden result slot (Itanium: ahead of the object; Windows: ahead of the
// plain entry's arguments) and reads the result from there.
struct HostString7 {
  String string;
  ~HostString7() {}
};

// Calls entry `offset` of a filled record the way the host does.
template <typename R>
R CallEntry(const CommandRegistrationRecord& record, size_t offset, void* a, void* b) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  void* object = record.object;
#ifdef _WIN32
  R (*entry)(void*, void*, void*);
  std::memcpy(&entry, bytes + offset, sizeof(entry));
  return entry(object, a, b);
#else
  R (CommandData::*entry)(void*, void*);
  std::memcpy(static_cast<void*>(&entry), bytes + offset, sizeof(entry));
  return (static_cast<CommandData*>(object)->*entry)(a, b);
#endif
}

// Operation 7 as the host calls it. Windows: a member returning a class under Microsoft's
// convention, the object first, the result slot second, the slot given back.
String CallOperation7(const CommandRegistrationRecord& record, size_t offset, void* a, void* b) {
#ifdef _WIN32
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  String* (*entry)(void*, String*, void*, void*);
  std::memcpy(&entry, bytes + offset, sizeof(entry));
  String slot = reinterpret_cast<String>(0x5a5a);  // raw storage: whatever was there before
  EXPECT_EQ(&slot, entry(record.object, &slot, a, b)) << "the slot comes back";
  return slot;
#else
  return CallEntry<HostString7>(record, offset, a, b).string;
#endif
}

TEST(CommandRegistrationRecord, EachEntryReachesItsOperation) {
  RecordingCommand command;
  CommandRegistrationRecord record;
  FillCommandRecord(&record, &command, nullptr, nullptr);
  int document = 0, window = 0;
  struct Case {
    size_t field;
    const char* operation;
  };
  const Case cases[] = {{4, "execute"}, {5, "state"}, {6, "6"}, {7, "7"},
                        {8, "5"},       {9, "2"},     {10, "8"}, {11, "3"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(kFields[c.field].name);
    command.calls.clear();
    const size_t offset = kFields[c.field].offset;
    if (std::string(c.operation) == "state") {
      EXPECT_EQ(77, CallEntry<int32_t>(record, offset, &document, &window));
    } else if (std::string(c.operation) == "7") {
      EXPECT_EQ(reinterpret_cast<String>(&command),
                CallOperation7(record, offset, &document, &window));
    } else {
      const bool expected = std::string(c.operation) != "6" && std::string(c.operation) != "8";
      EXPECT_EQ(expected, CallEntry<bool>(record, offset, &document, &window));
    }
    EXPECT_EQ(std::vector<std::string>{c.operation}, command.calls);
    EXPECT_EQ(&document, command.a);
    EXPECT_EQ(&window, command.b);
  }
}

TEST(CommandData, DefaultAnswers) {
  MinimalCommand command;
  int x = 0;
  for (void* arg : {static_cast<void*>(nullptr), static_cast<void*>(&x)}) {
    EXPECT_FALSE(command.Operation2(arg, arg));
    EXPECT_FALSE(command.Operation3(arg, arg));
    EXPECT_EQ(0x40000000, command.GetState(arg, arg)) << "always enabled";
    EXPECT_FALSE(command.Operation5(arg, arg));
    EXPECT_TRUE(command.Operation6(arg, arg));
    EXPECT_TRUE(command.Operation8(arg, arg));
  }
}

TEST(CommandData, Operation7GivesTheSharedEmptyStringWithAReference) {
  struct {
    std::atomic<int64_t> word{1 << 20};
    char object[8] = {};
  } empty;
  StringTable strings{};
  const String emptyHolder = reinterpret_cast<String>(empty.object);
  strings.empty = &emptyHolder;
  HostTables tables{};
  tables.version = 21000;
  tables.string = &strings;
  const HostTables* saved = g_hostTables;
  g_hostTables = &tables;

  MinimalCommand command;
  {
    StringValue text = command.Operation7(nullptr, nullptr);
    EXPECT_EQ(emptyHolder, text.Get());
    EXPECT_EQ((1 << 20) + 16, empty.word.load()) << "one reference for the receiver";
  }
  EXPECT_EQ(1 << 20, empty.word.load()) << "which the receiver drops";

  // Through the record, as the host calls it.
  CommandRegistrationRecord record;
  FillCommandRecord(&record, &command, nullptr, nullptr);
  const size_t offset = kFields[7].offset;
  String received = CallOperation7(record, offset, nullptr, nullptr);
  EXPECT_EQ(emptyHolder, received);
  EXPECT_EQ((1 << 20) + 16, empty.word.load());
  g_hostTables = saved;
}

}  // namespace
}  // namespace fm
