#include "host/mesh/output_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fm::host::mesh {
namespace {

namespace fs = std::filesystem;

class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = fs::temp_directory_path() /
                 (std::string("fm-output-file-") +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(directory_);
    fs::create_directories(directory_);
  }
  void TearDown() override { fs::remove_all(directory_); }

  std::string Path(const std::string& name) const { return (directory_ / name).string(); }
  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  size_t EntryCount() const {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(directory_)) ++count;
    return count;
  }

  fs::path directory_;
};

TEST_F(OutputFileTest, CommitLeavesExactlyTheResult) {
  OutputFile file;
  std::string error;
  ASSERT_TRUE(file.Open(Path("out.obj"), error)) << error;
  EXPECT_TRUE(fs::exists(file.temporaryPath()));
  EXPECT_FALSE(fs::exists(Path("out.obj")));
  ASSERT_TRUE(file.Commit("v 1 2 3\n", error)) << error;
  EXPECT_EQ(Contents(Path("out.obj")), "v 1 2 3\n");
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(OutputFileTest, PiecesOfEverySizeArriveInOrder) {
  OutputFile file;
  std::string error, expected;
  ASSERT_TRUE(file.Open(Path("out.obj"), error)) << error;
  // Small pieces are gathered; one larger than the gathering block goes out between them.
  for (size_t size : {size_t{3}, size_t{1000}, size_t{3} << 20, size_t{1}, (size_t{1} << 20) - 1}) {
    const std::string piece(size, static_cast<char>('a' + expected.size() % 26));
    ASSERT_TRUE(file.Append(piece, error)) << error;
    expected += piece;
  }
  EXPECT_FALSE(fs::exists(Path("out.obj")));
  ASSERT_TRUE(file.Commit(error)) << error;
  EXPECT_TRUE(Contents(Path("out.obj")) == expected);
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(OutputFileTest, CommitReplacesAnExistingFile) {
  std::ofstream(Path("out.obj")) << "old";
  OutputFile file;
  std::string error;
  ASSERT_TRUE(file.Open(Path("out.obj"), error)) << error;
  ASSERT_TRUE(file.Commit("new", error)) << error;
  EXPECT_EQ(Contents(Path("out.obj")), "new");
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(OutputFileTest, AnAbandonedRunLeavesNothingAndKeepsAnExistingFile) {
  std::ofstream(Path("kept.obj")) << "old";
  {
    OutputFile fresh, existing;
    std::string error;
    ASSERT_TRUE(fresh.Open(Path("fresh.obj"), error)) << error;
    ASSERT_TRUE(existing.Open(Path("kept.obj"), error)) << error;
    EXPECT_EQ(EntryCount(), 3u);
  }
  EXPECT_EQ(EntryCount(), 1u);
  EXPECT_EQ(Contents(Path("kept.obj")), "old");
}

TEST_F(OutputFileTest, UnwritableDestinationsAreFoundAtOpen) {
  fs::create_directories(directory_ / "sub");
  struct Case {
    std::string path;
    std::string error;
  };
  const Case cases[] = {
      {Path("no/such/dir/out.obj"), Path("no/such/dir/out.obj") + ": cannot be written: "},
      {Path("sub"), Path("sub") + ": is a directory, cannot write the result there"},
      {"", "no output path given"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    OutputFile file;
    std::string error;
    EXPECT_FALSE(file.Open(c.path, error));
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    EXPECT_TRUE(file.temporaryPath().empty());
  }
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(OutputFileTest, CommitWithoutOpenFails) {
  OutputFile file;
  std::string error;
  EXPECT_FALSE(file.Commit("x", error));
  EXPECT_EQ(error, "no output file open");
}

}  // namespace
}  // namespace fm::host::mesh
