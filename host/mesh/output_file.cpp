#include "host/mesh/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "host/mesh/temporary_cleanup.h"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fm::host::mesh {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
long WriteSome(int fd, const char* data, size_t size) {
  const unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
  return _write(fd, data, chunk);
}
int CloseFile(int fd) { return _close(fd); }
int ProcessId() { return _getpid(); }

int ErrnoOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_DISK_FULL: return ENOSPC;
    default: return EIO;
  }
}

int DescriptorOf(HANDLE handle) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    errno = EMFILE;
  }
  return fd;
}

// A new file that the console-event cleanup can remove while it is still open (hence the
// delete sharing, which the C runtime's open does not ask for).
int CreateExclusive(const std::string& path) {
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = ErrnoOf(GetLastError());
    return -1;
  }
  return DescriptorOf(handle);
}

// A device or a pipe at `path` (NUL, CON, \\.\pipe\NAME), opened for writing; -1 for anything
// else, which includes regular files and paths that do not exist.
int OpenDevice(const std::string& path) {
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return -1;
  const DWORD type = GetFileType(handle);
  if (type != FILE_TYPE_CHAR && type != FILE_TYPE_PIPE) {
    CloseHandle(handle);
    return -1;
  }
  return DescriptorOf(handle);
}
#else
long WriteSome(int fd, const char* data, size_t size) {
  return static_cast<long>(write(fd, data, size));
}
int CloseFile(int fd) { return close(fd); }
int ProcessId() { return static_cast<int>(getpid()); }
int CreateExclusive(const std::string& path) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

// Gives the new file the permission bits of the one it replaces, and its owner and group where
// this process may. A set-user-id or set-group-id bit is kept only with the owner or group it
// belongs to, so that a replaced file never grants more than the original did.
void KeepOwnerAndMode(int fd, const std::string& original) {
  struct stat before;
  if (stat(original.c_str(), &before) != 0) return;
  if (before.st_uid != geteuid() || before.st_gid != getegid()) {
    if (fchown(fd, before.st_uid, before.st_gid) != 0) {
      [[maybe_unused]] const int groupOnly = fchown(fd, static_cast<uid_t>(-1), before.st_gid);
    }
  }
  mode_t mode = before.st_mode & 07777;
  struct stat now;
  if (fstat(fd, &now) == 0) {
    if (now.st_uid != before.st_uid) mode &= ~static_cast<mode_t>(S_ISUID);
    if (now.st_gid != before.st_gid) mode &= ~static_cast<mode_t>(S_ISGID);
  }
  [[maybe_unused]] const int changed = fchmod(fd, mode);
}
#endif

#if defined(__linux__) && defined(O_TMPFILE)
constexpr bool kUnnamedFiles = true;

// An unnamed file can be given a name through its /proc entry, or directly with the right to
// search any folder, which root has.
bool CanNameUnnamedFiles() { return access("/proc/self/fd", X_OK) == 0 || geteuid() == 0; }

int OpenUnnamed(const fs::path& directory) {
  return open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
}

// Gives the unnamed file open as `fd` the name `path`; fails with EEXIST when the name is taken.
int NameUnnamed(int fd, const std::string& path) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  if (errno == EEXIST) return -1;
  return linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH);
}
#else
constexpr bool kUnnamedFiles = false;
bool CanNameUnnamedFiles() { return false; }
int OpenUnnamed(const fs::path&) { return -1; }
int NameUnnamed(int, const std::string&) {
  errno = EINVAL;
  return -1;
}
#endif

std::string Reason(int error) { return std::strerror(error); }

// Gathered pieces are written in blocks of this size; larger pieces go out directly.
constexpr size_t kBlock = size_t{1} << 20;
#if defined(__linux__)
constexpr uint64_t kHandOverStep = uint64_t{8} << 20;
#endif

// Longest chain of symbolic links followed, as the system's own limit.
constexpr int kMaxLinks = 40;

// `path` with its symbolic links followed, also when the last one leads nowhere yet (the file is
// then made where it leads). Folders on the way are the system's to resolve.
bool FollowLinks(const std::string& path, std::string& target, std::string& error) {
  fs::path current(path);
  for (int hop = 0; hop <= kMaxLinks; ++hop) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(current, ec);
    if (!fs::is_symlink(status)) {
      target = current.string();
      return true;
    }
    const fs::path next = fs::read_symlink(current, ec);
    if (ec) {
      error = path + ": cannot be written: " + ec.message();
      return false;
    }
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  error = path + ": cannot be written: " + Reason(ELOOP);
  return false;
}

