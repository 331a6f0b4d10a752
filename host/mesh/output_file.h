#pragma once
// Where a result goes, written the way users of Unix tools expect:
//   - a regular file (new or existing) appears only complete: the contents go to a temporary file
//     in the same folder, which replaces the file at the end. A replaced file keeps its permission
//     bits and, where the process may set them, its owner and group. A run that fails or is
//     interrupted leaves no temporary file and the destination as it was;
//   - a symbolic link is followed: the file it leads to is written that way, the link stays;
//   - something that exists and is not a regular file (a device, a FIFO) is written to directly
//     and never replaced;
//   - standard output is written to directly.
// The temporary file has no name while it is written where the system allows (Linux: O_TMPFILE),
// so that not even a killed process leaves it behind; elsewhere it has a name beside the
// destination that is removed on failure, on destruction and on the signals that end a run
// (temporary_cleanup.h).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fm::host::mesh {

class OutputFile {
 public:
  enum class Temporary {
    kUnnamedWherePossible,
    kNamed,  // always a named temporary file (what systems without unnamed files get)
  };
  enum class Kind { kClosed, kReplace, kDirect, kStandardOutput };

  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Drops the temporary file unless Commit succeeded.
  ~OutputFile();

  // Opens the destination now, so that an unwritable one is reported before any work is done.
  // A directory is refused. Opening a FIFO waits for its reader, as any writer would.
  bool Open(const std::string& path, std::string& error,
            Temporary temporary = Temporary::kUnnamedWherePossible);
  bool OpenStandardOutput(std::string& error);

  // Adds `piece` to the contents. Small pieces are gathered and written in large blocks.
  bool Append(std::string_view piece, std::string& error);
  // Adds `bytes`, which are the bytes from `offset` on of the open file `from`: copied from file
  // to file by the system where it can (Linux), else as Append does. `from` may be -1.
  bool AppendFromFile(int from, uint64_t offset, std::string_view bytes, std::string& error);

  // Writes what is still gathered and puts the result in place (for a direct destination: closes
  // it; standard output stays open).
  bool Commit(std::string& error);
  // Appends `contents`, then commits.
  bool Commit(std::string_view contents, std::string& error);

  // Drops the temporary file (also done by the destructor). What was written to a direct
  // destination cannot be taken back.
  void Discard();

  Kind kind() const { return kind_; }
  // The file a kReplace result replaces or creates: the path with its symbolic links followed.
  const std::string& destination() const { return target_; }
  // The named temporary file while one exists; empty when it has no name.
  const std::string& temporaryPath() const { return temporary_; }

 private:
  bool OpenReplacement(Temporary temporary, bool existed, std::string& error);
  bool WriteAll(const char* data, size_t size, std::string& error);
  void Written(uint64_t count);
  bool Flush(std::string& error);
  bool CommitReplacement(std::string& error);
  bool Fail(const std::string& what, int code, std::string& error);

  Kind kind_ = Kind::kClosed;
  std::string path_;       // as given, for messages
  std::string target_;     // the file to replace, links followed
  std::string temporary_;  // the named temporary file, when there is one
  int cleanupSlot_ = -1;
  bool existed_ = false;   // the target existed at Open
  int descriptor_ = -1;
  std::vector<char> pending_;
  uint64_t size_ = 0;          // bytes written to the descriptor
  uint64_t handedToDisk_ = 0;  // of which write-out was started (Linux)
};

}  // namespace fm::host::mesh
