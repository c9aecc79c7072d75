#include "store/temp_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "store/run_memory.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;

// How much of a file's name goes into the name of its temporary file, so that the temporary
// name stays within the usual 255-byte limit of a name.
constexpr std::size_t kMaxNameInTemp = 200;
constexpr int kTempNameAttempts = 100;
constexpr std::string_view kMark = ".sarnavel-";
constexpr std::size_t kRandomLetters = 6;
constexpr std::string_view kTemporaryEnd = ".tmp";
constexpr std::string_view kRecoveryEnd = ".recovery.tmp";

bool isLetterOrDigit(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

// The file's name, cut short on a character boundary of UTF-8 when it is long.
std::string nameForTemp(const std::string& name) {
  if (name.size() <= kMaxNameInTemp) return name;
  std::size_t end = kMaxNameInTemp;
  for (int back = 0; back < 3 && end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80; ++back) --end;
  return name.substr(0, end);
}

// Letters that differ between threads, processes and attempts. They need not be secret: the
// file is created exclusively, so a name someone else took (a file or a link) only costs
// another attempt. Taken from clocks and addresses rather than the kernel's random source,
// which would cost a system call per file.
std::string randomLetters(int attempt) {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  timespec monotonic{}, realtime{};
  clock_gettime(CLOCK_MONOTONIC, &monotonic);
  clock_gettime(CLOCK_REALTIME, &realtime);
  const int onThisStack = attempt;
  std::uint64_t mix = static_cast<std::uint64_t>(monotonic.tv_nsec) ^
                      (static_cast<std::uint64_t>(realtime.tv_sec) << 30) ^ static_cast<std::uint64_t>(pthread_self()) ^
                      reinterpret_cast<std::uintptr_t>(&onThisStack) ^ (static_cast<std::uint64_t>(attempt) << 50);
  // splitmix64's finaliser spreads every input bit over the output.
  mix = (mix ^ (mix >> 30)) * 0xBF58476D1CE4E5B9u;
  mix = (mix ^ (mix >> 27)) * 0x94D049BB133111EBu;
  mix ^= mix >> 31;
  std::string letters;
  for (std::size_t k = 0; k < kRandomLetters; ++k, mix /= sizeof kLetters - 1)
    letters += kLetters[mix % (sizeof kLetters - 1)];
  return letters;
}

// Whether `name` ends in ".sarnavel-XXXXXX" + end, after a hidden, non-empty name.
bool endsLikeOurs(std::string_view name, std::string_view end) {
  const std::size_t tail = kMark.size() + kRandomLetters + end.size();
  if (name.size() < 2 + tail || name[0] != '.' || !name.ends_with(end)) return false;
  const std::string_view marked = name.substr(name.size() - tail);
  if (!marked.starts_with(kMark)) return false;
  for (std::size_t k = 0; k < kRandomLetters; ++k) {
    if (!isLetterOrDigit(marked[kMark.size() + k])) return false;
  }
  return true;
}

}  // namespace

LeftoverKind leftoverKindOf(std::string_view name) {
  if (endsLikeOurs(name, kTemporaryEnd)) return LeftoverKind::Temporary;
  if (endsLikeOurs(name, kRecoveryEnd)) return LeftoverKind::Recovery;
  return LeftoverKind::None;
}

void TempFile::record(const fs::path& path) const {
  if (memory_) memory_->recordTemporary({path.native(), status_.st_dev, status_.st_ino, {}});
}

bool leftoverServes(std::string_view leftover, std::string_view file) {
  const std::size_t mark = leftover.rfind(kMark);
  if (mark == std::string_view::npos || mark < 1) return false;
  const std::string_view name = leftover.substr(1, mark - 1);
  if (name == file) return true;
  // A long name was cut on a character boundary, at most three bytes before the limit.
  return name.size() + 3 >= kMaxNameInTemp && name.size() <= kMaxNameInTemp && file.size() > name.size() &&
         file.starts_with(name);
}

TempFile::~TempFile() {
  if (!path_.empty()) ::unlink(path_.c_str());
}