// A name for a temporary file beside `target` that no other run uses.
std::string TemporaryName(const fs::path& target) {
  static std::atomic<int> counter{0};
  const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const std::string name = "." + target.filename().string() + ".fmhost-" +
                           std::to_string(ProcessId()) + "-" + std::to_string(counter++) + ".tmp";
  return (directory / name).string();
}

constexpr int kNameAttempts = 100;

}  // namespace

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Fail(const std::string& what, int code, std::string& error) {
  error = path_ + ": " + what + ": " + Reason(code);
  Discard();
  return false;
}

bool OutputFile::OpenStandardOutput(std::string& error) {
  (void)error;
  Discard();
  path_ = "standard output";
#ifdef _WIN32
  // The result's bytes go out as they are, line ends included.
  _setmode(1, _O_BINARY);
#endif
  descriptor_ = 1;
  kind_ = Kind::kStandardOutput;
  return true;
}

bool OutputFile::Open(const std::string& path, std::string& error, Temporary temporary) {
  Discard();
  if (path.empty()) {
    error = "no output path given";
    return false;
  }
  path_ = path;
  if (!FollowLinks(path, target_, error)) return false;
#ifdef _WIN32
  const int device = OpenDevice(target_);
  if (device >= 0) {
    descriptor_ = device;
    kind_ = Kind::kDirect;
    return true;
  }
#endif
  std::error_code ec;
  const fs::file_status status = fs::status(target_, ec);
  switch (status.type()) {
    case fs::file_type::not_found:
      return OpenReplacement(temporary, false, error);
    case fs::file_type::directory:
      error = path + ": is a directory, cannot write the result there";
      return false;
    case fs::file_type::regular:
      return OpenReplacement(temporary, true, error);
    default:
      break;
  }
  if (ec) return Fail("cannot be written", ec.value(), error);
#ifndef _WIN32
  // A device, FIFO or socket: written to as it is, never replaced.
  const int fd = open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Fail("cannot be written", errno, error);
  descriptor_ = fd;
  kind_ = Kind::kDirect;
  return true;
#else
  return OpenReplacement(temporary, true, error);
#endif
}

bool OutputFile::OpenReplacement(Temporary temporary, bool existed, std::string& error) {
  const fs::path target(target_);
  existed_ = existed;
  if (kUnnamedFiles && temporary == Temporary::kUnnamedWherePossible && CanNameUnnamedFiles()) {
    descriptor_ = OpenUnnamed(target.has_parent_path() ? target.parent_path() : fs::path("."));
  }
  for (int attempt = 0; descriptor_ < 0 && attempt < kNameAttempts; ++attempt) {
    const std::string candidate = TemporaryName(target);
    const int fd = CreateExclusive(candidate);
    if (fd >= 0) {
      temporary_ = candidate;
      cleanupSlot_ = ArmTemporaryCleanup(candidate);
      descriptor_ = fd;
    } else if (errno != EEXIST) {
      return Fail("cannot be written", errno, error);
    }
  }
  if (descriptor_ < 0) {
    error = path_ + ": cannot be written: no free temporary name beside it";
    return false;
  }
#ifndef _WIN32
  if (existed) KeepOwnerAndMode(descriptor_, target_);
#endif
  kind_ = Kind::kReplace;
  return true;
}

