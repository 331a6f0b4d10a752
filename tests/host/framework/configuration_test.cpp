#include "host/framework/configuration.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "host/framework/errors.h"
#include "host/framework/framework.h"
#include "host/framework/interfaces.h"
#include "host/framework/registry.h"

namespace fm::host {
namespace {

void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value ? value : "");
#else
  if (value) setenv(name, value, 1); else unsetenv(name);
#endif
}

// Calls the host through the identifier a module binds, as the module would: the error comes back
// by value, through a result slot.
const void* RegisterThroughSystemInterface(const records::ConfigurationEntry* entry) {
  auto* function = reinterpret_cast<ErrorValue (*)(const records::ConfigurationEntry*)>(
      FindMethod(kSystemInterface, "ConfigurationRegister@0c43770b3722cf85"));
  EXPECT_NE(function, nullptr);
  return function ? function(entry).Get() : nullptr;
}

records::ConfigurationEntry BooleanEntry(const char* name, uint8_t* variable) {
  records::ConfigurationEntry entry{};
  entry.name = name;
  entry.help = "help text";
  entry.category = 1;
  entry.variable = variable;
  entry.type = 0;
  return entry;
}

class ConfigurationTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFramework(); }
  void TearDown() override {
    SetEnvironment("FM_CONFIG_g_testFlag", nullptr);
    ResetFramework();
  }
};

TEST_F(ConfigurationTest, BooleanValuesReachTheRegisteredVariable) {
  struct Case {
    const char* value;
    uint8_t before;
    uint8_t after;
    ConfigurationState state;
  };
  const Case cases[] = {
      {"true", 0, 1, ConfigurationState::kUsed},   {"FALSE", 1, 0, ConfigurationState::kUsed},
      {"1", 0, 1, ConfigurationState::kUsed},      {"0", 1, 0, ConfigurationState::kUsed},
      {"yes", 1, 1, ConfigurationState::kInvalidArgument},
      {"", 0, 0, ConfigurationState::kInvalidArgument},
      {"2", 0, 0, ConfigurationState::kInvalidArgument},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    ResetFramework();
    ASSERT_TRUE(SetConfigurationOption(std::string("g_testFlag=") + c.value));
    uint8_t variable = c.before;
    const records::ConfigurationEntry entry = BooleanEntry("g_testFlag", &variable);
    EXPECT_EQ(RegisterThroughSystemInterface(&entry), nullptr);
    EXPECT_EQ(variable, c.after);
    const auto registered = RegisteredConfigurations();
    ASSERT_EQ(registered.size(), 1u);
    EXPECT_EQ(registered[0].state, c.state);
    EXPECT_EQ(registered[0].origin, ConfigurationOrigin::kCommandLine);
  }
}

TEST_F(ConfigurationTest, RegistrationRecordsTheEntryAndLeavesUnsetVariablesAlone) {
  uint8_t variable = 1;
  records::ConfigurationEntry entry = BooleanEntry("g_enableDebugBreak", &variable);
  entry.help = "enable debug breaks (when debugger is attached)";
  SetConfigurationOwner("module.xlib");
  EXPECT_EQ(RegisterThroughSystemInterface(&entry), nullptr);
  EXPECT_EQ(variable, 1);
  const auto registered = RegisteredConfigurations();
  ASSERT_EQ(registered.size(), 1u);
  EXPECT_EQ(registered[0].name, "g_enableDebugBreak");
  EXPECT_EQ(registered[0].help, "enable debug breaks (when debugger is attached)");
  EXPECT_EQ(registered[0].category, 1);
  EXPECT_EQ(registered[0].type, 0);
  EXPECT_EQ(registered[0].owner, "module.xlib");
  EXPECT_EQ(registered[0].state, ConfigurationState::kUnused);
  ForgetConfigurationsOf("module.xlib");
  EXPECT_TRUE(RegisteredConfigurations().empty());
}

TEST_F(ConfigurationTest, EnvironmentIsUsedUnlessAnOptionOverridesIt) {
  SetEnvironment("FM_CONFIG_g_testFlag", "true");
  uint8_t variable = 0;
  const records::ConfigurationEntry entry = BooleanEntry("g_testFlag", &variable);
  RegisterConfiguration(&entry);
  EXPECT_EQ(variable, 1);
  EXPECT_EQ(RegisteredConfigurations().back().origin, ConfigurationOrigin::kEnvironment);

  ASSERT_TRUE(SetConfigurationOption("g_testFlag=false"));
  RegisterConfiguration(&entry);
  EXPECT_EQ(variable, 0);
  EXPECT_EQ(RegisteredConfigurations().back().origin, ConfigurationOrigin::kCommandLine);
}

TEST_F(ConfigurationTest, OptionListsAndTheirErrors) {
  std::string error;
  EXPECT_TRUE(SetConfigurationOptions(" a=1, b = false ;c=0,", &error)) << error;
  EXPECT_EQ(ConfigurationValueFor("a"), "1");
  EXPECT_EQ(ConfigurationValueFor("b"), "false");
  EXPECT_EQ(ConfigurationValueFor("c"), "0");
  EXPECT_FALSE(SetConfigurationOptions("d=1,novalue,e=1", &error));
  EXPECT_NE(error.find("novalue"), std::string::npos) << error;
  EXPECT_EQ(ConfigurationValueFor("d"), "1");
  EXPECT_FALSE(ConfigurationValueFor("e"));
  EXPECT_FALSE(SetConfigurationOption("=1", &error));
}

TEST_F(ConfigurationTest, IntegerAndFloatValuesRespectTheirRange) {
  ASSERT_TRUE(SetConfigurationOptions("g_int=7,g_big=11,g_float=0.5,g_text=abc"));
  int64_t integer = 3;
  records::ConfigurationEntry entry{};
  entry.name = "g_int";
  entry.variable = &integer;
  entry.type = 1;
  entry.minimum = 0;
  entry.maximum = 10;
  RegisterConfiguration(&entry);
  EXPECT_EQ(integer, 7);
  entry.name = "g_big";
  RegisterConfiguration(&entry);
  EXPECT_EQ(integer, 7);
  EXPECT_EQ(RegisteredConfigurations().back().state, ConfigurationState::kOutOfRange);

  double real = 2.0;
  const double low = 0.0, high = 1.0;
  entry.name = "g_float";
  entry.variable = &real;
  entry.type = 2;
  std::memcpy(&entry.minimum, &low, 8);
  std::memcpy(&entry.maximum, &high, 8);
  RegisterConfiguration(&entry);
  EXPECT_EQ(real, 0.5);
  entry.name = "g_text";
  RegisterConfiguration(&entry);
  EXPECT_EQ(real, 0.5);
  EXPECT_EQ(RegisteredConfigurations().back().state, ConfigurationState::kInvalidArgument);
}

TEST_F(ConfigurationTest, BadEntriesGetAnError) {
  EXPECT_EQ(AsHostError(RegisterConfiguration(nullptr)), NullptrError());
  records::ConfigurationEntry entry{};
  EXPECT_EQ(AsHostError(RegisterConfiguration(&entry)), IllegalArgumentError());
  EXPECT_TRUE(RegisteredConfigurations().empty());
}

}  // namespace
}  // namespace fm::host