bool TempFile::create(int folderFd, const fs::path& folder, const std::string& name, mode_t mode) {
  FileDescriptor file(::openat(folderFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode));
  if (!file) {
    // EOPNOTSUPP: the file system has no unnamed files; EISDIR or EINVAL: the kernel does not
    // know the flag. Anything else (no right to write in the folder) fails the named way too.
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return createNamed(folderFd, folder, name, mode);
    return false;
  }
  // Locked before it gets a name, so that no sweep ever sees it unlocked.
  int locked;
  while ((locked = ::flock(file.get(), LOCK_EX)) != 0 && errno == EINTR) {
  }
  if (locked != 0 || ::fstat(file.get(), &status_) != 0) return false;
  file_ = std::move(file);
  unnamed_ = true;
  folder_ = folder;
  name_ = name;
  path_.clear();
  leaf_.clear();
  return true;
}

namespace {

// Links an unnamed file's descriptor under `leaf` in the folder. By the descriptor itself
// (AT_EMPTY_PATH), which kernels since 6.10 allow the process that made the file and older
// ones only a process with CAP_DAC_READ_SEARCH, and which spares a lookup in /proc; else
// through /proc, which any user may do with a file of their own.
bool linkDescriptor(int fd, int folderFd, const char* leaf) {
  if (::linkat(fd, "", folderFd, leaf, AT_EMPTY_PATH) == 0) return true;
  if (errno != ENOENT) return false;  // refused, the name taken: /proc would say the same
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), folderFd, leaf, AT_SYMLINK_FOLLOW) == 0;
}

}  // namespace

bool TempFile::giveTemporaryName(int folderFd) {
  if (!unnamed_) return true;
  const std::string stem = "." + nameForTemp(name_) + std::string(kMark);
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    std::string leaf = stem + randomLetters(attempt) + std::string(kTemporaryEnd);
    record(folder_ / leaf);
    if (!linkDescriptor(file_.get(), folderFd, leaf.c_str())) {
      if (errno != EEXIST && errno != EINTR) return false;
      continue;
    }
    unnamed_ = false;
    path_ = folder_ / leaf;
    leaf_ = std::move(leaf);
    return true;
  }
  return false;
}

bool TempFile::publishAs(int folderFd, const std::string& leaf) {
  if (unnamed_) {
    if (!linkDescriptor(file_.get(), folderFd, leaf.c_str())) return false;
    unnamed_ = false;
    return true;
  }
  if (!renameNoReplaceAt(folderFd, leaf_.c_str(), leaf.c_str())) return false;
  keep();
  return true;
}

bool TempFile::createNamed(int folderFd, const fs::path& folder, const std::string& name, mode_t mode) {
  const std::string stem = "." + nameForTemp(name) + std::string(kMark);
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    std::string leaf = stem + randomLetters(attempt) + std::string(kTemporaryEnd);
    fs::path candidate = folder / leaf;
    // Recorded by its name before it is made, and with its inode once it is: a run killed in
    // between leaves a file its next run knows.
    if (memory_) memory_->recordTemporary({candidate.native(), 0, 0, {}});
    FileDescriptor file(::openat(folderFd, folderFd == AT_FDCWD ? candidate.c_str() : leaf.c_str(),
                                 O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!file) {
      if (errno != EEXIST && errno != EINTR) return false;
      continue;
    }
    int locked;
    while ((locked = ::flock(file.get(), LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0 || ::fstat(file.get(), &status_) != 0) {
      ::unlink(candidate.c_str());
      return false;
    }
    // A sweep of another run that caught the file between its creation and the lock has
    // removed it (a sweep removes only what it could lock).
    if (status_.st_nlink == 0) continue;
    record(candidate);
    file_ = std::move(file);
    path_ = std::move(candidate);
    leaf_ = std::move(leaf);
    unnamed_ = false;
    return true;
  }
  return false;
}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    if (!path_.empty()) ::unlink(path_.c_str());
    path_ = std::move(other.path_);
    other.path_.clear();
    leaf_ = std::move(other.leaf_);
    file_ = std::move(other.file_);
    status_ = other.status_;
    unnamed_ = other.unnamed_;
    other.unnamed_ = false;
    folder_ = std::move(other.folder_);
    name_ = std::move(other.name_);
    memory_ = other.memory_;
  }
  return *this;
}

}  // namespace sarnavel
