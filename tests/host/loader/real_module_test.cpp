// The built facetmender module file loaded the way the application loads it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include "host/framework/configuration.h"
#include "host/framework/console.h"
#include "host/framework/framework.h"
#include "host/framework/memory.h"
#include "host/framework/records.h"
#include "host/framework/strings.h"
#include "host/framework/switches.h"
#include "host/loader/module_file.h"
#include "host/loader/module_host.h"
#include "host/tables/paths.h"
#ifdef FM_MACOS_MODULE
#include "host/loader/macos_imports.h"
#endif

namespace fm::host {
namespace {

constexpr int32_t kCommandId = 1050896;
constexpr uint64_t kConstructedDefinition = records::kConstructed | records::kDefinition;

std::string ModulePath() {
  return std::string(FM_PLUGIN_DIR) + "/facetmender/facetmender" + FM_MODULE_SUFFIX;
}

class RealModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(ModulePath())) {
#ifdef FM_MACOS_MODULE
      FAIL() << "the macOS module file " << ModulePath() << " is missing";
#else
      GTEST_SKIP() << "module file " << ModulePath() << " is not built";
#endif
    }
    ResetFramework();
    blocks_ = LiveAllocationCount();
    strings_ = LiveStringCount();
    paths_ = LivePathCount();
  }
  void TearDown() override {
    if (IsSkipped()) return;
    ResetFramework();
    EXPECT_EQ(LiveAllocationCount(), blocks_);
    EXPECT_EQ(LiveStringCount(), strings_);
    EXPECT_EQ(LivePathCount(), paths_);
  }
  int64_t blocks_ = 0, strings_ = 0, paths_ = 0;
};

const ModuleRecordInfo* Find(const std::vector<ModuleRecordInfo>& modules, const std::string& id) {
  for (const ModuleRecordInfo& m : modules)
    if (m.id.text == id) return &m;
  return nullptr;
}

TEST_F(RealModuleTest, DeclaresThreeModuleRecordsWithTheirIdsFlagsAndDependencies) {
  std::string error;
  std::unique_ptr<ModuleFile> file = ModuleFile::Load(ModulePath(), &error);
  ASSERT_TRUE(file) << error;
  EXPECT_EQ(file->Globals()->magic, 21014);
  EXPECT_TRUE(file->ExportsCpuYieldDelegate());
  const std::vector<ModuleRecordInfo> modules = file->Describe();
  ASSERT_EQ(modules.size(), 3u);
  struct Expected {
    const char* id;
    uint64_t flags;
  };
  const Expected expected[] = {{"com.tessworks.facetmender", 0},
                               {"net.maxon.c4d.cinema.framework", 0x8001000},
                               {"net.maxon.core.framework", 0x8001000}};
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.id);
    const ModuleRecordInfo* m = Find(modules, e.id);
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(m->id.packedMatches);
    EXPECT_EQ(m->flags & ~kConstructedDefinition, e.flags);
    EXPECT_TRUE(m->flags & records::kConstructed);
    EXPECT_TRUE(m->pointsToGlobalRecord);
    for (const TranslationUnitInfo& unit : m->units) {
      SCOPED_TRACE(unit.id.text);
      EXPECT_TRUE(unit.wellFormed);
      EXPECT_TRUE(unit.id.packedMatches);
    }
  }
  const ModuleRecordInfo* plugin = Find(modules, "com.tessworks.facetmender");
  ASSERT_NE(plugin, nullptr);
  const std::vector<std::pair<std::string, uint64_t>> dependencies = {
      {"net.maxon.c4d.cinema.framework", 0x1e459d5288338},
      {"net.maxon.core.framework", 0x1854b7897c12b},
      {"net.maxon.math.framework", 0x181770e28a954}};
  ASSERT_EQ(plugin->dependencies.size(), dependencies.size());
  for (size_t i = 0; i < dependencies.size(); ++i) {
    EXPECT_EQ(plugin->dependencies[i].text, dependencies[i].first);
    EXPECT_EQ(plugin->dependencies[i].packed, dependencies[i].second);
  }
}

