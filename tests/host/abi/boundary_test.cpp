// The host's boundary calls and is called the way the host's C++ compiler declares each crossing
// (on Windows, Microsoft's ABI). Entries written in the other reading, the one both halves once
// agreed on, are shown to receive their arguments wrong: a string object where its holder's
// address belongs, the result slot where the command object belongs.

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "host/abi/host_abi.h"
#include "host/framework/strings.h"
#include "host/loader/command_record.h"
#include "host/scene/ui_log.h"
#include "host/tables/environment.h"

namespace fm::host {
namespace {

class Boundary : public ::testing::Test {
 protected:
  void SetUp() override { env.SetDiagnosticEcho(false); }
  Environment env;
};

TEST_F(Boundary, AStringArgumentIsTheAddressOfItsHolderNotTheStringObject) {
  auto printLine = reinterpret_cast<void (*)(void*)>(fm_abi_entry_print_line());
  HostString* text = NewString("a console line");
  printLine(&text);  // the address of the caller's holder
  ASSERT_EQ(env.Ui().ConsoleLines(), std::vector<std::string>{"a console line"});
  EXPECT_TRUE(env.Diagnostics().empty());
  EXPECT_EQ(ReferenceWord(text), 16) << "the holder keeps its reference";

  printLine(text);  // the string object itself, as the old reading passed it
  EXPECT_EQ(env.Ui().ConsoleLines().size(), 2u);
  EXPECT_EQ(env.Ui().ConsoleLines().back(), "") << "the host read no string out of it";
  ASSERT_EQ(env.Diagnostics().size(), 1u);
  EXPECT_NE(env.Diagnostics()[0].find("PrintLine"), std::string::npos);
  Release(text);
}

#ifdef _WIN32
// Operation 7 through a registration record whose entry at 0xb0 is the module's, called by the
// host's boundary (Microsoft's member order: object in rcx, result slot in rdx).
struct CommandObject {
  void* firstWord;  // where a command object keeps its virtual table
};
struct Seen {
  void* object = nullptr;
  void* slot = nullptr;
  void* a = nullptr;
};
Seen g_seen;
void* g_given = nullptr;

// The entry as the module writes it now: object, then slot; the string goes into the slot.
void** MicrosoftOrder(void* object, void** slot, void* a, void*) {
  g_seen = {object, slot, a};
  *slot = g_given;
  return slot;
}
// The entry as the module once compiled it: a plain function returning the string class, which
// mingw-w64's g++ gives its result slot first.
void** SlotFirst(void** slot, void* object, void* a, void*) {
  g_seen = {object, slot, a};
  *slot = g_given;
  return slot;
}
void ReleaseNothing(void*) {}

std::optional<CommandRecord> RecordWithOperationSeven(CommandObject* object,
                                                      void** (*entry)(void*, void*, void*, void*)) {
  std::vector<uint8_t> bytes(kRecordSize, 0);
  auto release = &ReleaseNothing;
  std::memcpy(bytes.data() + kRecordReleaseOffset, &release, sizeof release);
  std::memcpy(bytes.data() + kRecordObjectOffset, &object, sizeof object);
  std::memcpy(bytes.data() + RecordEntryOffset(7), &entry, sizeof entry);
  std::string error;
  return CommandRecord::Make(std::move(bytes), &error);
}

TEST_F(Boundary, OperationSevenInMicrosoftsOrderGivesItsString) {
  CommandObject object{&object};
  int document = 0;
  HostString* seven = NewString("seven");
  g_given = seven;
  std::optional<CommandRecord> record = RecordWithOperationSeven(
      &object, reinterpret_cast<void** (*)(void*, void*, void*, void*)>(&MicrosoftOrder));
  ASSERT_TRUE(record);
  bool foreign = true;
  std::optional<HostString*> got = record->StringOperation(&document, nullptr, &foreign);
  ASSERT_TRUE(got);
  EXPECT_EQ(*got, seven);
  EXPECT_FALSE(foreign);
  EXPECT_EQ(g_seen.object, &object);
  EXPECT_EQ(g_seen.a, &document);
  EXPECT_EQ(object.firstWord, &object) << "the command object is left alone";
  Release(seven);
}

TEST_F(Boundary, OperationSevenWrittenSlotFirstOverwritesTheCommandObjectAndGivesNoString) {
  CommandObject object{&object};
  int document = 0;
  HostString* seven = NewString("seven");
  g_given = seven;
  std::optional<CommandRecord> record = RecordWithOperationSeven(
      &object, reinterpret_cast<void** (*)(void*, void*, void*, void*)>(&SlotFirst));
  ASSERT_TRUE(record);
  bool foreign = false;
  std::optional<HostString*> got = record->StringOperation(&document, nullptr, &foreign);
  ASSERT_TRUE(got);
  EXPECT_NE(*got, seven) << "the host's slot never received the string";
  EXPECT_EQ(g_seen.slot, static_cast<void*>(&object)) << "the object arrives where the slot "
                                                         "belongs";
  EXPECT_NE(g_seen.object, static_cast<void*>(&object));
  EXPECT_EQ(object.firstWord, seven) << "the string lands on the command object's first word";
  if (*got != nullptr) Release(*got);  // a stale string that happened to lie in the slot
  Release(seven);
}

TEST_F(Boundary, OperationSevenLeavingNoHostStringIsNeitherReadNorReleased) {
  CommandObject object{&object};
  int notAString = 0;
  g_given = &notAString;
  std::optional<CommandRecord> record = RecordWithOperationSeven(
      &object, reinterpret_cast<void** (*)(void*, void*, void*, void*)>(&MicrosoftOrder));
  ASSERT_TRUE(record);
  bool foreign = false;
  std::optional<HostString*> got = record->StringOperation(nullptr, nullptr, &foreign);
  ASSERT_TRUE(got);
  EXPECT_EQ(*got, nullptr);
  EXPECT_TRUE(foreign);
  EXPECT_EQ(notAString, 0);
}
#endif

TEST_F(Boundary, MemberEntriesHaveTheWidthOfTheLayout) {
#ifdef _WIN32
  EXPECT_EQ(fm_abi_member_entry_width(), 8u);
#else
  EXPECT_EQ(fm_abi_member_entry_width(), 16u);
#endif
}

}  // namespace
}  // namespace fm::host
