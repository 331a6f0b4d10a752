#include "host/loader/module_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "fixture_paths.h"
#include "fixture_state.h"
#include "host/framework/configuration.h"
#include "host/framework/framework.h"
#include "host/framework/initializer.h"
#include "host/framework/memory.h"
#include "host/framework/records.h"
#include "host/framework/strings.h"
#include "host/framework/switches.h"

namespace fm::host {
namespace {

using testing::FixturePath;

class ModuleFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFramework(); }
  void TearDown() override { ResetFramework(); }

  std::unique_ptr<ModuleFile> Load(const std::string& name) {
    std::string error;
    std::unique_ptr<ModuleFile> file = ModuleFile::Load(FixturePath(name), &error);
    EXPECT_TRUE(file) << error;
    return file;
  }
  static FixtureState& State(const ModuleFile& file) {
    return *static_cast<FixtureState*>(file.Symbol("fixture_state"));
  }
};

const ModuleRecordInfo* FindModule(const std::vector<ModuleRecordInfo>& modules, const char* id) {
  for (const ModuleRecordInfo& m : modules)
    if (m.id.text == id) return &m;
  return nullptr;
}

TEST_F(ModuleFileTest, ReadsTheModuleListNewestFirstWithItsDeclarations) {
  std::unique_ptr<ModuleFile> file = Load("fixture");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Globals()->magic, 21014);
  EXPECT_TRUE(file->ExportsCpuYieldDelegate());
  const std::vector<ModuleRecordInfo> modules = file->Describe();
  ASSERT_EQ(modules.size(), 2u);
  EXPECT_EQ(modules[0].id.text, "com.fixture.plugin");
  EXPECT_EQ(modules[1].id.text, "net.fixture.core");

  const ModuleRecordInfo& plugin = modules[0];
  EXPECT_TRUE(plugin.id.packedMatches);
  EXPECT_EQ(plugin.flags, 0x201u);
  EXPECT_EQ(plugin.owner, "register");
  EXPECT_TRUE(plugin.pointsToGlobalRecord);
  ASSERT_EQ(plugin.dependencies.size(), 2u);
  EXPECT_EQ(plugin.dependencies[0].text, "net.fixture.core");
  EXPECT_EQ(plugin.dependencies[1].packed, 0x181770e28a954u);
  EXPECT_TRUE(plugin.dependencies[1].packedMatches);
  ASSERT_EQ(plugin.units.size(), 2u);
  EXPECT_EQ(plugin.units[0].id.text, "fixture_module");  // newest first
  EXPECT_EQ(plugin.units[1].id.text, "register");
  EXPECT_EQ(plugin.units[1].flags, 0x301u);
  EXPECT_TRUE(plugin.units[0].wellFormed);
  EXPECT_EQ(plugin.entityCounts.at(records::kTranslationUnit), 2);
  ASSERT_EQ(plugin.declarations.size(), 1u);
  EXPECT_EQ(plugin.declarations[0].text, "net.maxon.stringdecoding.utf8");
  EXPECT_EQ(modules[1].flags, 0x8001201u);
}

TEST_F(ModuleFileTest, BindsEveryReferenceThroughItsFillerAndStoresTheInitializer) {
  std::unique_ptr<ModuleFile> file = Load("fixture");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Globals()->initializer, &HostInitializer);
  EXPECT_EQ(State(*file).fillerCalls, 3);
  const std::vector<ModuleRecordInfo> modules = file->Describe();
  const ModuleRecordInfo* core = FindModule(modules, "net.fixture.core");
  const ModuleRecordInfo* plugin = FindModule(modules, "com.fixture.plugin");
  ASSERT_TRUE(core && plugin);
  ASSERT_EQ(core->references.size(), 1u);
  const ReferenceInfo& system = core->references[0];
  EXPECT_EQ(system.id.text, "net.maxon.interface.system");
  EXPECT_EQ(system.methodCount, 4);
  EXPECT_EQ(system.resolvedCount, 3);
  EXPECT_EQ(system.unresolved, std::vector<std::string>{"AllocClaer@701133d89c8735da"});
  EXPECT_TRUE(system.hostInterface);
  EXPECT_EQ(system.flags & records::kInitialized, records::kInitialized);

  ASSERT_EQ(plugin->references.size(), 2u);
  const ReferenceInfo& absent = plugin->references[0];  // newest first
  EXPECT_EQ(absent.id.text, "net.fixture.interface.absent");
  EXPECT_FALSE(absent.hostInterface);
  EXPECT_EQ(absent.flags & records::kInitialized, 0u);
  const ReferenceInfo& string = plugin->references[1];
  EXPECT_EQ(string.resolvedCount, 4);
  EXPECT_EQ(string.flags & records::kReferenceMask, records::kReferenceCopyOnWrite);
}

