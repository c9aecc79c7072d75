#include "run/recovery_copy.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "run/file_attributes.h"
#include "run/posix_file.h"
#include "run/temp_file.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;

// The header: this mark, then five 64-bit little-endian numbers (the file's inode, the former
// size, the new size, the new content's hash, the length of the name), then the name.
constexpr char kMark[16] = {'s', 'a', 'r', 'n', 'a', 'v', 'e', 'l', '-', 'f', 'o', 'r', 'm', 'e', 'r', '1'};
constexpr std::size_t kNumbers = 5;
constexpr std::size_t kFixedHeader = sizeof kMark + 8 * kNumbers;
constexpr std::size_t kHashBlock = 256 * 1024;

// FNV-1a, 64 bits: enough to tell the complete new content from a part of it.
struct ContentHash {
  std::uint64_t value = 0xcbf29ce484222325u;
  void add(std::string_view bytes) {
    for (unsigned char byte : bytes) value = (value ^ byte) * 0x100000001b3u;
  }
};

using Header = RecoveryCopy::Header;

std::string encode(const Header& header) {
  std::string bytes(kMark, sizeof kMark);
  for (std::uint64_t number :
       {header.inode, header.formerSize, header.newSize, header.newHash, std::uint64_t{header.name.size()}}) {
    for (int k = 0; k < 8; ++k) bytes.push_back(static_cast<char>(number >> (8 * k)));
  }
  return bytes + header.name;
}

bool readExactly(int fd, char* into, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t count = ::pread(fd, into, size, offset);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    into += count;
    size -= static_cast<std::size_t>(count);
    offset += count;
  }
  return true;
}

bool decode(int fd, off_t fileSize, Header& header) {
  char fixed[kFixedHeader];
  if (fileSize < static_cast<off_t>(kFixedHeader) || !readExactly(fd, fixed, sizeof fixed, 0)) return false;
  if (std::memcmp(fixed, kMark, sizeof kMark) != 0) return false;
  std::uint64_t numbers[kNumbers];
  for (std::size_t n = 0; n < kNumbers; ++n) {
    numbers[n] = 0;
    for (int k = 0; k < 8; ++k)
      numbers[n] |= std::uint64_t{static_cast<unsigned char>(fixed[sizeof kMark + 8 * n + k])} << (8 * k);
  }
  header.inode = numbers[0];
  header.formerSize = numbers[1];
  header.newSize = numbers[2];
  header.newHash = numbers[3];
  const std::uint64_t nameLength = numbers[4];
  if (nameLength == 0 || nameLength > 4096) return false;
  header.name.resize(nameLength);
  if (!readExactly(fd, header.name.data(), header.name.size(), kFixedHeader)) return false;
  if (header.name.find('/') != std::string::npos || header.name == "." || header.name == "..") return false;
  return static_cast<std::uint64_t>(fileSize) == header.size() + header.formerSize;
}

// Whether the file's first `size` bytes are exactly those of `other` from `otherOffset`.
bool sameBytes(int fd, int other, off_t otherOffset, off_t size) {
  std::vector<char> mine(kHashBlock), theirs(kHashBlock);
  for (off_t at = 0; at < size;) {
    const std::size_t block = static_cast<std::size_t>(std::min<off_t>(size - at, kHashBlock));
    if (!readExactly(fd, mine.data(), block, at) || !readExactly(other, theirs.data(), block, otherOffset + at))
      return false;
    if (std::memcmp(mine.data(), theirs.data(), block) != 0) return false;
    at += static_cast<off_t>(block);
  }
  return true;
}

// Whether the file's first `size` bytes hash to `hash`.
bool hashesTo(int fd, off_t size, std::uint64_t hash) {
  std::vector<char> block(kHashBlock);
  ContentHash content;
  for (off_t at = 0; at < size;) {
    const std::size_t length = static_cast<std::size_t>(std::min<off_t>(size - at, kHashBlock));
    if (!readExactly(fd, block.data(), length, at)) return false;
    content.add(std::string_view(block.data(), length));
    at += static_cast<off_t>(length);
  }
  return content.value == hash;
}

