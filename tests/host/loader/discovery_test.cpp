#include "host/loader/discovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fm::host {
namespace {

namespace fs = std::filesystem;

class DiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::path(FM_BINARY_DIR) / "discovery_test" /
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }
  void Touch(const fs::path& relative) {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative) << "x";
  }
  std::string Path(const fs::path& relative) { return (root_ / relative).string(); }
  fs::path root_;
};

const std::string kSuffix = FM_MODULE_SUFFIX;

TEST_F(DiscoveryTest, PluginFolderModulesExpectResBesideThem) {
  Touch("plugins/b/b" + kSuffix);
  fs::create_directories(root_ / "plugins/b/res");
  Touch("plugins/a/a" + kSuffix);
  Touch("plugins/a/notes.txt");
  Touch("plugins/top" + kSuffix);              // not in a folder of its own
  Touch("plugins/c/deeper/c" + kSuffix);       // two levels down
  std::string error;
  const std::vector<FoundModule> found = FindModules(Path("plugins"), Path("startup"), &error);
  EXPECT_EQ(error, "");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(fs::path(found[0].file), root_ / ("plugins/a/a" + kSuffix));
  EXPECT_EQ(fs::path(found[0].resourceDirectory), root_ / "plugins/a/res");
  EXPECT_FALSE(found[0].resourceDirectoryExists);
  EXPECT_EQ(fs::path(found[1].file), root_ / ("plugins/b/b" + kSuffix));
  EXPECT_TRUE(found[1].resourceDirectoryExists);
}

TEST_F(DiscoveryTest, StartupFolderModulesExpectResourcesInTheHostTree) {
  Touch("startup/corelibs/facetmender" + kSuffix);
  fs::create_directories(root_ / "startup/resource/modules/facetmender");
  std::string error;
  const std::vector<FoundModule> found = FindModules(Path("startup"), Path("startup"), &error);
  ASSERT_EQ(found.size(), 1u) << error;
  EXPECT_EQ(fs::path(found[0].resourceDirectory), root_ / "startup/resource/modules/facetmender");
  EXPECT_TRUE(found[0].resourceDirectoryExists);
}

TEST_F(DiscoveryTest, MissingFolderIsAnError) {
  std::string error;
  EXPECT_TRUE(FindModules(Path("nowhere"), "", &error).empty());
  EXPECT_NE(error.find("is not a folder"), std::string::npos) << error;
  Touch("file");
  error.clear();
  EXPECT_TRUE(FindModules(Path("file"), "", &error).empty());
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace fm::host