bool OutputFile::WriteAll(const char* data, size_t left, std::string& error) {
  while (left > 0) {
    const long written = WriteSome(descriptor_, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return Fail("cannot be written", written < 0 ? errno : EIO, error);
    data += written;
    left -= static_cast<size_t>(written);
    Written(static_cast<uint64_t>(written));
  }
  return true;
}

void OutputFile::Written(uint64_t count) {
  size_ += count;
#if defined(__linux__)
  // Putting a file in place of another makes ext4 hand all of the new file's blocks to the disk
  // first, inside the rename, on the thread that commits. Handed over as the file grows instead,
  // they go while the other threads still work. (A new file is named without a rename: its
  // blocks are left to the system.) Only a hint: a failure changes nothing.
  if (kind_ == Kind::kReplace && existed_ && size_ - handedToDisk_ >= kHandOverStep) {
    sync_file_range(descriptor_, static_cast<off_t>(handedToDisk_),
                    static_cast<off_t>(size_ - handedToDisk_), SYNC_FILE_RANGE_WRITE);
    handedToDisk_ = size_;
  }
#endif
}

bool OutputFile::AppendFromFile(int from, uint64_t offset, std::string_view bytes,
                                std::string& error) {
#if defined(__linux__)
  // The system copies the pages from file to file, without faulting them into this process and
  // copying them out again. Where it cannot (not a regular file, another file system), or stops
  // short, the rest is written from `bytes`.
  if (from >= 0 && descriptor_ >= 0 && bytes.size() >= kBlock) {
    if (!Flush(error)) return false;
    while (!bytes.empty()) {
      loff_t at = static_cast<loff_t>(offset);
      const ssize_t copied = copy_file_range(from, &at, descriptor_, nullptr, bytes.size(), 0);
      if (copied < 0 && errno == EINTR) continue;
      if (copied <= 0) break;
      offset += static_cast<uint64_t>(copied);
      bytes.remove_prefix(static_cast<size_t>(copied));
      Written(static_cast<uint64_t>(copied));
    }
  }
#else
  (void)from;
  (void)offset;
#endif
  return bytes.empty() || Append(bytes, error);
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
  switch (kind_) {
    case Kind::kStandardOutput:
      descriptor_ = -1;
      kind_ = Kind::kClosed;
      return true;
    case Kind::kDirect: {
      const int fd = descriptor_;
      descriptor_ = -1;
      kind_ = Kind::kClosed;
      if (CloseFile(fd) != 0) return Fail("cannot be written", errno, error);
      return true;
    }
    default:
      return CommitReplacement(error);
  }
}

bool OutputFile::CommitReplacement(std::string& error) {
  // From here the result is put in place and its temporary name let go as one step.
  DeferredSignals deferred;
  if (temporary_.empty()) {
    // An unnamed file: a new destination gets its name at once; an existing one is replaced
    // through a name beside it, which the rename takes away again.
    if (!existed_ && NameUnnamed(descriptor_, target_) == 0) {
      const int fd = descriptor_;
      descriptor_ = -1;
      kind_ = Kind::kClosed;
      if (CloseFile(fd) != 0) return Fail("cannot be written", errno, error);
      return true;
    }
    if (!existed_ && errno != EEXIST) return Fail("cannot be written", errno, error);
    for (int attempt = 0; temporary_.empty() && attempt < kNameAttempts; ++attempt) {
      const std::string candidate = TemporaryName(fs::path(target_));
      if (NameUnnamed(descriptor_, candidate) == 0) {
        temporary_ = candidate;
      } else if (errno != EEXIST) {
        return Fail("cannot be written", errno, error);
      }
    }
    if (temporary_.empty()) return Fail("cannot be written", EEXIST, error);
  }
  const int fd = descriptor_;
  descriptor_ = -1;
  if (CloseFile(fd) != 0) return Fail("cannot be written", errno, error);
#ifdef _WIN32
  std::error_code ec;
  fs::rename(temporary_, target_, ec);
  if (ec) {
    error = path_ + ": cannot be written: " + ec.message();
    Discard();
    return false;
  }
#else
  if (rename(temporary_.c_str(), target_.c_str()) != 0) return Fail("cannot be written", errno, error);
#endif
  DisarmTemporaryCleanup(cleanupSlot_);
  cleanupSlot_ = -1;
  temporary_.clear();
  kind_ = Kind::kClosed;
  return true;
}

void OutputFile::Discard() {
  pending_.clear();
  size_ = handedToDisk_ = 0;
  if (descriptor_ >= 0 && kind_ != Kind::kStandardOutput) CloseFile(descriptor_);
  descriptor_ = -1;
  if (!temporary_.empty()) {
    std::error_code ec;
    fs::remove(temporary_, ec);
    temporary_.clear();
  }
  DisarmTemporaryCleanup(cleanupSlot_);
  cleanupSlot_ = -1;
  kind_ = Kind::kClosed;
}

}  // namespace fm::host::mesh
