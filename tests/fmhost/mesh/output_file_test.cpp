#include "host/mesh/output_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

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
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  size_t EntryCount() const {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(directory_)) ++count;
    return count;
  }

  fs::path directory_;
};

const OutputFile::Temporary kTemporaries[] = {OutputFile::Temporary::kUnnamedWherePossible,
                                              OutputFile::Temporary::kNamed};

TEST_F(OutputFileTest, CommitLeavesExactlyTheResult) {
  for (OutputFile::Temporary temporary : kTemporaries) {
    SCOPED_TRACE(static_cast<int>(temporary));
    for (bool existing : {false, true}) {
      SCOPED_TRACE(existing ? "over an existing file" : "new file");
      if (existing) std::ofstream(Path("out.obj")) << "old";
      OutputFile file;
      std::string error;
      ASSERT_TRUE(file.Open(Path("out.obj"), error, temporary)) << error;
      EXPECT_EQ(file.kind(), OutputFile::Kind::kReplace);
      // A named temporary lies beside the destination until the commit; an unnamed one nowhere.
      EXPECT_EQ(EntryCount(), (existing ? 1u : 0u) + (file.temporaryPath().empty() ? 0u : 1u));
      EXPECT_EQ(fs::exists(Path("out.obj")), existing);
      ASSERT_TRUE(file.Commit("v 1 2 3\n", error)) << error;
      EXPECT_EQ(Contents(Path("out.obj")), "v 1 2 3\n");
      EXPECT_EQ(Entries(), std::vector<std::string>{"out.obj"});
      fs::remove(Path("out.obj"));
    }
  }
}

TEST_F(OutputFileTest, PiecesOfEverySizeArriveInOrder) {
  // Small pieces are gathered; one larger than the gathering block goes out between them. A
  // result of several megabytes is handed to the disk as it grows, a replacing one too, and one
  // file written after another through the same object starts again from nothing.
  const std::vector<size_t> small = {3, 1000, size_t{3} << 20, 1, (size_t{1} << 20) - 1};
  std::vector<size_t> large = small;
  large.insert(large.end(), {size_t{5} << 20, 5, size_t{4} << 20});
  OutputFile file;
  for (const std::vector<size_t>* sizes :
       std::initializer_list<const std::vector<size_t>*>{&small, &large, &large, &small}) {
    std::string error, expected;
    const bool existed = fs::exists(Path("out.obj"));
    const std::string before = existed ? Contents(Path("out.obj")) : "";
    ASSERT_TRUE(file.Open(Path("out.obj"), error)) << error;
    for (size_t size : *sizes) {
      const std::string piece(size, static_cast<char>('a' + expected.size() % 26));
      ASSERT_TRUE(file.Append(piece, error)) << error;
      expected += piece;
    }
    EXPECT_TRUE((existed ? Contents(Path("out.obj")) == before : !fs::exists(Path("out.obj"))));
    ASSERT_TRUE(file.Commit(error)) << error;
    EXPECT_TRUE(Contents(Path("out.obj")) == expected);
    EXPECT_EQ(EntryCount(), 1u);
  }
}

