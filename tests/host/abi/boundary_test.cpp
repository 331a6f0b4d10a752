// The host's boundary calls and is called the way the host's C++ compiler declares each crossing
// (on Windows, Microsoft's ABI). Entries written in the other reading, the one both halves once
// agreed on, are shown to receive their arguments wrong: a string object where its holder's
// address belongs, the result slot where the command object belongs.

#include <gtest/gtest.h>

#include <cstring>

#include "host/abi/host_abi.h"
#include "host/framework/strings.h"
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
// What operation 7's entry received.
struct Seen {
  void* object = nullptr;
  void* slot = nullptr;
  void* a = nullptr;
};
Seen g_seen;
HostString* g_given = nullptr;

// What a module's entry at 0xb0 must be: Microsoft's member order, object then slot.
HostString** MicrosoftOrder(void* object, HostString** slot, void* a, void*) {
  g_seen = {object, slot, a};
  *slot = g_given;
  return slot;
}
// The old reading: a plain function returning the string class, slot first.
HostString** SlotFirst(HostString** slot, void* object, void* a, void*) {
  g_seen = {object, slot, a};
  return slot;
}

TEST_F(Boundary, OperationSevenIsCalledWithTheObjectFirstAndTheSlotSecond) {
  int object = 0, document = 0;
  g_given = NewString("seven");
  auto right = &MicrosoftOrder;
  uint8_t entry[8];
  std::memcpy(entry, &right, sizeof entry);
  auto* got = static_cast<HostString*>(fm_abi_call_string_operation(entry, &object, &document,
                                                                    nullptr));
  EXPECT_EQ(g_seen.object, &object);
  EXPECT_EQ(g_seen.a, &document);
  EXPECT_EQ(got, g_given);
  Release(got);

  auto wrong = &SlotFirst;
  std::memcpy(entry, &wrong, sizeof entry);
  // Only what it received is looked at: it writes nothing.
  (void)fm_abi_call_string_operation(entry, &object, &document, nullptr);
  EXPECT_NE(g_seen.object, static_cast<void*>(&object)) << "the slot-first entry takes the slot "
                                                           "for the object";
  EXPECT_EQ(g_seen.slot, static_cast<void*>(&object));
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