// Writes the former bytes (from the recovery copy) back into the file and flushes it.
bool writeFormerBack(int file, int copy, const Header& header) {
  FileSizeSignalBlock noFileSizeSignal;
  const auto formerSize = static_cast<off_t>(header.formerSize);
  return copyRange(copy, static_cast<off_t>(header.size()), file, 0, formerSize) &&
         ::ftruncate(file, formerSize) == 0 && ::fsync(file) == 0;
}

fs::path recoveryNameOf(const fs::path& temporary) {
  std::string name = temporary.native();
  name.erase(name.size() - 4);  // ".tmp"
  return name + ".recovery.tmp";
}

// The recovery copy stays the user's, whoever owns the file (the user's own next run is the one
// that trusts it), with the file's group where the user may give it. Its permission bits: at
// most the file's reading bits, nothing for a group whose access it cannot reproduce, and no
// one's writing bits but the owner's: a copy someone else could write could be made to name
// any file of the folder and hold any bytes.
void giveAccessOf(const TempFile& copy, const struct stat& file, bool fileHasAttributes) {
  struct stat ours = file;
  ours.st_uid = copy.status().st_uid;
  OwnershipKept kept = carryOwner(copy.fd(), copy.status(), ours);
  if (fileHasAttributes) kept.group = false;  // an ACL decides what the group may
  ::fchmod(copy.fd(), modeCarried(file, kept) & 0755);
}

// Whether a recovery copy (its status) may be trusted: the user's, no other name (a hard link
// planted under a recovery name is someone else's file), and writable by its owner alone.
bool trusted(const struct stat& copy) {
  return copy.st_uid == ::geteuid() && copy.st_nlink == 1 && (copy.st_mode & 022) == 0;
}

}  // namespace

std::size_t RecoveryCopy::Header::size() const { return kFixedHeader + name.size(); }

bool RecoveryCopy::make(const fs::path& target, int file, const struct stat& info, std::string_view newBytes,
                        bool fileHasAttributes) {
  header_.inode = static_cast<std::uint64_t>(info.st_ino);
  header_.formerSize = static_cast<std::uint64_t>(info.st_size);
  header_.newSize = newBytes.size();
  ContentHash hash;
  hash.add(newBytes);
  header_.newHash = hash.value;
  header_.name = target.filename().native();

  const fs::path folder = folderOf(target);
  FileSizeSignalBlock noFileSizeSignal;
  TempFile copy;
  if (!copy.create(folder, header_.name, 0600)) return false;
  if (!writeAll(copy.fd(), encode(header_)) ||
      !copyRange(file, 0, copy.fd(), static_cast<off_t>(header_.size()), info.st_size)) {
    return false;
  }
  giveAccessOf(copy, info, fileHasAttributes);
  if (::fsync(copy.fd()) != 0) return false;
  fs::path recoveryName = recoveryNameOf(copy.path());
  if (!renameNoReplace(copy.path(), recoveryName)) return false;
  copy.keep();  // under its recovery name now; remove() takes it away, and it stays locked till then
  syncFolder(folder);
  copy_ = std::move(copy);
  recoveryName_ = std::move(recoveryName);
  return true;
}

bool RecoveryCopy::putFormerBack(int file) const { return writeFormerBack(file, copy_.fd(), header_); }

void RecoveryCopy::remove() {
  if (recoveryName_.empty()) return;
  ::unlink(recoveryName_.c_str());
  syncFolder(folderOf(recoveryName_));
  recoveryName_.clear();
  copy_.close();
}