// Bytes of another file come out as they are, copied from file to file or written, with what is
// gathered before them first.
TEST_F(OutputFileTest, BytesOfAnotherFileArriveInOrder) {
  std::string source;
  for (size_t i = 0; source.size() < (size_t{3} << 20); ++i) source += std::to_string(i) + "\n";
  std::ofstream(Path("in.obj"), std::ios::binary) << source;
#ifndef _WIN32
  const int from = open(Path("in.obj").c_str(), O_RDONLY);
  ASSERT_GE(from, 0);
#else
  const int from = -1;
#endif
  const std::string_view bytes(source);
  for (bool existing : {false, true}) {
    SCOPED_TRACE(existing ? "over an existing file" : "new file");
    if (existing) std::ofstream(Path("out.obj")) << "old";
    OutputFile file;
    std::string error;
    ASSERT_TRUE(file.Open(Path("out.obj"), error)) << error;
    ASSERT_TRUE(file.Append("head\n", error)) << error;
    // Large runs, a small one, one from no file, one from the middle to the end.
    const size_t cuts[] = {0, 7, (size_t{1} << 20) + 7, (size_t{1} << 20) + 100, size_t{2} << 20,
                           bytes.size()};
    for (size_t k = 0; k + 1 < std::size(cuts); ++k) {
      const std::string_view piece = bytes.substr(cuts[k], cuts[k + 1] - cuts[k]);
      ASSERT_TRUE(file.AppendFromFile(k == 3 ? -1 : from, cuts[k], piece, error)) << error;
    }
    ASSERT_TRUE(file.Append("tail\n", error)) << error;
    ASSERT_TRUE(file.Commit(error)) << error;
    EXPECT_TRUE(Contents(Path("out.obj")) == "head\n" + source + "tail\n");
  }
#ifndef _WIN32
  close(from);
#endif
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
  for (OutputFile::Temporary temporary : kTemporaries) {
    SCOPED_TRACE(static_cast<int>(temporary));
    {
      OutputFile fresh, existing;
      std::string error;
      ASSERT_TRUE(fresh.Open(Path("fresh.obj"), error, temporary)) << error;
      ASSERT_TRUE(existing.Open(Path("kept.obj"), error, temporary)) << error;
      ASSERT_TRUE(existing.Append("new", error)) << error;
    }
    EXPECT_EQ(Entries(), std::vector<std::string>{"kept.obj"});
    EXPECT_EQ(Contents(Path("kept.obj")), "old");
  }
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

TEST_F(OutputFileTest, SymbolicLinksAreFollowedAndStay) {
  std::ofstream(Path("target.obj")) << "old";
  std::error_code ec;
  fs::create_symlink("target.obj", Path("link.obj"), ec);
  if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
  fs::create_symlink("link.obj", Path("chain.obj"));
  fs::create_symlink("missing.obj", Path("dangling.obj"));
  fs::create_symlink("loop-b.obj", Path("loop-a.obj"));
  fs::create_symlink("loop-a.obj", Path("loop-b.obj"));
  struct Case {
    const char* path;
    const char* written;  // the file that gets the contents
  };
  const Case cases[] = {
      {"link.obj", "target.obj"},
      {"chain.obj", "target.obj"},
      {"dangling.obj", "missing.obj"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    OutputFile file;
    std::string error;
    ASSERT_TRUE(file.Open(Path(c.path), error)) << error;
    EXPECT_EQ(fs::path(file.destination()).filename(), c.written);
    ASSERT_TRUE(file.Commit(c.path, error)) << error;
    EXPECT_TRUE(fs::is_symlink(Path(c.path)));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Path(c.written))));
    EXPECT_EQ(Contents(Path(c.written)), c.path);
  }
  OutputFile file;
  std::string error;
  EXPECT_FALSE(file.Open(Path("loop-a.obj"), error));
  EXPECT_NE(error.find("symbolic links"), std::string::npos) << error;
  EXPECT_EQ(EntryCount(), 7u);
}

#ifdef _WIN32

TEST_F(OutputFileTest, TheNullDeviceIsWrittenToDirectly) {
  OutputFile file;
  std::string error;
  ASSERT_TRUE(file.Open("NUL", error)) << error;
  EXPECT_EQ(file.kind(), OutputFile::Kind::kDirect);
  EXPECT_TRUE(file.temporaryPath().empty());
  ASSERT_TRUE(file.Commit("v 1 2 3\n", error)) << error;
}

#else

