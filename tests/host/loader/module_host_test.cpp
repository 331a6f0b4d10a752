#include "host/loader/module_host.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fixture_paths.h"
#include "fixture_state.h"
#include "host/framework/framework.h"
#include "host/framework/memory.h"
#include "host/framework/strings.h"
#include "host/loader/library.h"
#include "host/tables/paths.h"

namespace fm::host {
namespace {

using testing::FixturePath;

class ModuleHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFramework();
    blocks_ = LiveAllocationCount();
    strings_ = LiveStringCount();
    paths_ = LivePathCount();
  }
  void TearDown() override {
    ResetFramework();
    EXPECT_EQ(LiveAllocationCount(), blocks_);
    EXPECT_EQ(LiveStringCount(), strings_);
    EXPECT_EQ(LivePathCount(), paths_);
  }
  // Keeps the fixture image mapped after the host unloads it, so its records can be read.
  FixtureState* Pin(const std::string& name) {
    std::string error;
    pin_ = SharedLibrary::Open(FixturePath(name), &error);
    EXPECT_TRUE(pin_) << error;
    return pin_ ? static_cast<FixtureState*>(pin_->Symbol("fixture_state")) : nullptr;
  }
  int64_t blocks_ = 0, strings_ = 0, paths_ = 0;
  std::unique_ptr<SharedLibrary> pin_;
};

TEST_F(ModuleHostTest, StartsUpInOrderAndRunsTheCommandThroughItsRecord) {
  Environment env;
  FixtureState* state = Pin("fixture");
  ASSERT_TRUE(state);
  {
    ModuleHost host(env);
    ASSERT_TRUE(host.LoadModule(FixturePath("fixture"))) << host.Errors().front();
    EXPECT_TRUE(host.Errors().empty());
    EXPECT_TRUE(host.Warnings().empty()) << host.Warnings().front();
    ASSERT_EQ(state->messageEvents, 3);
    EXPECT_EQ(state->messageOrder[0], 1);
    EXPECT_EQ(state->messageOrder[1], 6);
    EXPECT_EQ(state->messageOrder[2], 2);
    EXPECT_EQ(state->apiVersion, 21000);
    EXPECT_EQ(state->pathLength, static_cast<int64_t>(host.Module(0).Path().size()));
    EXPECT_TRUE(std::filesystem::path(host.Module(0).Path()).is_absolute());

    const HostedCommand* command = host.FindCommand(kFixtureCommandId);
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->help, "Fixture help");
    EXPECT_EQ(command->name, "");
    const std::vector<LoadedModuleInfo> modules = host.Modules();
    ASSERT_EQ(modules.size(), 1u);
    EXPECT_EQ(modules[0].commandIds, std::vector<int32_t>{kFixtureCommandId});
    EXPECT_EQ(modules[0].records.size(), 2u);

    void* document = &env.ActiveDocument();
    EXPECT_EQ(host.Execute(kFixtureCommandId, document), true);
    EXPECT_EQ(state->lastDocument, document);
    EXPECT_EQ(host.State(kFixtureCommandId, document), 0x40000000);
    EXPECT_EQ(host.State(kFixtureCommandId, nullptr), 0);
    struct Case {
      int slot;
      bool answer;
    };
    for (const Case c : {Case{2, false}, Case{3, false}, Case{5, false}, Case{6, true}, Case{8, true}}) {
      SCOPED_TRACE(c.slot);
      EXPECT_EQ(host.Operation(kFixtureCommandId, c.slot, document), c.answer);
    }
    EXPECT_EQ(host.StringOperation(kFixtureCommandId, document), "seven");
    EXPECT_FALSE(host.Execute(kFixtureCommandId + 1, document));
    EXPECT_FALSE(host.Operation(kFixtureCommandId, 4, document));

    EXPECT_FALSE(host.LoadModule(FixturePath("fixture")));
    EXPECT_NE(host.Errors().back().find("is already loaded"), std::string::npos);
    EXPECT_EQ(state->messageEvents, 3);
    EXPECT_EQ(host.Commands().size(), 1u);
  }
  // Shut down: end message, the command released through its record, free hooks, unload.
  EXPECT_EQ(state->messages[3], 1);
  EXPECT_EQ(state->messageOrder[3], 3);
  EXPECT_EQ(state->releaseCalls, 1);
  EXPECT_EQ(state->commandsDestroyed, 1);
  EXPECT_EQ(state->hookOrder[2], -2);
  EXPECT_EQ(state->hookOrder[3], -1);
  EXPECT_TRUE(env.Registrations().empty());
}