InPlaceOutcome writeInPlace(const fs::path& target, std::string_view bytes, const FileIdentity& read) {
  struct stat info;
  FileDescriptor file = openRegularFile(AT_FDCWD, target, O_RDWR, info, false);
  if (!file) return InPlaceOutcome::CopyFailed;
  if (!unchangedSince(read, info)) return InPlaceOutcome::ChangedSinceRead;

  FileSizeSignalBlock noFileSizeSignal;
  RecoveryCopy copy;
  if (!copy.make(target, file.get(), info, bytes, read.hasExtendedAttributes)) return InPlaceOutcome::CopyFailed;
  // What was copied must be what the run read: one last look before the file is touched.
  struct stat now;
  if (::fstat(file.get(), &now) != 0 || !unchangedSince(read, now)) {
    copy.remove();
    return InPlaceOutcome::ChangedSinceRead;
  }
  // A write by an ordinary user takes the set-ID bits off; the owner may put them back, before
  // the flush, so that the bits reach the disk with the content.
  auto restoreMode = [&] {
    if (::fstat(file.get(), &now) == 0 && (now.st_mode & 07777) != (info.st_mode & 07777))
      ::fchmod(file.get(), info.st_mode & 07777);
    return true;
  };
  const bool written = writeAllAt(file.get(), bytes, 0) &&
                       ::ftruncate(file.get(), static_cast<off_t>(bytes.size())) == 0 && restoreMode() &&
                       ::fsync(file.get()) == 0;
  if (!written) {
    const int error = errno;
    if (!copy.putFormerBack(file.get()))
      return InPlaceOutcome::FormerAwaitsRecovery;  // the copy stays, unlocked when it goes
    copy.remove();
    errno = error;
    return InPlaceOutcome::WriteFailed;
  }
  copy.remove();
  return InPlaceOutcome::Written;
}

RecoveryOutcome restoreFromRecoveryCopy(const fs::path& folder, const std::string& name, fs::path* restoredFile) {
  const fs::path path = folder / name;
  struct stat info;
  FileDescriptor copy = openRegularFile(AT_FDCWD, path, O_RDONLY, info, false);
  if (!copy) return RecoveryOutcome::Unusable;
  // Only a copy the user made, which no one else could have written, is trusted: another could
  // name any file of the folder and hold any bytes.
  if (!trusted(info)) return RecoveryOutcome::Unusable;
  if (::flock(copy.get(), LOCK_EX | LOCK_NB) != 0)
    return errno == EWOULDBLOCK ? RecoveryOutcome::InUse : RecoveryOutcome::Unusable;
  // Another sweep may have finished with it between our open and our lock.
  struct stat named;
  if (::lstat(path.c_str(), &named) != 0 || named.st_ino != info.st_ino || named.st_dev != info.st_dev)
    return RecoveryOutcome::InUse;
  Header header;
  if (!decode(copy.get(), info.st_size, header)) return RecoveryOutcome::Unusable;

  const fs::path filePath = folder / header.name;
  if (restoredFile) *restoredFile = filePath;
  struct stat fileInfo;
  FileDescriptor file = openRegularFile(AT_FDCWD, filePath, O_RDWR, fileInfo, false);
  const bool sameFile =
      file && fileInfo.st_dev == info.st_dev && static_cast<std::uint64_t>(fileInfo.st_ino) == header.inode;
  if (!sameFile && (file || errno == ENOENT || errno == ESTALE || errno == EINVAL)) {
    // Another file under the name, or none: not ours to change; the copy is of no use.
    ::unlink(path.c_str());
    syncFolder(folder);
    return RecoveryOutcome::NothingToUndo;
  }
  if (!file) return RecoveryOutcome::Failed;  // the file is there but cannot be opened to write
  const off_t size = fileInfo.st_size;
  const bool whole =
      (static_cast<std::uint64_t>(size) == header.newSize && hashesTo(file.get(), size, header.newHash)) ||
      (static_cast<std::uint64_t>(size) == header.formerSize &&
       sameBytes(file.get(), copy.get(), static_cast<off_t>(header.size()), size));
  if (!whole) {
    if (!writeFormerBack(file.get(), copy.get(), header)) return RecoveryOutcome::Failed;
  }
  ::unlink(path.c_str());
  syncFolder(folder);
  return whole ? RecoveryOutcome::NothingToUndo : RecoveryOutcome::FormerRestored;
}

}  // namespace sarnavel
