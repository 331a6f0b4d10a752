#pragma once
// A result file that appears only complete: the contents go to a temporary file beside the
// destination, which is renamed over the destination at the end. A run that fails at any point
// leaves no file behind and an existing destination untouched.

#include <string>
#include <string_view>
#include <vector>

namespace fm::host::mesh {

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Removes the temporary file unless Commit succeeded.
  ~OutputFile();

  // Creates the temporary file now, so that an unwritable destination is reported before any work
  // is done. The destination must not be a directory.
  bool Open(const std::string& path, std::string& error);

  // Adds `piece` to the contents. Small pieces are gathered and written in large blocks.
  bool Append(std::string_view piece, std::string& error);

  // Writes what is still gathered, closes, and renames onto the destination.
  bool Commit(std::string& error);
  // Appends `contents`, then commits.
  bool Commit(std::string_view contents, std::string& error);

  // Drops the temporary file (also done by the destructor).
  void Discard();

  const std::string& temporaryPath() const { return temporary_; }

 private:
  std::string path_;
  std::string temporary_;
  int descriptor_ = -1;
  std::vector<char> pending_;
  bool WriteAll(const char* data, size_t size, std::string& error);
  bool Flush(std::string& error);
};

}  // namespace fm::host::mesh