TEST_F(RealModuleTest, PluginTranslationUnitsCarryTheirNamesAndFlagsForTheLayout) {
  std::string error;
  std::unique_ptr<ModuleFile> file = ModuleFile::Load(ModulePath(), &error);
  ASSERT_TRUE(file) << error;
  const std::vector<ModuleRecordInfo> modules = file->Describe();
  const ModuleRecordInfo* plugin = Find(modules, "com.tessworks.facetmender");
  ASSERT_NE(plugin, nullptr);
  std::multiset<std::pair<std::string, uint64_t>> units;
  for (const TranslationUnitInfo& unit : plugin->units)
    units.emplace(unit.id.text, unit.flags & ~kConstructedDefinition);
#ifdef _WIN32
  const std::multiset<std::pair<std::string, uint64_t>> expected = {
      {"??", 0x2000000}, {"register", 0x100}, {"??", 0}, {"??", 0}};
#else
  const std::multiset<std::pair<std::string, uint64_t>> expected = {
      {"interface_registration", 0x2000000}, {"register", 0x100}, {"facetmender", 0}, {"main", 0}};
#endif
  EXPECT_EQ(units, expected);
}

// Static initialisation builds the records in a fixed order, and the lists the host walks show it
// (newest first). The plug-in's own translation units and module record, in list order:
//   Windows: the interface registrations, the registration unit, the module record, then the
//            command's unit and main;
//   Itanium: the command's unit first, then the interface registrations, the registration unit
//            with the module record, and main.
// The three module records: the plug-in's first, so the framework runtime's is the list's head.
TEST_F(RealModuleTest, StaticInitialisationBuildsTheRecordsInTheLayoutsOrder) {
  std::string error;
  std::unique_ptr<ModuleFile> file = ModuleFile::Load(ModulePath(), &error);
  ASSERT_TRUE(file) << error;
  std::vector<std::string> modules;
  records::ModuleRecord* plugin = nullptr;
  for (records::ModuleRecord* m = file->Globals()->modules; m != nullptr; m = m->previous) {
    modules.emplace_back(m->head.id.text);
    if (modules.back() == "com.tessworks.facetmender") plugin = m;
  }
  EXPECT_EQ(modules, (std::vector<std::string>{"net.maxon.core.framework",
                                               "net.maxon.c4d.cinema.framework",
                                               "com.tessworks.facetmender"}));
  ASSERT_NE(plugin, nullptr);

  // "unit name/flags" for translation units, "module" for the module record; other records left out.
  std::vector<std::string> order;
  for (records::EntityHead* e = plugin->entities; e != nullptr; e = e->next) {
    if (e->type == records::kModule) {
      order.emplace_back("module");
    } else if (e->type == records::kTranslationUnit) {
      char flags[32];
      std::snprintf(flags, sizeof(flags), "%llx",
                    static_cast<unsigned long long>(e->flags & ~kConstructedDefinition));
      order.push_back(std::string(e->id.text) + "/" + flags);
    }
  }
#ifdef _WIN32
  const std::vector<std::string> expected = {"?\?/0", "?\?/0", "module", "register/100",
                                             "?\?/2000000"};
#else
  const std::vector<std::string> expected = {"main/0", "module", "register/100",
                                             "interface_registration/2000000", "facetmender/0"};
#endif
  EXPECT_EQ(order, expected);
}

TEST_F(RealModuleTest, EveryReferenceIsBoundAndTheHostsInterfacesAgreeToTheLetter) {
  std::string error;
  std::unique_ptr<ModuleFile> file = ModuleFile::Load(ModulePath(), &error);
  ASSERT_TRUE(file) << error;
  // Every reference went through its filler and the binder, or the load above would have failed.
  int64_t references = 0;
  std::map<std::string, const ReferenceInfo*> hostInterfaces;
  const std::vector<ModuleRecordInfo> modules = file->Describe();
  for (const ModuleRecordInfo& m : modules)
    for (const ReferenceInfo& r : m.references) {
      ++references;
      EXPECT_TRUE(r.id.packedMatches) << r.id.text;
      if (r.hostInterface) hostInterfaces[r.id.text] = &r;
    }
  EXPECT_GE(references, 3);
  // Every identifier the host implements is found in the module's tables: none is misspelt.
  const std::pair<const char*, int64_t> implemented[] = {{"net.maxon.interface.system", 5},
                                                         {"net.maxon.interface.string", 5},
                                                         {"net.maxon.interface.threadservices", 4}};
  for (const auto& [id, count] : implemented) {
    SCOPED_TRACE(id);
    ASSERT_TRUE(hostInterfaces.count(id));
    EXPECT_EQ(hostInterfaces[id]->resolvedCount, count);
    EXPECT_TRUE(hostInterfaces[id]->flags & records::kInitialized);
  }
  EXPECT_EQ(hostInterfaces["net.maxon.interface.string"]->methodCount, 45);
  EXPECT_EQ(hostInterfaces["net.maxon.interface.string"]->flags & records::kReferenceMask,
            records::kReferenceCopyOnWrite);
  EXPECT_EQ(hostInterfaces.size(), 3u);
}

