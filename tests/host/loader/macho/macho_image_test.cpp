// The Mach-O loader on small dylibs built for the purpose: what it maps, binds and runs, the
// macOS functions it stands in for, and the files it must refuse before running any of them.

#include "host/loader/macho_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

#include "host/loader/library.h"
#include "host/loader/macos_imports.h"
#include "macho_test_files.h"

namespace fm::host::macho {
namespace {

using testing::MachOFixture;
using testing::ReadBytes;

std::string g_exitOrder;
void RecordExit(char id) { g_exitOrder += id; }

template <typename T>
T Export(const Image& image, const char* name) {
  return reinterpret_cast<T>(image.Symbol(name));
}

TEST(MachOImage, RunsInitialisersInFileOrderBindsImportsAndRunsDestructorsNewestFirstAtUnload) {
  const size_t pendingBefore = macos::PendingExitHandlers();
  std::string error;
  std::unique_ptr<Image> image = Image::Load(MachOFixture("fixture"), &error);
  ASSERT_NE(image, nullptr) << error;
  // The two constructor functions, then the unit's static objects: the order the file lists them.
  EXPECT_STREQ(Export<const char*>(*image, "fixture_log"), "12ab");
  EXPECT_EQ(image->InitializerCount(), 3u);
  // A lazily bound libSystem function, called through the module's stub.
  auto length = Export<size_t (*)(const char*)>(*image, "fixture_length");
  ASSERT_NE(length, nullptr);
  EXPECT_EQ(length("facetmender"), 11u);
  // macOS's stdout variable is this process's stdout.
  EXPECT_EQ(Export<void* (*)()>(*image, "fixture_stdout")(), static_cast<void*>(stdout));
  EXPECT_EQ(image->Symbol("fixture_absent"), nullptr);
  EXPECT_EQ(image->Symbol("_fixture_log"), nullptr) << "names are looked up without the underscore";
  // The static objects' destructors were kept, not handed to this process's atexit.
  EXPECT_EQ(macos::PendingExitHandlers(), pendingBefore + 2);
  *Export<void (**)(char)>(*image, "fixture_on_exit") = &RecordExit;
  g_exitOrder.clear();
  image.reset();
  EXPECT_EQ(g_exitOrder, "ba");
  EXPECT_EQ(macos::PendingExitHandlers(), pendingBefore);
}

TEST(MachOImage, LoadUnloadCyclesStartFromFreshData) {
  for (int cycle = 0; cycle < 3; ++cycle) {
    SCOPED_TRACE(cycle);
    std::string error;
    std::unique_ptr<Image> image = Image::Load(MachOFixture("fixture"), &error);
    ASSERT_NE(image, nullptr) << error;
    EXPECT_STREQ(Export<const char*>(*image, "fixture_log"), "12ab");
  }
}

TEST(MachOImage, PreparingRunsNothing) {
  std::string error;
  std::unique_ptr<Image> image = Image::Prepare(ReadBytes(MachOFixture("fixture")), &error);
  ASSERT_NE(image, nullptr) << error;
  EXPECT_STREQ(Export<const char*>(*image, "fixture_log"), "");
  const size_t pending = macos::PendingExitHandlers();
  image.reset();  // no destructors were registered, none run
  EXPECT_EQ(macos::PendingExitHandlers(), pending);
}

TEST(MachOImage, ImportsAreBoundOnlyFromTheTable) {
  std::string error;
  std::unique_ptr<Image> image = Image::Prepare(ReadBytes(MachOFixture("fixture")), &error);
  ASSERT_NE(image, nullptr) << error;
  std::vector<std::string> symbols;
  for (const ImportUse& use : image->Imports()) {
    EXPECT_EQ(use.library, macos::kLibSystem);
    EXPECT_NE(macos::ResolveImport(use.library, use.symbol), nullptr) << use.symbol;
    symbols.push_back(use.symbol);
  }
  std::sort(symbols.begin(), symbols.end());
  const std::vector<std::string> expected = {"___cxa_atexit", "___stdoutp", "_getpid", "_strlen", "_sysctl",
                                             "dyld_stub_binder"};
  EXPECT_EQ(symbols, expected);
  // A symbol is only found under the library that provides it.
  EXPECT_EQ(macos::ResolveImport(macos::kLibCxx, "_strlen"), nullptr);
  EXPECT_NE(macos::ResolveImport("", "_strlen"), nullptr);
}

TEST(MachOImage, TheTableHoldsExactlyWhatTheModuleFileImports) {
  const std::string module = testing::MacModuleFile();
  if (module.empty() || !std::filesystem::exists(module)) GTEST_SKIP() << "the build has no macOS module file";
  std::string error;
  std::unique_ptr<Image> image = Image::Prepare(ReadBytes(module), &error);
  ASSERT_NE(image, nullptr) << error;
  std::set<std::pair<std::string, std::string>> imported, table;
  for (const ImportUse& use : image->Imports()) imported.emplace(use.library, use.symbol);
  for (const macos::ImportEntry& entry : macos::ImportTable()) table.emplace(entry.library, entry.symbol);
  EXPECT_EQ(imported, table);
}

class DebuggerQuery : public ::testing::Test {
 protected:
  void TearDown() override { macos::SetDebuggerAnswer(macos::DebuggerAnswer::kFromProcess); }
};

TEST_F(DebuggerQuery, TheProcessQueryReportsWhatTheTestSets) {
  std::string error;
  std::unique_ptr<Image> image = Image::Load(MachOFixture("fixture"), &error);
  ASSERT_NE(image, nullptr) << error;
  auto traced = Export<int (*)()>(*image, "fixture_traced");
  const struct {
    macos::DebuggerAnswer answer;
    int expected;
  } cases[] = {{macos::DebuggerAnswer::kAttached, 3},
               {macos::DebuggerAnswer::kNotAttached, 2},
               {macos::DebuggerAnswer::kQueryFails, -1},
               {macos::DebuggerAnswer::kFromProcess, 2}};  // nobody traces the test
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.answer));
    macos::SetDebuggerAnswer(c.answer);
    EXPECT_EQ(traced(), c.expected);
  }
}

