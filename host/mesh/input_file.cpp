#include "host/mesh/input_file.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <system_error>

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace fm::host::mesh {
namespace {

int64_t ModifiedTime(const std::string& path, uint64_t& size) {
  std::error_code ec;
  size = static_cast<uint64_t>(std::filesystem::file_size(path, ec));
  if (ec) size = UINT64_MAX;
  const auto time = std::filesystem::last_write_time(path, ec);
  return ec ? -1 : static_cast<int64_t>(time.time_since_epoch().count());
}

}  // namespace

InputFile::~InputFile() {
#ifndef _WIN32
  if (mapped_) munmap(const_cast<char*>(data_), size_);
  if (descriptor_ >= 0) close(descriptor_);
#endif
}

bool InputFile::Open(const std::string& path, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) {
    error = path + ": no such file";
    return false;
  }
  if (fs::is_directory(status)) {
    error = path + ": is a directory, not a mesh file";
    return false;
  }
  if (!fs::is_regular_file(status)) {
    error = path + ": is not a regular file";
    return false;
  }
  path_ = path;
  uint64_t size = 0;
  modified_ = ModifiedTime(path, size);
#ifndef _WIN32
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = path + ": cannot be opened for reading";
    return false;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    close(fd);
    error = path + ": cannot be read";
    return false;
  }
  size_ = static_cast<uint64_t>(info.st_size);
  if (size_ > 0) {
    void* map = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED) {
      close(fd);
      error = path + ": cannot be read";
      return false;
    }
    madvise(map, size_, MADV_SEQUENTIAL);
    data_ = static_cast<const char*>(map);
    mapped_ = true;
    descriptor_ = fd;
    return true;
  }
  close(fd);
  return true;
#else
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot be opened for reading";
    return false;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  in.seekg(0, std::ios::beg);
  if (length > 0) {
    copy_.resize(static_cast<size_t>(length));
    in.read(copy_.data(), length);
  }
  if (!in || in.gcount() != length) {
    error = path + ": cannot be read";
    return false;
  }
  data_ = copy_.data();
  size_ = copy_.size();
  return true;
#endif
}

void InputFile::Release(uint64_t begin, uint64_t end) const {
#ifndef _WIN32
  if (!mapped_) return;
  const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  begin = (begin + page - 1) / page * page;  // whole pages only
  end = end >= size_ ? size_ : end / page * page;
  if (end > begin) madvise(const_cast<char*>(data_) + begin, end - begin, MADV_DONTNEED);
#else
  (void)begin;
  (void)end;
#endif
}

bool InputFile::ReadAt(int descriptor, uint64_t offset, char* out, size_t bytes) {
#ifndef _WIN32
  size_t got = 0;
  while (got < bytes) {
    const ssize_t read = pread(descriptor, out + got, bytes - got, static_cast<off_t>(offset + got));
    if (read < 0 && errno == EINTR) continue;
    if (read <= 0) return false;
    got += static_cast<size_t>(read);
  }
  return true;
#else
  (void)descriptor;
  (void)offset;
  (void)out;
  return bytes == 0;
#endif
}

bool InputFile::Unchanged(std::string& error) const {
  uint64_t size = 0;
  const int64_t modified = ModifiedTime(path_, size);
  if (size != size_ || modified != modified_) {
    error = path_ + ": changed while fmhost was working on it";
    return false;
  }
  return true;
}

}  // namespace fm::host::mesh
