#include "store/posix_file.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace sarnavel {
namespace {

constexpr std::size_t kCopyBufferSize = 256 * 1024;

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    reset(other.fd_);
    other.fd_ = -1;
  }
  return *this;
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

void FileDescriptor::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

bool FileDescriptor::close() {
  const int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0;
}

int FileDescriptor::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool writeAll(int fd, std::span<const std::string_view> pieces) {
  std::vector<iovec> left;
  left.reserve(pieces.size());
  for (std::string_view piece : pieces) {
    if (!piece.empty()) left.push_back({const_cast<char*>(piece.data()), piece.size()});
  }
  // One writev takes at most IOV_MAX pieces; a short write ends inside a piece, whose rest
  // goes first the next time.
  std::size_t first = 0;
  while (first < left.size()) {
    const std::size_t count = std::min<std::size_t>(left.size() - first, IOV_MAX);
    const ssize_t written = ::writev(fd, left.data() + first, static_cast<int>(count));
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;
    auto done = static_cast<std::size_t>(written);
    while (done >= left[first].iov_len) {
      done -= left[first].iov_len;
      if (++first == left.size()) return true;
    }
    left[first].iov_base = static_cast<char*>(left[first].iov_base) + done;
    left[first].iov_len -= done;
  }
  return true;
}

bool writeAllAt(int fd, std::string_view bytes, off_t offset) {
  while (!bytes.empty()) {
    const ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), offset);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
    offset += written;
  }
  return true;
}

bool copyRange(int from, off_t fromOffset, int to, off_t toOffset, off_t length) {
  std::vector<char> buffer(static_cast<std::size_t>(std::min<off_t>(length, kCopyBufferSize)) + 1);
  while (length > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<off_t>(length, static_cast<off_t>(buffer.size())));
    const ssize_t count = ::pread(from, buffer.data(), want, fromOffset);
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (count == 0) {
      errno = EIO;  // the source ended early
      return false;
    }
    if (!writeAllAt(to, std::string_view(buffer.data(), static_cast<std::size_t>(count)), toOffset)) return false;
    fromOffset += count;
    toOffset += count;
    length -= count;
  }
  return true;
}

