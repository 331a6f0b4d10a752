// The module's entry point message by message, its resource directory and its registration, as a
// host that drives c4d_main itself sees them.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "host/framework/initializer.h"
#include "host/framework/memory.h"
#include "host/framework/strings.h"
#include "host/framework/switches.h"
#include "host/loader/command_record.h"
#include "host/loader/module_file.h"
#include "host/tables/environment.h"

namespace fm::test {
namespace {

namespace fs = std::filesystem;

const std::string kPluginFolder = std::string(FM_PLUGIN_DIR) + "/facetmender";
const std::string kModuleFile = kPluginFolder + "/facetmender" + FM_MODULE_SUFFIX;

std::string Absolute(const fs::path& p) { return fs::absolute(p).lexically_normal().string(); }

// A scratch folder removed at the end of the test. This program is also built to run the macOS
// module file, and CTest runs both side by side: each has a folder of its own, or one would remove
// the other's files while it reads them.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name)
#ifdef FM_MACOS_MODULE
      : path_(fs::path(FM_BINARY_DIR) / "scratch" / "macos" / name) {
#else
      : path_(fs::path(FM_BINARY_DIR) / "scratch" / name) {
#endif
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

class Lifecycle : public ::testing::Test {
 protected:
  void SetUp() override { environment_ = std::make_unique<host::Environment>(); Load(kModuleFile); }

  void Load(const std::string& file) {
    environment_->SetDiagnosticEcho(false);
    std::string error;
    module_ = host::ModuleFile::Load(file, &error);
    ASSERT_NE(module_, nullptr) << error;
    host::Release(pathWord_);
    pathWord_ = host::NewString(Absolute(file));
  }

  void TearDown() override {
    if (environment_ == nullptr) return;  // already torn down by the test itself
    // Commands registered during the test go back to the module before it is unloaded.
    for (host::CommandRegistration& r : environment_->Registrations()) {
      std::string error;
      if (auto record = host::CommandRecord::Make(r.record, &error)) record->Release();
    }
    environment_->Registrations().clear();
    module_.reset();
    host::Release(pathWord_);
    pathWord_ = nullptr;
    environment_.reset();
    host::AllocationFault().Off();
  }

  int32_t Main(int32_t message, void* a = nullptr, void* b = nullptr, void* c = nullptr) {
    return module_->Main(message, a, b, c);
  }
  int32_t Attach() { return Main(1, environment_->Tables(), nullptr, &pathWord_); }
  int32_t LoadResources() { return Main(6, reinterpret_cast<void*>(intptr_t{1})); }
  int32_t Start() { return Main(2); }

  host::Environment& Env() { return *environment_; }

  // What the last registration named the command.
  std::string RegisteredName() {
    EXPECT_FALSE(Env().Registrations().empty());
    return Env().Registrations().empty() ? "" : Env().Registrations().back().name;
  }

  std::unique_ptr<host::Environment> environment_;
  std::unique_ptr<host::ModuleFile> module_;
  host::HostString* pathWord_ = nullptr;
};

TEST_F(Lifecycle, VersionGate) {
  Env().ApiVersion() = 20999;
  EXPECT_EQ(Attach(), -3);
  EXPECT_EQ(Main(3), 1);  // balances the attach; nothing was allocated
  Env().ApiVersion() = 21000;
  EXPECT_EQ(Attach(), 1);
  EXPECT_EQ(Main(3), 1);
}

TEST_F(Lifecycle, NullPathIsRefused) {
  const int64_t before = host::LiveAllocationCount();
  EXPECT_EQ(Main(1, Env().Tables(), nullptr, nullptr), -3);
  EXPECT_EQ(host::LiveAllocationCount(), before);
  EXPECT_EQ(Main(3), 1);
}

TEST_F(Lifecycle, SecondAttachReadsNoArguments) {
  EXPECT_EQ(Attach(), 1);
  // Garbage that would crash the module if it were read.
  EXPECT_EQ(Main(1, reinterpret_cast<void*>(intptr_t{8}), nullptr, reinterpret_cast<void*>(intptr_t{8})), 1);
  const int64_t attached = host::LiveAllocationCount();
  EXPECT_EQ(Main(3), 1);  // count 2 -> 1: releases nothing
  EXPECT_EQ(host::LiveAllocationCount(), attached);
  EXPECT_EQ(Main(3), 1);  // the final end releases the module's copy of its path
  EXPECT_LT(host::LiveAllocationCount(), attached);
}

TEST_F(Lifecycle, EndWithoutAttachReleasesNothing) {
  const int64_t before = host::LiveAllocationCount();
  EXPECT_EQ(Main(3), 1);
  EXPECT_EQ(host::LiveAllocationCount(), before);
  EXPECT_EQ(Attach(), 1);  // count is back to 1: this is a first attach
  EXPECT_EQ(Main(3), 1);
}

TEST_F(Lifecycle, FixedAnswers) {
  EXPECT_EQ(Main(4), 5);
  for (int32_t message : {0, 5, 7, 8, -1}) EXPECT_EQ(Main(message), -1) << message;
  EXPECT_EQ(Attach(), 1);
  EXPECT_EQ(Main(4), 5);
  EXPECT_EQ(Main(6, reinterpret_cast<void*>(intptr_t{0})), 1);
  EXPECT_EQ(Main(6, reinterpret_cast<void*>(intptr_t{2})), -1);
  // Only the low 32 bits of the module-message id count.
  EXPECT_EQ(Main(6, reinterpret_cast<void*>(intptr_t{0x100000000})), 1);
  EXPECT_EQ(Main(3), 1);
  EXPECT_EQ(Main(4), 5);
}

TEST_F(Lifecycle, ResourcesLoadOnceFromResBesideTheModule) {
  ASSERT_EQ(Attach(), 1);
  EXPECT_EQ(LoadResources(), 1);
  EXPECT_EQ(Env().LiveResourceSetCount(), 1u);
  EXPECT_EQ(LoadResources(), 1);  // no second load
  EXPECT_EQ(Env().LiveResourceSetCount(), 1u);
  EXPECT_EQ(Start(), 1);
  EXPECT_EQ(RegisteredName(), "Untriangulate");
  EXPECT_EQ(Main(3), 1);
  EXPECT_EQ(Env().LiveResourceSetCount(), 0u);
  // After the final end a load is not tried again.
  EXPECT_EQ(LoadResources(), -1);
  EXPECT_EQ(Env().LiveResourceSetCount(), 0u);
}

TEST_F(Lifecycle, FailedResourceLoadGivesEmptyTextsAndIsNotRetried) {
  ASSERT_EQ(Attach(), 1);
  Env().Faults().failResourceLoad = true;
  EXPECT_EQ(LoadResources(), -1);
  Env().Faults().failResourceLoad = false;
  EXPECT_EQ(LoadResources(), -1);
  EXPECT_EQ(Start(), 1);
  EXPECT_EQ(RegisteredName(), "");
  EXPECT_EQ(Env().Registrations().back().help, "Facetmender 1.01.0");
  EXPECT_EQ(Main(3), 1);
}

TEST_F(Lifecycle, WithoutItsPathTheModuleLooksInRelativeRes) {
  // The path storage is the first thing the module allocates at attach.
  host::AllocationFault().Nth(1);
  ASSERT_EQ(Attach(), 1);
  host::AllocationFault().Off();
  const fs::path cwd = fs::current_path();
  fs::current_path(kPluginFolder);
  EXPECT_EQ(LoadResources(), 1);
  fs::current_path(cwd);
  EXPECT_EQ(Start(), 1);
  EXPECT_EQ(RegisteredName(), "Untriangulate");
  EXPECT_EQ(Main(3), 1);
}

TEST_F(Lifecycle, ModuleFolderInTheStartupDirectoryUsesTheHostsResourceTree) {
  ScratchFolder startup("startup-tree");
  const fs::path folder = startup.Path() / "facetmender";
  fs::create_directories(folder);
  fs::copy_file(kModuleFile, folder / fs::path(kModuleFile).filename());
  const fs::path resources = startup.Path() / "resource" / "modules" / "facetmender";
  fs::create_directories(resources);
  std::ofstream(resources / "strings.str") << "10000 \"From the host tree\"\n";
  fs::copy_file(fs::path(kPluginFolder) / "res" / "icon.tif", resources / "icon.tif");

  TearDown();
  environment_ = std::make_unique<host::Environment>();
  Env().SetStartupDirectory(Absolute(startup.Path()));
  Load(Absolute(folder / fs::path(kModuleFile).filename()));
  ASSERT_EQ(Attach(), 1);
  EXPECT_EQ(LoadResources(), 1);
  EXPECT_EQ(Start(), 1);
  EXPECT_EQ(RegisteredName(), "From the host tree");
  EXPECT_NE(Env().Registrations().back().icon, nullptr);
  EXPECT_EQ(Main(3), 1);
  TearDown();
}

TEST_F(Lifecycle, MissingIconRegistersWithoutOne) {
  ScratchFolder plugins("no-icon");
  const fs::path folder = plugins.Path() / "facetmender";
  fs::create_directories(folder / "res");
  fs::copy_file(kModuleFile, folder / fs::path(kModuleFile).filename());
  fs::copy_file(fs::path(kPluginFolder) / "res" / "strings.str", folder / "res" / "strings.str");

  TearDown();
  environment_ = std::make_unique<host::Environment>();
  Load(Absolute(folder / fs::path(kModuleFile).filename()));
  ASSERT_EQ(Attach(), 1);
  EXPECT_EQ(LoadResources(), 1);
  const size_t bitmaps = Env().LiveBitmapCount();
  EXPECT_EQ(Start(), 1);
  ASSERT_EQ(Env().Registrations().size(), 1u);
  EXPECT_EQ(Env().Registrations()[0].icon, nullptr);
  EXPECT_EQ(Env().LiveBitmapCount(), bitmaps);  // the bitmap made for the attempt was freed
  EXPECT_EQ(Main(3), 1);
  TearDown();
}

TEST_F(Lifecycle, RegistrationRecordAndRepeatedStarts) {
  ASSERT_EQ(Attach(), 1);
  ASSERT_EQ(LoadResources(), 1);
  EXPECT_EQ(Start(), 1);
  EXPECT_EQ(Start(), 1);
  ASSERT_EQ(Env().Registrations().size(), 2u);
  for (const host::CommandRegistration& r : Env().Registrations()) {
    EXPECT_EQ(r.api, 21000);
    EXPECT_EQ(r.kind, 4);
    EXPECT_EQ(r.id, 1050896);
    EXPECT_EQ(r.help, "Facetmender 1.01.0");
    ASSERT_NE(r.icon, nullptr);
    ASSERT_EQ(r.recordSize, host::kRecordSize);
  }
  // Two registrations, two command objects.
  std::string error;
  auto first = host::CommandRecord::Make(Env().Registrations()[0].record, &error);
  auto second = host::CommandRecord::Make(Env().Registrations()[1].record, &error);
  ASSERT_TRUE(first && second) << error;
  EXPECT_NE(first->Object(), second->Object());

  // Every byte is zero but the listed fields; the entry between slot 6 and slot 7 stays zero.
  const std::vector<uint8_t>& bytes = Env().Registrations()[0].record;
  const bool itanium = host::kItaniumRecord;
  const size_t w = host::kRecordEntryWidth;
  std::vector<bool> set(bytes.size(), false);
  auto mark = [&](size_t offset, size_t width) {
    for (size_t i = 0; i < width; ++i) set[offset + i] = true;
  };
  mark(0x08, 8);                          // release entry (Itanium: then 8 zero bytes)
  mark(itanium ? 0x80 : 0x40, 8);         // command object
  mark(itanium ? 0x100 : 0x80, 8);        // help text
  mark(itanium ? 0x108 : 0x88, 8);        // icon
  for (int slot : {1, 4, 6, 7, 5, 2, 8, 3}) mark(host::RecordEntryOffset(slot), itanium ? 8 : w);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (!set[i]) {
      EXPECT_EQ(bytes[i], 0) << "byte 0x" << std::hex << i;
    }
  }
  const size_t gap = itanium ? 0x140 : 0xa8;
  for (size_t i = gap; i < gap + w; ++i) EXPECT_EQ(bytes[i], 0);
  if (itanium) {
    // Virtual member references: 1 + the operation's offset in the virtual table.
    const std::pair<int, uint64_t> words[] = {{1, 17}, {4, 41}, {6, 57}, {7, 65},
                                              {5, 49}, {2, 25}, {8, 73}, {3, 33}};
    for (auto [slot, word] : words) {
      uint64_t value = 0;
      std::memcpy(&value, &bytes[host::RecordEntryOffset(slot)], 8);
      EXPECT_EQ(value, word) << "slot " << slot;
    }
  }

  // The inherited operations answer their defaults through the record.
  EXPECT_EQ(first->BoolOperation(2, &Env().ActiveDocument()), false);
  EXPECT_EQ(first->BoolOperation(3, &Env().ActiveDocument()), false);
  EXPECT_EQ(first->BoolOperation(5, &Env().ActiveDocument()), false);
  EXPECT_EQ(first->BoolOperation(6, &Env().ActiveDocument()), true);
  EXPECT_EQ(first->BoolOperation(8, &Env().ActiveDocument()), true);
  std::optional<host::HostString*> text = first->StringOperation(&Env().ActiveDocument());
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(host::ToUtf8(*text), "");
  host::Release(*text);
  EXPECT_EQ(Main(3), 1);
}

// A method the host could not bind at load is bound late, through the host's initialiser, the
// first time the module calls it: here SetCString, which makes the registration's help text. The
// host re-binds the whole string reference it finds from the id; since it lacks other string
// methods it still answers "unresolved", so that first call fails, but every later one goes
// straight to the host.
TEST_F(Lifecycle, AMethodBoundLateThroughTheInitialiserStaysBound) {
  module_.reset();
  host::OmitMethod("SetCString@5c5e8978bfe2a356");
  Load(kModuleFile);
  host::ClearSwitches();
  host::ResetInitializerCalls();
  ASSERT_EQ(Attach(), 1);
  ASSERT_EQ(LoadResources(), 1);
  EXPECT_EQ(Start(), 1);
  EXPECT_EQ(host::InitializerCalls().references, 1);
  EXPECT_EQ(Start(), 1);
  ASSERT_EQ(Env().Registrations().size(), 2u);
  EXPECT_EQ(Env().Registrations()[0].help, "") << "the call that asked for the binding";
  EXPECT_NE(Env().Registrations()[0].icon, nullptr) << "the icon's name was made after it";
  EXPECT_EQ(Env().Registrations()[1].help, "Facetmender 1.01.0");
  EXPECT_EQ(host::InitializerCalls().references, 1) << "bound for good";
  EXPECT_EQ(Main(3), 1);
}

// A refused object has no owner: the module must not free it, since a host may keep or release
// what it refused. Exactly one block, the command object, stays behind.
TEST_F(Lifecycle, ARefusedRegistrationLeavesTheCommandObjectAlive) {
  ASSERT_EQ(Attach(), 1);
  ASSERT_EQ(LoadResources(), 1);
  Env().Faults().refuseRegistration = true;
  const int64_t blocks = host::LiveAllocationCount();
  const int64_t foreign = host::ForeignFreeCount();
  EXPECT_EQ(Start(), 0);
  EXPECT_TRUE(Env().Registrations().empty());
  ASSERT_EQ(host::LiveAllocationCount(), blocks + 1);
  const host::AllocationRecord object = host::LiveAllocations().back();
  EXPECT_EQ(object.size, 8) << "one virtual-table pointer";
  EXPECT_EQ(host::ForeignFreeCount(), foreign);
  // The host gives the unowned block back itself, once.
  host::HostFreeWithDestructor(const_cast<void*>(object.block), [](void*) {});
  EXPECT_EQ(host::LiveAllocationCount(), blocks);
  EXPECT_EQ(Main(3), 1);
}

TEST_F(Lifecycle, FailedObjectAllocationFailsTheStart) {
  ASSERT_EQ(Attach(), 1);
  ASSERT_EQ(LoadResources(), 1);
  // The command object is the first allocation of the registration.
  host::AllocationFault().Nth(1);
  EXPECT_EQ(Start(), 0);
  host::AllocationFault().Off();
  EXPECT_TRUE(Env().Registrations().empty());
  EXPECT_EQ(Main(3), 1);
}

}  // namespace
}  // namespace fm::test
