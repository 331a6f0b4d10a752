// Configuration variables: the registration table, its limit, and the hand-over to the host.
#include "maxon/configuration.h"

#include <gtest/gtest.h>

#include <bit>
#include <memory>
#include <string>
#include <vector>

#include "maxon/entity.h"
#include "maxon/maxonrecord.h"
#include "support/fakehost.h"

namespace {

using maxon::CONFIGURATION_CATEGORY;
using maxon::CONFIGURATION_TYPE;
using maxon::ConfigurationEntry;
using maxon::ConfigurationTable;

// The table is large; tests use their own on the heap so the module's table stays as loaded.
std::unique_ptr<ConfigurationTable> NewTable() { return std::make_unique<ConfigurationTable>(); }

TEST(ConfigurationRegistration, FillsOneEntryPerVariable) {
  auto table = NewTable();
  bool flag = false;
  int64_t count = 0;
  double ratio = 0;
  void* counted = nullptr;
  int marker = 0;
  EXPECT_TRUE(maxon::ConfigurationRegisterBool(*table, "g_flag", &flag, true,
                                               CONFIGURATION_CATEGORY::DEVELOPMENT, "a flag"));
  EXPECT_FALSE(flag) << "the caller stores the default";
  EXPECT_EQ(maxon::ConfigurationRegisterInt(*table, "g_count", &count, 7, -3, 99,
                                            CONFIGURATION_CATEGORY::MODULE, "a count"),
            7);
  EXPECT_EQ(maxon::ConfigurationRegisterFloat(*table, "g_ratio", &ratio, 0.5, -1.5, 2.25,
                                              CONFIGURATION_CATEGORY::REGULAR, "a ratio"),
            0.5);
  EXPECT_TRUE(maxon::ConfigurationRegisterCounted(*table, "g_counted", &counted,
                                                  CONFIGURATION_TYPE::COUNTED_B, &marker,
                                                  CONFIGURATION_CATEGORY::NONE, "", nullptr));
  ASSERT_EQ(table->count, 4);

  const ConfigurationEntry& b = table->entries[0];
  EXPECT_STREQ(b.name, "g_flag");
  EXPECT_STREQ(b.help, "a flag");
  EXPECT_EQ(b.category, CONFIGURATION_CATEGORY::DEVELOPMENT);
  EXPECT_EQ(b.variable, &flag);
  EXPECT_EQ(b.type, CONFIGURATION_TYPE::BOOL);

  const ConfigurationEntry& i = table->entries[1];
  EXPECT_EQ(i.type, CONFIGURATION_TYPE::INT);
  EXPECT_EQ(i.minimum, -3);
  EXPECT_EQ(i.maximum, 99);

  const ConfigurationEntry& f = table->entries[2];
  EXPECT_EQ(f.type, CONFIGURATION_TYPE::FLOAT);
  EXPECT_EQ(std::bit_cast<double>(f.minimum), -1.5);
  EXPECT_EQ(std::bit_cast<double>(f.maximum), 2.25);

  const ConfigurationEntry& c = table->entries[3];
  EXPECT_EQ(c.type, CONFIGURATION_TYPE::COUNTED_B);
  EXPECT_EQ(c.further, &marker);
  EXPECT_EQ(c.variable, &counted);

  // Only the counted kinds may be registered as counted.
  EXPECT_FALSE(maxon::ConfigurationRegisterCounted(*table, "g_wrong", &counted,
                                                   CONFIGURATION_TYPE::INT, nullptr,
                                                   CONFIGURATION_CATEGORY::NONE, "", nullptr));
  EXPECT_EQ(table->count, 4);
}

TEST(ConfigurationRegistration, TheTwoHundredFiftySeventhIsDroppedAndKeepsItsDefault) {
  auto table = NewTable();
  static bool fillers[256];
  for (int k = 0; k < 256; ++k)
    fillers[k] = maxon::ConfigurationRegisterBool(*table, "g_filler", &fillers[k], false,
                                                  CONFIGURATION_CATEGORY::REGULAR, "");
  ASSERT_EQ(table->count, 256);

  bool flag = false;
  EXPECT_TRUE(maxon::ConfigurationRegisterBool(*table, "g_late", &flag, true,
                                               CONFIGURATION_CATEGORY::REGULAR, ""));
  EXPECT_TRUE(flag) << "a dropped variable gets its default from the registration";
  int64_t count = 0;
  EXPECT_EQ(maxon::ConfigurationRegisterInt(*table, "g_late", &count, 5, 0, 9,
                                            CONFIGURATION_CATEGORY::REGULAR, ""),
            5);
  EXPECT_EQ(count, 5);
  double ratio = 0;
  EXPECT_EQ(maxon::ConfigurationRegisterFloat(*table, "g_late", &ratio, 1.25, 0, 9,
                                              CONFIGURATION_CATEGORY::REGULAR, ""),
            1.25);
  EXPECT_EQ(ratio, 1.25);
  int value = 0;
  void* counted = &value;
  EXPECT_FALSE(maxon::ConfigurationRegisterCounted(*table, "g_late", &counted,
                                                   CONFIGURATION_TYPE::COUNTED_A, nullptr,
                                                   CONFIGURATION_CATEGORY::REGULAR, "",
                                                   nullptr));
  EXPECT_EQ(counted, &value) << "a dropped counted variable is left alone";
  EXPECT_EQ(table->count, 256);
  EXPECT_STREQ(table->entries[255].name, "g_filler");
}

std::vector<std::string> g_registered;
void RecordEntry(const ConfigurationEntry* entry) { g_registered.emplace_back(entry->name); }

TEST(ConfigurationHandOver, PassesEveryEntryInOrderUnlessAModuleIsCore) {
  auto table = NewTable();
  bool a = false, b = false, c = false;
  maxon::ConfigurationRegisterBool(*table, "a", &a, false, CONFIGURATION_CATEGORY::REGULAR, "");
  maxon::ConfigurationRegisterBool(*table, "b", &b, false, CONFIGURATION_CATEGORY::REGULAR, "");
  maxon::ConfigurationRegisterBool(*table, "c", &c, false, CONFIGURATION_CATEGORY::REGULAR, "");

  maxon::ModuleRecord first{}, second{};
  second.previous = &first;

  g_registered.clear();
  maxon::ConfigurationRegisterEntries(&second, *table, RecordEntry);
  EXPECT_EQ(g_registered, (std::vector<std::string>{"a", "b", "c"}));

  // A CORE module anywhere in the list: nothing is handed over.
  first.head.flags = maxon::EntityBase::FLAGS::CORE;
  g_registered.clear();
  maxon::ConfigurationRegisterEntries(&second, *table, RecordEntry);
  EXPECT_TRUE(g_registered.empty());
}

int g_releases = 0;
void CountRelease(void* value) {
  ++g_releases;
  *static_cast<int*>(value) -= 1;
}

TEST(ConfigurationRelease, DropsOneReferencePerCountedValueAndEmptiesTheVariable) {
  auto table = NewTable();
  int references = 2;
  void* counted = &references;
  void* empty = nullptr;
  void* noRelease = &references;
  bool flag = true;
  maxon::ConfigurationRegisterBool(*table, "flag", &flag, true, CONFIGURATION_CATEGORY::REGULAR,
                                   "");
  maxon::ConfigurationRegisterCounted(*table, "counted", &counted, CONFIGURATION_TYPE::COUNTED_A,
                                      nullptr, CONFIGURATION_CATEGORY::REGULAR, "", CountRelease);
  maxon::ConfigurationRegisterCounted(*table, "empty", &empty, CONFIGURATION_TYPE::COUNTED_B,
                                      nullptr, CONFIGURATION_CATEGORY::REGULAR, "", CountRelease);
  maxon::ConfigurationRegisterCounted(*table, "plain", &noRelease, CONFIGURATION_TYPE::COUNTED_B,
                                      nullptr, CONFIGURATION_CATEGORY::REGULAR, "", nullptr);
  g_releases = 0;
  maxon::ConfigurationReleaseEntries(*table);
  EXPECT_EQ(g_releases, 1);
  EXPECT_EQ(references, 1);
  EXPECT_EQ(counted, nullptr);
  EXPECT_EQ(noRelease, nullptr);
  EXPECT_TRUE(flag) << "boolean variables are not touched";
  maxon::ConfigurationReleaseEntries(*table);
  EXPECT_EQ(g_releases, 1) << "a value is released once";
}

// The host's configuration service: records names and sets g_enableDebugBreak to false. Its error
// comes back by value, through the caller's result slot.
maxon::ErrorRef HostRegister(const ConfigurationEntry* entry) {
  g_registered.emplace_back(entry->name);
  if (std::string(entry->name) == "g_enableDebugBreak") *static_cast<bool*>(entry->variable) = false;
  return maxon::ErrorRef();
}

TEST(ConfigurationInit, HandsTheModuleTableToTheHost) {
  fmtest::FakeHost host;
  host.ProvideInterface("net.maxon.interface.system");
  host.Implement("ConfigurationRegister@0c43770b3722cf85", reinterpret_cast<void*>(&HostRegister));
  host.BindAll();
  g_registered.clear();
  EXPECT_EQ(maxon::ConfigurationInit().Get(), nullptr);
  ASSERT_EQ(g_registered.size(), static_cast<size_t>(maxon::g_configurationTable.count));
  for (int64_t i = 0; i < maxon::g_configurationTable.count; ++i)
    EXPECT_EQ(g_registered[i], maxon::g_configurationTable.entries[i].name);
  bool* debugBreak = nullptr;
  for (int64_t i = 0; i < maxon::g_configurationTable.count; ++i)
    if (std::string(maxon::g_configurationTable.entries[i].name) == "g_enableDebugBreak")
      debugBreak = static_cast<bool*>(maxon::g_configurationTable.entries[i].variable);
  ASSERT_NE(debugBreak, nullptr);
  EXPECT_FALSE(*debugBreak) << "the host's value reached the variable";
  *debugBreak = true;
  maxon::ConfigurationFree();
}

TEST(ConfigurationInit, RegistersNothingWhenAModuleIsCore) {
  fmtest::FakeHost host;
  host.ProvideInterface("net.maxon.interface.system");
  host.Implement("ConfigurationRegister@0c43770b3722cf85", reinterpret_cast<void*>(&HostRegister));
  host.BindAll();
  maxon::ModuleRecord core{};
  core.head.flags = maxon::EntityBase::FLAGS::CORE;
  core.previous = g_maxon.modules;
  g_maxon.modules = &core;
  g_registered.clear();
  EXPECT_EQ(maxon::ConfigurationInit().Get(), nullptr);
  g_maxon.modules = core.previous;
  EXPECT_TRUE(g_registered.empty());
}

TEST(ConfigurationInit, WithoutTheHostsServiceTheVariablesKeepTheirDefaults) {
  // Nothing bound: the registration slot holds the module's stub, which answers "unresolved"
  // without a word.
  fmtest::FakeHost host;
  testing::internal::CaptureStdout();
  EXPECT_EQ(maxon::ConfigurationInit().Get(), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