TEST_F(ModuleFileTest, HooksRunInRegistrationOrderAndFreeNewestFirst) {
  ASSERT_TRUE(SetConfigurationOption("g_fixtureFlag=true"));
  std::unique_ptr<ModuleFile> file = Load("fixture");
  ASSERT_TRUE(file);
  FixtureState& state = State(*file);
  ASSERT_EQ(state.hookEvents, 2);
  EXPECT_EQ(state.hookOrder[0], 1);  // the older module's hook first
  EXPECT_EQ(state.hookOrder[1], 2);
  EXPECT_EQ(state.configurationFlag, 1);
  const std::vector<RegisteredConfiguration> entries = RegisteredConfigurations();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "g_fixtureFlag");
  EXPECT_EQ(entries[0].owner, file->Path());
  EXPECT_FALSE(state.coreFlagAtInit);

  file->RunFreeHooks();
  file->RunFreeHooks();  // once only
  ASSERT_EQ(state.hookEvents, 4);
  EXPECT_EQ(state.hookOrder[2], -2);
  EXPECT_EQ(state.hookOrder[3], -1);
  file.reset();
  EXPECT_TRUE(RegisteredConfigurations().empty());
}

TEST_F(ModuleFileTest, SwitchesReachTheModule) {
  SetInitializerAbsent(true);
  MarkModuleCore("com.fixture.plugin");
  OmitMethod("AllocClear@701133d89c8735da");
  std::unique_ptr<ModuleFile> file = Load("fixture");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Globals()->initializer, nullptr);
  EXPECT_TRUE(State(*file).coreFlagAtInit);
  const std::vector<ModuleRecordInfo> modules = file->Describe();
  const ModuleRecordInfo* core = FindModule(modules, "net.fixture.core");
  ASSERT_TRUE(core);
  EXPECT_EQ(core->references[0].resolvedCount, 2);
  EXPECT_EQ(core->references[0].unresolved.size(), 2u);
}

TEST_F(ModuleFileTest, FilesThatAreNotSoundModulesAreTurnedAwayWithTheReason) {
  // A Mach-O header cut short: the first bytes send it to the Mach-O loader on Linux, and the
  // Windows host names it as what it is rather than as a broken DLL.
  const std::string cutMachO = std::string(FM_FIXTURE_DIR) + "/cut_macho" + FM_MODULE_SUFFIX;
  std::ofstream(cutMachO, std::ios::binary).write("\xcf\xfa\xed\xfe\x07\x00\x00\x01", 8);
  struct Case {
    std::string path;
    const char* reason;
  };
  const Case cases[] = {
      {FixturePath("fixture_bad_magic"), "g_maxon holds 21013 instead of 21014"},
      {FixturePath("fixture_no_main"), "does not export c4d_main"},
      {FixturePath("fixture_no_filler"), "has no filler"},
      {FixturePath("fixture_init_fails"), "initialisation hook of \"fixture_core\" failed"},
      {FixturePath("not_a_module"), "cannot load"},
      {FixturePath("no_such_module"), "cannot load"},
      {cutMachO, "Mach-O"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string error;
    EXPECT_FALSE(ModuleFile::Load(c.path, &error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
  EXPECT_TRUE(RegisteredConfigurations().empty());  // the failed hook's entry went with it
}

TEST_F(ModuleFileTest, RepeatedLoadsLeaveNothingBehind) {
  const int64_t blocks = LiveAllocationCount();
  const int64_t strings = LiveStringCount();
  for (int cycle = 0; cycle < 3; ++cycle) {
    SCOPED_TRACE(cycle);
    std::unique_ptr<ModuleFile> file = Load("fixture");
    ASSERT_TRUE(file);
    EXPECT_EQ(State(*file).fillerCalls, 3);  // a fresh image each time
    EXPECT_EQ(State(*file).hookEvents, 2);
  }
  EXPECT_EQ(LiveAllocationCount(), blocks);
  EXPECT_EQ(LiveStringCount(), strings);
}

}  // namespace
}  // namespace fm::host