TEST_F(OutputFileTest, AReplacedFileKeepsItsModeAndOwner) {
  const std::string path = Path("out.obj");
  struct Case {
    mode_t mode;
    bool otherOwner;  // only root may give a file away
  };
  const Case cases[] = {{0640, false}, {0600, false}, {0755, false}, {0444, false},
                        {0640, true},  {04755, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    if (c.otherOwner && geteuid() != 0) continue;
    for (OutputFile::Temporary temporary : kTemporaries) {
      fs::remove(path);
      std::ofstream(path) << "old";
      if (c.otherOwner) {
        ASSERT_EQ(chown(path.c_str(), 1234, 5678), 0);
      }
      ASSERT_EQ(chmod(path.c_str(), c.mode), 0);  // after chown, which clears set-user-id
      OutputFile file;
      std::string error;
      ASSERT_TRUE(file.Open(path, error, temporary)) << error;
      ASSERT_TRUE(file.Commit("new", error)) << error;
      struct stat after;
      ASSERT_EQ(stat(path.c_str(), &after), 0);
      EXPECT_EQ(after.st_mode & 07777, c.mode);
      EXPECT_EQ(after.st_uid, c.otherOwner ? 1234u : geteuid());
      EXPECT_EQ(after.st_gid, c.otherOwner ? 5678u : getegid());
      EXPECT_EQ(Contents(path), "new");
    }
  }
}

TEST_F(OutputFileTest, AFifoIsWrittenToAndStaysAFifo) {
  const std::string path = Path("pipe");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  const std::string contents(3 << 20, 'f');  // more than a pipe holds, so writing must wait
  std::string received;
  std::thread reader([&] {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    received = text.str();
  });
  OutputFile file;
  std::string error;
  const bool opened = file.Open(path, error);
  const bool committed = opened && file.Commit(contents, error);
  reader.join();
  ASSERT_TRUE(opened && committed) << error;
  EXPECT_TRUE(received == contents);
  EXPECT_TRUE(fs::is_fifo(path));
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(OutputFileTest, ACharacterDeviceIsWrittenToAndStaysADevice) {
  // A null device of our own in the scratch folder: a fault here replaces that node, never the
  // system's /dev/null.
  const std::string path = Path("null");
  if (mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
    GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
  }
  OutputFile file;
  std::string error;
  ASSERT_TRUE(file.Open(path, error)) << error;
  EXPECT_EQ(file.kind(), OutputFile::Kind::kDirect);
  if (!file.Commit("v 1 2 3\n", error)) GTEST_SKIP() << "the node cannot be used here: " << error;
  struct stat after;
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_TRUE(S_ISCHR(after.st_mode));
  EXPECT_EQ(EntryCount(), 1u);
}

// A run that a signal ends while the result is being written leaves the folder as it was. The
// child writes and then signals itself; the parent looks at what is left.
TEST_F(OutputFileTest, ASignalledRunLeavesNoTemporaryAndTheOldFile) {
  struct Case {
    int signal;
    OutputFile::Temporary temporary;
  };
  const Case cases[] = {
      {SIGINT, OutputFile::Temporary::kNamed},
      {SIGTERM, OutputFile::Temporary::kNamed},
      {SIGHUP, OutputFile::Temporary::kNamed},
      {SIGPIPE, OutputFile::Temporary::kNamed},
      {SIGINT, OutputFile::Temporary::kUnnamedWherePossible},
      {SIGTERM, OutputFile::Temporary::kUnnamedWherePossible},
      // Nothing runs on SIGKILL: only a file without a name is sure not to be left behind.
      {SIGKILL, OutputFile::Temporary::kUnnamedWherePossible},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.signal)) +
                 (c.temporary == OutputFile::Temporary::kNamed ? " named" : " unnamed"));
    fs::remove_all(directory_);
    fs::create_directories(directory_);
    std::ofstream(Path("kept.obj")) << "old";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      OutputFile file;
      std::string error;
      if (!file.Open(Path("kept.obj"), error, c.temporary)) _exit(3);
      if (c.signal == SIGKILL && !file.temporaryPath().empty()) _exit(4);  // no unnamed files here
      if (!file.Append(std::string(3 << 20, 'n'), error)) _exit(5);
      raise(c.signal);
      _exit(6);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 4) continue;
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), c.signal);
    EXPECT_EQ(Entries(), std::vector<std::string>{"kept.obj"});
    EXPECT_EQ(Contents(Path("kept.obj")), "old");
  }
}

TEST_F(OutputFileTest, AnIgnoredSignalStaysIgnored) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGHUP, SIG_IGN);  // as under nohup
    OutputFile file;
    std::string error;
    if (!file.Open(Path("out.obj"), error, OutputFile::Temporary::kNamed)) _exit(3);
    raise(SIGHUP);
    _exit(file.Commit("done", error) ? 0 : 5);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Contents(Path("out.obj")), "done");
}

#endif

TEST_F(OutputFileTest, StandardOutputIsWrittenDirectly) {
  OutputFile file;
  std::string error;
  ASSERT_TRUE(file.OpenStandardOutput(error)) << error;
  EXPECT_EQ(file.kind(), OutputFile::Kind::kStandardOutput);
  ASSERT_TRUE(file.Commit("", error)) << error;
  EXPECT_EQ(EntryCount(), 0u);
}

}  // namespace
}  // namespace fm::host::mesh