TEST_F(RealModuleTest, ConfigurationVariablesAreHandedToTheHost) {
  ASSERT_TRUE(SetConfigurationOption("g_enableDebugBreak=false"));
  std::string error;
  std::unique_ptr<ModuleFile> file = ModuleFile::Load(ModulePath(), &error);
  ASSERT_TRUE(file) << error;
  const std::vector<RegisteredConfiguration> entries = RegisteredConfigurations();
  std::vector<std::string> names;
  for (const RegisteredConfiguration& e : entries) names.push_back(e.name);
  const std::vector<std::string> expected = {"g_enableDebugBreak", "g_enableParallelFor",
                                             "g_trackSpinlocks", "g_enableLegacyThreadBreak",
                                             "g_inCrashhandler"};
  for (const std::string& name : expected)
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  const auto debugBreak = std::find(names.begin(), names.end(), "g_enableDebugBreak");
  const auto parallelFor = std::find(names.begin(), names.end(), "g_enableParallelFor");
  EXPECT_LT(debugBreak, parallelFor);
  for (const RegisteredConfiguration& e : entries) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(e.type, 0);
    if (e.name == "g_enableDebugBreak") {
      EXPECT_EQ(e.category, 1);
      EXPECT_EQ(e.help, "enable debug breaks (when debugger is attached)");
      EXPECT_EQ(e.state, ConfigurationState::kUsed);
    }
    if (e.name == "g_inCrashhandler") {
      EXPECT_EQ(e.category, 5);
    }
  }
}

TEST_F(RealModuleTest, ACoreModuleRegistersNoConfiguration) {
  MarkModuleCore("net.maxon.core.framework");
  std::string error;
  std::unique_ptr<ModuleFile> file = ModuleFile::Load(ModulePath(), &error);
  ASSERT_TRUE(file) << error;
  EXPECT_TRUE(RegisteredConfigurations().empty());
}

TEST_F(RealModuleTest, StartsRegistersItsCommandAndAnswersThroughTheRecord) {
  for (int cycle = 0; cycle < 2; ++cycle) {
    SCOPED_TRACE(cycle);
    Environment env;
    ModuleHost host(env);
    ASSERT_TRUE(host.LoadModule(ModulePath())) << host.Errors().front();
    for (const std::string& warning : host.Warnings()) ADD_FAILURE() << warning;
    const std::vector<LoadedModuleInfo> modules = host.Modules();
    ASSERT_EQ(modules.size(), 1u);
    EXPECT_EQ(modules[0].attachAnswer, 1);
    EXPECT_EQ(modules[0].resourceAnswer, 1);
    EXPECT_EQ(modules[0].startAnswer, 1);
    const HostedCommand* command = host.FindCommand(kCommandId);
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->help, "Facetmender 1.01.0");
    EXPECT_FALSE(command->name.empty());
    EXPECT_NE(command->icon, nullptr);

    void* document = &env.ActiveDocument();  // nothing selected
    EXPECT_EQ(host.State(kCommandId, document), 0);
    EXPECT_EQ(host.Operation(kCommandId, 2, document), false);
    EXPECT_EQ(host.Operation(kCommandId, 3, document), false);
    EXPECT_EQ(host.Operation(kCommandId, 5, document), false);
    EXPECT_EQ(host.Operation(kCommandId, 6, document), true);
    EXPECT_EQ(host.Operation(kCommandId, 8, document), true);
    EXPECT_EQ(host.StringOperation(kCommandId, document), "");
    for (const std::string& line : ConsoleLines()) ADD_FAILURE() << "unexpected diagnostic: " << line;
    host.Shutdown();
    EXPECT_TRUE(env.Registrations().empty());
    EXPECT_EQ(LiveAllocationCount(), blocks_);
    EXPECT_EQ(LiveStringCount(), strings_);
    EXPECT_EQ(LivePathCount(), paths_);
  }
}

TEST_F(RealModuleTest, DiagnosticsReachTheHostConsoleOnceBound) {
  // Without an initialiser the module cannot resolve a method the host left out; it says so
  // through the bound console rather than standard output.
  OmitMethod("SetCString@5c5e8978bfe2a356");
  SetInitializerAbsent(true);
  Environment env;
  ModuleHost host(env);
  ASSERT_TRUE(host.LoadModule(ModulePath())) << host.Errors().front();
  bool found = false;
  for (const std::string& line : ConsoleLines())
    if (line.rfind("CRITICAL: Assertion failed: g_maxon.GetInitializer()", 0) == 0) found = true;
  EXPECT_TRUE(found) << ::testing::PrintToString(ConsoleLines());
  host.Shutdown();
}

