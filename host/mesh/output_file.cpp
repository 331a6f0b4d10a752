#include "host/mesh/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace fm::host::mesh {
namespace {

#ifdef _WIN32
int OpenExclusive(const char* path) {
  return _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long WriteSome(int fd, const char* data, size_t size) {
  const unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
  return _write(fd, data, chunk);
}
int CloseFile(int fd) { return _close(fd); }
int ProcessId() { return _getpid(); }
#else
int OpenExclusive(const char* path) {
  return open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
long WriteSome(int fd, const char* data, size_t size) {
  return static_cast<long>(write(fd, data, size));
}
int CloseFile(int fd) { return close(fd); }
int ProcessId() { return static_cast<int>(getpid()); }
#endif

std::string Reason(int error) { return std::strerror(error); }

// Gathered pieces are written in blocks of this size; larger pieces go out directly.
constexpr size_t kBlock = size_t{1} << 20;

}  // namespace

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Open(const std::string& path, std::string& error) {
  namespace fs = std::filesystem;
  Discard();
  std::error_code ec;
  if (path.empty()) {
    error = "no output path given";
    return false;
  }
  if (fs::is_directory(path, ec)) {
    error = path + ": is a directory, cannot write the result there";
    return false;
  }
  const fs::path target(path);
  const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
  static std::atomic<int> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = "." + target.filename().string() + ".fmhost-" +
                             std::to_string(ProcessId()) + "-" + std::to_string(counter++) + ".tmp";
    const std::string candidate = (directory / name).string();
    const int fd = OpenExclusive(candidate.c_str());
    if (fd >= 0) {
      path_ = path;
      temporary_ = candidate;
      descriptor_ = fd;
      return true;
    }
    if (errno != EEXIST) {
      error = path + ": cannot be written: " + Reason(errno);
      return false;
    }
  }
  error = path + ": cannot be written: no free temporary name beside it";
  return false;
}

bool OutputFile::WriteAll(const char* data, size_t left, std::string& error) {
  while (left > 0) {
    const long written = WriteSome(descriptor_, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error = path_ + ": cannot be written: " + Reason(written < 0 ? errno : EIO);
      Discard();
      return false;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  return true;
}

bool OutputFile::Flush(std::string& error) {
  if (pending_.empty()) return true;
  const bool written = WriteAll(pending_.data(), pending_.size(), error);
  pending_.clear();
  return written;
}

bool OutputFile::Append(std::string_view piece, std::string& error) {
  if (descriptor_ < 0) {
    error = "no output file open";
    return false;
  }
  if (pending_.capacity() < kBlock) pending_.reserve(kBlock);
  if (pending_.size() + piece.size() > kBlock && !Flush(error)) return false;
  if (piece.size() >= kBlock) return WriteAll(piece.data(), piece.size(), error);
  pending_.insert(pending_.end(), piece.begin(), piece.end());
  return true;
}

bool OutputFile::Commit(std::string_view contents, std::string& error) {
  return Append(contents, error) && Commit(error);
}

bool OutputFile::Commit(std::string& error) {
  if (descriptor_ < 0) {
    error = "no output file open";
    return false;
  }
  if (!Flush(error)) return false;
  const int fd = descriptor_;
  descriptor_ = -1;
  if (CloseFile(fd) != 0) {
    error = path_ + ": cannot be written: " + Reason(errno);
    Discard();
    return false;
  }
  std::error_code ec;
  std::filesystem::rename(temporary_, path_, ec);
  if (ec) {
    error = path_ + ": cannot be written: " + ec.message();
    Discard();
    return false;
  }
  temporary_.clear();
  return true;
}

void OutputFile::Discard() {
  pending_.clear();
  if (descriptor_ >= 0) {
    CloseFile(descriptor_);
    descriptor_ = -1;
  }
  if (!temporary_.empty()) {
    std::error_code ec;
    std::filesystem::remove(temporary_, ec);
    temporary_.clear();
  }
}

}  // namespace fm::host::mesh