TEST_F(ModuleHostTest, RefusedAttachUnloadsTheModuleAfterBalancingIt) {
  Environment env;
  FixtureState* state = Pin("fixture_refuse");
  ASSERT_TRUE(state);
  ModuleHost host(env);
  EXPECT_FALSE(host.LoadModule(FixturePath("fixture_refuse")));
  ASSERT_EQ(host.Errors().size(), 1u);
  EXPECT_NE(host.Errors()[0].find("refused the host (attach answered -3"), std::string::npos)
      << host.Errors()[0];
  EXPECT_EQ(host.ModuleCount(), 0u);
  EXPECT_EQ(state->messages[1], 1);
  EXPECT_EQ(state->messages[3], 1);
  EXPECT_EQ(state->messages[2], 0);
  EXPECT_EQ(state->hookOrder[2], -2);  // free hooks ran
}

TEST_F(ModuleHostTest, FolderLoadReportsBrokenModulesAndLoadsTheRest) {
  Environment env;
  ModuleHost host(env);
  EXPECT_FALSE(host.LoadFolder(FM_FIXTURE_DIR));
  EXPECT_EQ(host.ModuleCount(), 1u);  // only the sound fixture
  EXPECT_EQ(host.Errors().size(), 6u);
  EXPECT_NE(host.FindCommand(kFixtureCommandId), nullptr);
  EXPECT_FALSE(host.LoadFolder(std::string(FM_FIXTURE_DIR) + "/missing"));
}

TEST_F(ModuleHostTest, RegistrationRefusedByTheHostIsAWarningNotACommand) {
  Environment env;
  env.Faults().refuseRegistration = true;
  FixtureState* state = Pin("fixture");
  ASSERT_TRUE(state);
  {
    ModuleHost host(env);
    ASSERT_TRUE(host.LoadModule(FixturePath("fixture")));
    ASSERT_EQ(host.Warnings().size(), 1u);
    EXPECT_NE(host.Warnings()[0].find("start answered 0"), std::string::npos);
    EXPECT_TRUE(host.Commands().empty());
  }
  EXPECT_EQ(state->releaseCalls, 0);
  // The module keeps no pointer to an unregistered command object; that block is the module's
  // leak to own, not the host's. Take it off the books so the counts below compare.
  for (const AllocationRecord& block : LiveAllocations())
    if (block.file == "fixture_module.cpp") HostFreeWithDestructor(const_cast<void*>(block.block), nullptr);
}

TEST_F(ModuleHostTest, RepeatedCyclesBehaveTheSameAndLeakNothing) {
  for (int cycle = 0; cycle < 3; ++cycle) {
    SCOPED_TRACE(cycle);
    Environment env;
    ModuleHost host(env);
    ASSERT_TRUE(host.LoadModule(FixturePath("fixture")));
    EXPECT_EQ(host.Commands().size(), 1u);
    EXPECT_EQ(host.Execute(kFixtureCommandId, &env.ActiveDocument()), true);
    EXPECT_EQ(host.StringOperation(kFixtureCommandId, nullptr), "seven");
    host.Shutdown();
    EXPECT_EQ(host.ModuleCount(), 0u);
    EXPECT_EQ(LiveAllocationCount(), blocks_);
    EXPECT_EQ(LiveStringCount(), strings_);
    EXPECT_EQ(LivePathCount(), paths_);
  }
}

}  // namespace
}  // namespace fm::host
