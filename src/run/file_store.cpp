#include "run/file_store.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace sarnavel {
namespace {

namespace fs = std::filesystem;

// Linux itself gives up after 40 links in one path.
constexpr int kMaxLinkHops = 40;
// How much of a file's name goes into the name of its temporary file, so that the temporary
// name stays within the usual 255-byte limit of a name.
constexpr std::size_t kMaxNameInTemp = 200;
constexpr int kTempNameAttempts = 100;
constexpr std::size_t kCopyBufferSize = 256 * 1024;
constexpr std::size_t kMinReadGrowth = 64 * 1024;

class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now; a late write error of the file system shows here.
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_ = -1;
};

// Writing past the file-size limit raises SIGXFSZ, whose default action ends the process.
// While this lives, the signal is blocked in the calling thread, so such a write merely fails
// with EFBIG; the pending signal that the failure leaves is taken off before the thread's
// former mask is restored. The process-wide disposition is not touched.
class FileSizeSignalBlock {
 public:
  FileSizeSignalBlock() {
    sigemptyset(&signal_);
    sigaddset(&signal_, SIGXFSZ);
    sigset_t former;
    blocked_ = pthread_sigmask(SIG_BLOCK, &signal_, &former) == 0 && sigismember(&former, SIGXFSZ) == 0;
  }
  FileSizeSignalBlock(const FileSizeSignalBlock&) = delete;
  FileSizeSignalBlock& operator=(const FileSizeSignalBlock&) = delete;
  ~FileSizeSignalBlock() {
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

 private:
  sigset_t signal_;
  bool blocked_ = false;
};

// Writes every byte, going on after short writes and interruptions.
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

bool copyContent(int from, int to) {
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

fs::path folderOf(const fs::path& path) {
  fs::path folder = path.parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

// Flushes a folder's entries (a rename in it) to disk. Best effort: the renames it follows
// have already taken effect, so a failure here changes no result.
void syncFolder(const fs::path& folder) {
  FileDescriptor handle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (handle) ::fsync(handle.get());
}

// The file's name, cut short on a character boundary of UTF-8 when it is long.
std::string nameForTemp(const std::string& name) {
  if (name.size() <= kMaxNameInTemp) return name;
  std::size_t end = kMaxNameInTemp;
  for (int back = 0; back < 3 && end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80; ++back) --end;
  return name.substr(0, end);
}

std::string randomLetters(int attempt) {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char noise[6];
  if (getrandom(noise, sizeof noise, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof noise)) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t mix = (static_cast<std::uint64_t>(now.tv_nsec) * 0x9E3779B97F4A7C15u) ^
                        (static_cast<std::uint64_t>(::getpid()) << 20) ^ static_cast<std::uint64_t>(attempt);
    for (unsigned char& byte : noise) {
      byte = static_cast<unsigned char>(mix);
      mix = (mix >> 8) | (mix << 56);
    }
  }
  std::string letters;
  for (unsigned char byte : noise) letters += kLetters[byte % (sizeof kLetters - 1)];
  return letters;
}

// A new file beside the one it will replace, removed again unless it is kept (renamed).
class TempFile {
 public:
  TempFile() = default;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }

  // Creates ".<name>.sarnavel-XXXXXX.tmp" in the folder, exclusively, with the given mode
  // (the umask applies).
  bool create(const fs::path& folder, const std::string& name, mode_t mode) {
    const std::string stem = "." + nameForTemp(name) + ".sarnavel-";
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
      fs::path candidate = folder / (stem + randomLetters(attempt) + ".tmp");
      const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      if (fd >= 0) {
        file_.reset(fd);
        path_ = std::move(candidate);
        return true;
      }
      if (errno != EEXIST && errno != EINTR) return false;
    }
    return false;
  }

  int fd() const { return file_.get(); }
  const fs::path& path() const { return path_; }

  // Gives the file the owner, group and permission bits of `original`. The owner goes first,
  // since changing it clears the set-user-ID and set-group-ID bits; it may fail for an
  // ordinary user, who then owns the new file.
  bool takeOwnerAndMode(const struct stat& original) {
    if (::fchown(file_.get(), original.st_uid, original.st_gid) != 0) {
      // not allowed to give the file away; it stays the caller's
    }
    return ::fchmod(file_.get(), original.st_mode & 07777) == 0;
  }

  bool flushAndClose() { return ::fsync(file_.get()) == 0 && file_.close(); }

  // The file now lives under another name; it is no longer ours to remove.
  void keep() { path_.clear(); }

 private:
  fs::path path_;
  FileDescriptor file_;
};

// Follows symbolic links from `path` to the name that finally holds the content. `exists`
// tells whether that name exists; `info` describes it when it does.
bool resolveLinks(const fs::path& path, fs::path& target, struct stat& info, bool& exists) {
  fs::path current = path;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    if (::lstat(current.c_str(), &info) != 0) {
      if (errno != ENOENT) return false;
      exists = false;
      target = std::move(current);
      return true;
    }
    if (!S_ISLNK(info.st_mode)) {
      exists = true;
      target = std::move(current);
      return true;
    }
    std::error_code error;
    fs::path link = fs::read_symlink(current, error);
    if (error) return false;
    // A relative link is relative to the folder holding the link; the kernel resolves that
    // folder's own links when the joined path is used.
    current = link.is_absolute() ? std::move(link) : current.parent_path() / link;
  }
  return false;
}