#ifdef FM_MACOS_MODULE
// What only the macOS build does, run through the host's Mach-O loader.

TEST_F(RealModuleTest, MacUnitsAreConstructedInTheMacOrderUnderOneModuleRecord) {
  std::string error;
  std::unique_ptr<ModuleFile> file = ModuleFile::Load(ModulePath(), &error);
  ASSERT_TRUE(file) << error;
  const std::vector<ModuleRecordInfo> modules = file->Describe();
  // The once-flag: however many units ask for it, the module record exists once.
  std::map<std::string, int> records;
  for (const ModuleRecordInfo& m : modules) ++records[m.id.text];
  for (const auto& [id, count] : records) EXPECT_EQ(count, 1) << id;
  const ModuleRecordInfo* plugin = Find(modules, "com.tessworks.facetmender");
  ASSERT_NE(plugin, nullptr);
  // One initialiser per unit: the command's unit, the interface registration, the registration
  // unit, the module-message unit. The entity list holds them newest first.
  std::vector<std::string> units;
  for (const TranslationUnitInfo& unit : plugin->units) {
    EXPECT_TRUE(unit.wellFormed) << unit.id.text;
    units.push_back(unit.id.text);
  }
  const std::vector<std::string> newestFirst = {"main", "register", "interface_registration", "facetmender"};
  EXPECT_EQ(units, newestFirst);
  // Every unit of every layer is named after its own source file.
  for (const ModuleRecordInfo& m : modules)
    for (const TranslationUnitInfo& unit : m.units) {
      EXPECT_NE(unit.id.text, "??") << m.id.text;
      EXPECT_EQ(unit.id.text.find_first_of("/\\."), std::string::npos) << unit.id.text;
    }
}

class MacDebuggerTest : public RealModuleTest {
 protected:
  void TearDown() override {
    macos::SetDebuggerAnswer(macos::DebuggerAnswer::kFromProcess);
    RealModuleTest::TearDown();
  }
  // A diagnostic with its source location: the module cannot resolve a method the host left
  // out, because the initialiser is withheld.
  std::string LocatedDiagnostic() {
    OmitMethod("SetCString@5c5e8978bfe2a356");
    SetInitializerAbsent(true);
    Environment env;
    ModuleHost host(env);
    EXPECT_TRUE(host.LoadModule(ModulePath())) << (host.Errors().empty() ? "" : host.Errors().front());
    std::string found;
    for (const std::string& line : ConsoleLines())
      if (line.find("Assertion failed: g_maxon.GetInitializer()") != std::string::npos) found = line;
    host.Shutdown();
    return found;
  }
};

TEST_F(MacDebuggerTest, WithoutADebuggerTheLocationFollowsTheText) {
  macos::SetDebuggerAnswer(macos::DebuggerAnswer::kNotAttached);
  const std::string line = LocatedDiagnostic();
  EXPECT_EQ(line.rfind("CRITICAL: Assertion failed: g_maxon.GetInitializer() [object(139)]", 0), 0u) << line;
}

TEST_F(MacDebuggerTest, WithADebuggerTheFullLocationLeadsAndNoBreakWhenBreaksAreOff) {
  // Reaching a break here would stop the test with a trap.
  macos::SetDebuggerAnswer(macos::DebuggerAnswer::kAttached);
  ASSERT_TRUE(SetConfigurationOption("g_enableDebugBreak=false"));
  const std::string line = LocatedDiagnostic();
  EXPECT_NE(line.find("object(139): CRITICAL: Assertion failed: g_maxon.GetInitializer()"), std::string::npos)
      << line;
  EXPECT_EQ(line.find(" [object(139)]"), std::string::npos) << line;
}

TEST_F(MacDebuggerTest, AFailedProcessQueryIsReportedAndCountsAsNoDebugger) {
  macos::SetDebuggerAnswer(macos::DebuggerAnswer::kQueryFails);
  ::testing::internal::CaptureStdout();
  std::string line;
  {
    std::string error;
    std::unique_ptr<ModuleFile> file = ModuleFile::Load(ModulePath(), &error);
    EXPECT_TRUE(file) << error;
  }
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("CRITICAL: Assertion failed: junk == 0 [debugglobals(272)]"), std::string::npos) << out;
  line = LocatedDiagnostic();
  EXPECT_NE(line.find("[object(139)]"), std::string::npos) << line;
}
#endif

}  // namespace
}  // namespace fm::host