// Load commands of the fixture, to patch one in place.
struct Command {
  size_t offset;
  uint32_t id;
};
std::vector<Command> Commands(const std::vector<uint8_t>& bytes) {
  std::vector<Command> out;
  uint32_t count, offset = 32;
  std::memcpy(&count, bytes.data() + 16, 4);
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t id, size;
    std::memcpy(&id, bytes.data() + offset, 4);
    std::memcpy(&size, bytes.data() + offset + 4, 4);
    out.push_back(Command{offset, id});
    offset += size;
  }
  return out;
}
void Put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) { std::memcpy(bytes.data() + offset, &value, 4); }

TEST(MachOImage, RefusesWhatItCannotHonourAndSaysWhat) {
  const std::vector<uint8_t> good = ReadBytes(MachOFixture("fixture"));
  ASSERT_GT(good.size(), 4096u);
  const std::vector<Command> commands = Commands(good);
  auto find = [&](uint32_t id) {
    for (const Command& c : commands)
      if (c.id == id) return c.offset;
    ADD_FAILURE() << "no load command " << id;
    return size_t{0};
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* error;
  };
  std::vector<Case> cases;
  auto patched = [&](const char* name, size_t offset, uint32_t value, const char* error) {
    std::vector<uint8_t> bytes = good;
    Put32(bytes, offset, value);
    cases.push_back(Case{name, std::move(bytes), error});
  };
  patched("another architecture", 4, 0x0100000c, "architecture arm64");
  patched("an executable", 12, 2, "an executable, not a dylib");
  patched("chained fixups", find(0x1b), 0x80000034, "chained fixups");
  patched("unknown load command", find(0x1b), 0x77, "load command 0x77");
  patched("load commands past the end", 20, 0x7fffffff, "run past the end of the file");
  // The first segment is __TEXT: its initial protection sits 60 bytes into the command.
  patched("writable code", find(0x19) + 60, 7, "beyond its maximum");
  cases.back().bytes[find(0x19) + 56] = 7;  // maximum protection too
  cases.back().error = "both writable and executable";
  // LC_DYLD_INFO_ONLY: the bind information moved beyond the file.
  patched("bind information outside", find(0x80000022) + 16, static_cast<uint32_t>(good.size()),
          "bind information");
  cases.push_back(Case{"truncated", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2),
                       "outside the file"});
  cases.push_back(Case{"empty", {}, "too short"});
  cases.push_back(Case{"universal file", {0xca, 0xfe, 0xba, 0xbe, 0, 0, 0, 1}, "universal"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    EXPECT_EQ(Image::Prepare(c.bytes, &error), nullptr);
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

TEST(MachOImage, AFileForAnotherArchitectureOrWithAnImportOutsideTheTableIsRefusedUnrun) {
  // The unknown-import fixture traps in its initialiser: reaching it would end this test.
  std::string error;
  EXPECT_EQ(Image::Load(MachOFixture("unknown_import"), &error), nullptr);
  EXPECT_NE(error.find("_puts from /usr/lib/libSystem.B.dylib"), std::string::npos) << error;
  EXPECT_EQ(Image::Load(MachOFixture("arm64"), &error), nullptr);
  EXPECT_NE(error.find("architecture arm64"), std::string::npos) << error;
}

TEST(MachOImage, TheModuleFileInterfaceChoosesTheLoaderByTheFirstBytes) {
  std::string error;
  std::unique_ptr<SharedLibrary> library = SharedLibrary::Open(MachOFixture("fixture"), &error);
  ASSERT_NE(library, nullptr) << error;
  EXPECT_NE(library->Symbol("fixture_length"), nullptr);
  EXPECT_EQ(SharedLibrary::Open(MachOFixture("arm64"), &error), nullptr);
  EXPECT_EQ(error.rfind("cannot load \"" + MachOFixture("arm64") + "\": a Mach-O file for architecture arm64", 0), 0u)
      << error;
  EXPECT_EQ(error.find('\n'), std::string::npos);
}

}  // namespace
}  // namespace fm::host::macho