bool replaceContent(const fs::path& path, std::string_view bytes) {
  fs::path target;
  struct stat info;
  bool exists = false;
  if (!resolveLinks(path, target, info, exists)) return false;
  const fs::path name = target.filename();
  if (name.empty() || name == "." || name == "..") return false;
  if (exists) {
    if (!S_ISREG(info.st_mode)) return false;
    // A file that may not be written is not replaced, although the folder would allow it.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return false;
  }
  const fs::path folder = folderOf(target);

  FileSizeSignalBlock noFileSizeSignal;
  TempFile temp;
  // Private until it has the former file's mode; a new file gets what the umask allows.
  if (!temp.create(folder, name.native(), exists ? 0600 : 0666)) return false;
  if (!writeAll(temp.fd(), bytes)) return false;
  if (exists && !temp.takeOwnerAndMode(info)) return false;
  if (!temp.flushAndClose()) return false;
  if (::rename(temp.path().c_str(), target.c_str()) != 0) return false;
  temp.keep();
  syncFolder(folder);
  return true;
}

// Renames without ever replacing an existing name.
bool renameNoReplace(const fs::path& from, const fs::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: check first, then rename.
  struct stat existing;
  if (::lstat(to.c_str(), &existing) == 0 || errno != ENOENT) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

// Puts the generations moved one name further back under their own names: chain[i + 1]
// returns to chain[i] for every i from `first` on. Best effort.
void undoShift(const std::vector<fs::path>& chain, std::size_t first) {
  for (std::size_t i = first; i + 1 < chain.size(); ++i) renameNoReplace(chain[i + 1], chain[i]);
}

bool makeBackup(const fs::path& path) {
  FileDescriptor source(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!source) return false;
  struct stat info;
  if (::fstat(source.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;

  // chain[0] is path.bak, chain[1] path.bak.bak, ...; the last entry is the first free name.
  std::vector<fs::path> chain;
  fs::path name = path;
  for (;;) {
    name += ".bak";
    chain.push_back(name);
    struct stat entry;
    if (::lstat(name.c_str(), &entry) != 0) {
      if (errno != ENOENT) return false;  // a name too long for the file system ends the chain here
      break;
    }
    if (S_ISDIR(entry.st_mode)) return false;
  }

  // The copy is complete on disk before any existing name is touched.
  const fs::path folder = folderOf(path);
  FileSizeSignalBlock noFileSizeSignal;
  TempFile copy;
  if (!copy.create(folder, chain.front().filename().native(), 0600)) return false;
  if (!copyContent(source.get(), copy.fd())) return false;
  if (!copy.takeOwnerAndMode(info)) return false;
  if (!copy.flushAndClose()) return false;

  // Each generation moves one name further, the deepest first, so each rename goes to a free
  // name; no content is copied twice and the chain's length costs no stack.
  for (std::size_t i = chain.size() - 1; i-- > 0;) {
    if (!renameNoReplace(chain[i], chain[i + 1])) {
      undoShift(chain, i + 1);
      return false;
    }
  }
  if (!renameNoReplace(copy.path(), chain.front())) {
    undoShift(chain, 0);
    return false;
  }
  copy.keep();
  syncFolder(folder);
  return true;
}

}  // namespace

ResultCode readWholeFile(const std::filesystem::path& path, std::string& content) {
  content.clear();
  // Without O_NONBLOCK, opening a named pipe would wait for a writer.
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!file) return ResultCode::CannotOpen;
  struct stat info;
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return ResultCode::CannotOpen;
  try {
    const auto size = static_cast<std::uintmax_t>(info.st_size);
    if (size >= content.max_size()) throw std::bad_alloc();
    // One byte more than the size, so the read that reports the end has room; a file that
    // grows meanwhile is read to its new end.
    content.resize(static_cast<std::size_t>(size) + 1);
    std::size_t used = 0;
    for (;;) {
      if (used == content.size()) content.resize(used + std::max(used / 2, kMinReadGrowth));
      const ssize_t count = ::read(file.get(), content.data() + used, content.size() - used);
      if (count < 0) {
        if (errno == EINTR) continue;
        std::string().swap(content);
        return ResultCode::CannotOpen;
      }
      if (count == 0) break;
      used += static_cast<std::size_t>(count);
    }
    content.resize(used);
  } catch (const std::bad_alloc&) {
    std::string().swap(content);
    return ResultCode::OutOfMemory;
  } catch (const std::length_error&) {
    std::string().swap(content);
    return ResultCode::OutOfMemory;
  }
  return ResultCode::Success;
}

ResultCode writeWholeFile(const std::filesystem::path& path, std::string_view bytes) {
  try {
    return replaceContent(path, bytes) ? ResultCode::Success : ResultCode::WriteFailed;
  } catch (const std::bad_alloc&) {
    return ResultCode::WriteFailed;
  }
}

bool backupFile(const std::filesystem::path& path) {
  try {
    return makeBackup(path);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace sarnavel
