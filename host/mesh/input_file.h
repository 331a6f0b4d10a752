#pragma once
// A mesh file's bytes, read once and kept for the whole run: the reader scans them, and the writer
// copies them back around the changed faces. On POSIX systems the file is mapped rather than copied,
// and pages not needed again (scanned and copied file to file, or written) are handed back, so that
// a large file does not stay resident as a whole. (The reader and the writer read most of a file
// through buffers of their own, from Descriptor(); the mapping serves what lies beyond them.)

#include <cstdint>
#include <string>
#include <string_view>

namespace fm::host::mesh {

class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // A missing, unreadable or non-regular file is an error naming the path.
  bool Open(const std::string& path, std::string& error);

  std::string_view Text() const { return {data_, size_}; }
  // The open file whose bytes Text() shows, for copying them from file to file (POSIX, a file
  // that is not empty); -1 otherwise.
  int Descriptor() const { return descriptor_; }

  // The bytes in [begin, end) are not needed again soon; they stay readable.
  void Release(uint64_t begin, uint64_t end) const;

  // False (with a reason) when the file on disk no longer has the size and time it had when it
  // was opened, so that a result is never assembled from a file that changed underneath.
  bool Unchanged(std::string& error) const;

  // Copies the `bytes` bytes of the open file `descriptor` from `offset` on into `out`; false where
  // fewer could be read (an error, the end of the file, a system without such a call here).
  static bool ReadAt(int descriptor, uint64_t offset, char* out, size_t bytes);

 private:
  std::string path_;
  const char* data_ = nullptr;
  uint64_t size_ = 0;
  bool mapped_ = false;
  int descriptor_ = -1;
  std::string copy_;  // the bytes, where the file is read rather than mapped
  int64_t modified_ = 0;
};

}  // namespace fm::host::mesh