bool copyToEnd(int from, int to) {
  std::vector<char> buffer(kCopyBufferSize);
  for (;;) {
    const ssize_t count = ::read(from, buffer.data(), buffer.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (count == 0) return true;
    if (!writeAll(to, std::string_view(buffer.data(), static_cast<std::size_t>(count)))) return false;
  }
}

struct stat statusOf(const struct statx& x) {
  struct stat info {};
  info.st_dev = makedev(x.stx_dev_major, x.stx_dev_minor);
  info.st_ino = x.stx_ino;
  info.st_mode = x.stx_mode;
  info.st_nlink = x.stx_nlink;
  info.st_uid = x.stx_uid;
  info.st_gid = x.stx_gid;
  info.st_rdev = makedev(x.stx_rdev_major, x.stx_rdev_minor);
  info.st_size = static_cast<off_t>(x.stx_size);
  info.st_blksize = static_cast<blksize_t>(x.stx_blksize);
  info.st_blocks = static_cast<blkcnt_t>(x.stx_blocks);
  info.st_atim = {x.stx_atime.tv_sec, x.stx_atime.tv_nsec};
  info.st_mtim = {x.stx_mtime.tv_sec, x.stx_mtime.tv_nsec};
  info.st_ctim = {x.stx_ctime.tv_sec, x.stx_ctime.tv_nsec};
  return info;
}

bool mayChange(const struct statx& x) {
  return (x.stx_attributes & x.stx_attributes_mask & (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND)) == 0;
}

FileDescriptor openRegularFile(const RegularFileOpen& open, struct stat& info, bool* mayChangeFile) {
  const auto& [at, name, flags, followLinks, lookedAt] = open;
  struct stat before;
  if (lookedAt) {
    before = *lookedAt;
  } else if (::fstatat(at, name.c_str(), &before, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
    return {};
  }
  if (!S_ISREG(before.st_mode)) {
    errno = EINVAL;
    return {};
  }
  // O_NONBLOCK and O_NOCTTY only matter if the name was swapped for a pipe or a terminal in
  // between: the open then neither waits nor takes a controlling terminal.
  FileDescriptor file(
      ::openat(at, name.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (followLinks ? 0 : O_NOFOLLOW)));
  if (!file) return {};
  if (mayChangeFile) {
    struct statx x;
    if (::statx(file.get(), "", AT_EMPTY_PATH, STATX_BASIC_STATS, &x) != 0) return {};
    info = statusOf(x);
    *mayChangeFile = mayChange(x);
  } else if (::fstat(file.get(), &info) != 0) {
    return {};
  }
  if (!S_ISREG(info.st_mode) || info.st_dev != before.st_dev || info.st_ino != before.st_ino) {
    // A look the caller made earlier may be out of date (another name of the file replaced
    // it meanwhile): look again, now, as if none had been given.
    if (lookedAt) return openRegularFile({at, name, flags, followLinks, nullptr}, info, mayChangeFile);
    errno = ESTALE;
    return {};
  }
  return file;  // O_NONBLOCK changes nothing for a regular file: its reads and writes never wait
}

bool syncFolder(const std::filesystem::path& folder) {
  FileDescriptor handle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return handle && ::fsync(handle.get()) == 0;
}

bool renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
  return renameNoReplaceAt(AT_FDCWD, from.c_str(), to.c_str());
}

bool renameNoReplaceAt(int folder, const char* from, const char* to) {
  if (::renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: check first, then rename.
  struct stat existing;
  if (::fstatat(folder, to, &existing, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return false;
  }
  if (errno != ENOENT) return false;
  return ::renameat(folder, from, folder, to) == 0;
}

namespace {

// A folder just made, flushed into its parent.
bool flushedIntoParent(const std::filesystem::path& folder) {
  return syncFolder(folder.has_parent_path() ? folder.parent_path() : std::filesystem::path("."));
}

}  // namespace

bool makeFolders(const std::filesystem::path& folder) {
  if (::mkdir(folder.c_str(), 0700) == 0) return flushedIntoParent(folder);
  if (errno == EEXIST) return true;
  if (errno != ENOENT || !folder.has_parent_path() || folder.parent_path() == folder) return false;
  if (!makeFolders(folder.parent_path())) return false;
  if (::mkdir(folder.c_str(), 0700) == 0) return flushedIntoParent(folder);
  return errno == EEXIST;
}

FileDescriptor openFolder(const std::filesystem::path& folder) {
  FileDescriptor handle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!handle && errno == EACCES) handle.reset(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  return handle;
}

FileDescriptor openFolderAt(int at, const char* name, bool followLink) {
  return FileDescriptor(::openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW)));
}

FileDescriptor openOutputFile(const std::filesystem::path& name) {
  FileDescriptor file(::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
  if (!file) return file;
  const int flags = ::fcntl(file.get(), F_GETFL);
  if (flags != -1) ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK);
  return file;
}

bool readFirstBlock(int at, const char* name, struct stat& opened, std::string& block) {
  const FileDescriptor file(::openat(at, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!file) return false;
  const ssize_t got = ::fstat(file.get(), &opened) == 0 && S_ISREG(opened.st_mode)
                          ? ::read(file.get(), block.data(), block.size())
                          : -1;
  block.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return true;
}

FileSizeSignalBlock::FileSizeSignalBlock(bool signalIgnored) {
  sigemptyset(&signal_);
  if (signalIgnored) return;
  sigaddset(&signal_, SIGXFSZ);
  sigset_t former;
  blocked_ = pthread_sigmask(SIG_BLOCK, &signal_, &former) == 0 && sigismember(&former, SIGXFSZ) == 0;
}

FileSizeSignalBlock::~FileSizeSignalBlock() {
  if (!blocked_) return;  // the caller blocks it already: its pending signals are its own
  // At most one signal is pending for the thread and one for the process.
  for (int i = 0; i < 2; ++i) {
    sigset_t pending;
    if (sigpending(&pending) != 0 || sigismember(&pending, SIGXFSZ) != 1) break;
    const timespec noWait{};
    if (sigtimedwait(&signal_, nullptr, &noWait) != SIGXFSZ) break;
  }
  pthread_sigmask(SIG_UNBLOCK, &signal_, nullptr);
}

bool fileSizeSignalIgnored() {
  struct sigaction current {};
  return sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace sarnavel
