#include "store/recovery_copy.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "store/file_attributes.h"
#include "store/content_hash.h"
#include "store/posix_file.h"
#include "store/run_memory.h"
#include "store/temp_file.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;

// The header: this mark, then six 64-bit little-endian numbers (the file's inode, the number of
// its names, the former size, the new size, the new content's hash, the length of the name),
// the name, and the hashes that tell a file the write left torn (pageHashesOf), eight bytes
// each. A copy under an earlier mark ("...former1", "...former2": other hashes) is not used.
constexpr char kMark[16] = {'s', 'a', 'r', 'n', 'a', 'v', 'e', 'l', '-', 'f', 'o', 'r', 'm', 'e', 'r', '3'};
constexpr std::size_t kNumbers = 6;
constexpr std::size_t kFixedHeader = sizeof kMark + 8 * kNumbers;
constexpr std::size_t kHashBlock = 256 * 1024;
// The unit in which a write is found torn: a page. A process killed in a write stops it at a
// page's end, and a machine stopped before the flush has some of the file's pages written and
// others not; so a file the write left torn holds, page by page, the former or the new bytes.
constexpr std::uint64_t kPage = 4096;

// What the header keeps of a content's hash (content_hash.h): 64 bits are enough to tell the
// complete new content, or one of its pages, from anything else a file may hold.
std::uint64_t shortHashOf(std::string_view bytes) { return hashOf(bytes).low; }

std::uint64_t pagesOf(std::uint64_t size) { return size / kPage + (size % kPage != 0 ? 1 : 0); }

// The hashes a torn file is told by: one for each page of the new content (the last one as long
// as the content), then one for the new bytes of the page the former size ends in, up to that
// size (a write whose growth of the file did not reach the disk leaves those).
std::vector<std::uint64_t> pageHashesOf(std::string_view newBytes, std::uint64_t formerSize) {
  std::vector<std::uint64_t> hashes;
  hashes.reserve(pagesOf(newBytes.size()) + 1);
  for (std::size_t at = 0; at < newBytes.size(); at += kPage) hashes.push_back(shortHashOf(newBytes.substr(at, kPage)));
  const std::uint64_t cutPage = formerSize / kPage * kPage;
  const std::uint64_t cutEnd = std::min<std::uint64_t>(formerSize, newBytes.size());
  hashes.push_back(cutPage < cutEnd ? shortHashOf(newBytes.substr(cutPage, cutEnd - cutPage)) : 0);
  return hashes;
}

using Header = RecoveryCopy::Header;

std::string encode(const Header& header) {
  std::string bytes(kMark, sizeof kMark);
  auto put = [&bytes](std::uint64_t number) {
    for (int k = 0; k < 8; ++k) bytes.push_back(static_cast<char>(number >> (8 * k)));
  };
  for (std::uint64_t number : {header.inode, header.links, header.formerSize, header.newSize, header.newHash,
                               std::uint64_t{header.name.size()}})
    put(number);
  bytes += header.name;
  for (std::uint64_t hash : header.pageHashes) put(hash);
  return bytes;
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

std::uint64_t numberAt(const char* at) {
  std::uint64_t number = 0;
  for (int k = 0; k < 8; ++k) number |= std::uint64_t{static_cast<unsigned char>(at[k])} << (8 * k);
  return number;
}

bool decode(int fd, off_t fileSize, Header& header) {
  char fixed[kFixedHeader];
  if (fileSize < static_cast<off_t>(kFixedHeader) || !readExactly(fd, fixed, sizeof fixed, 0)) return false;
  if (std::memcmp(fixed, kMark, sizeof kMark) != 0) return false;
  std::uint64_t numbers[kNumbers];
  for (std::size_t n = 0; n < kNumbers; ++n) numbers[n] = numberAt(fixed + sizeof kMark + 8 * n);
  header.inode = numbers[0];
  header.links = numbers[1];
  header.formerSize = numbers[2];
  header.newSize = numbers[3];
  header.newHash = numbers[4];
  const std::uint64_t nameLength = numbers[5];
  if (nameLength == 0 || nameLength > 4096) return false;
  // Each size is checked against the copy's before anything is read by it.
  const auto size = static_cast<std::uint64_t>(fileSize);
  const std::uint64_t hashes = pagesOf(header.newSize) + 1;
  if (header.newSize / kPage > size || hashes > size / 8 || header.formerSize > size ||
      kFixedHeader + nameLength + 8 * hashes + header.formerSize != size)
    return false;
  header.name.resize(nameLength);
  if (!readExactly(fd, header.name.data(), header.name.size(), kFixedHeader)) return false;
  if (header.name.find('/') != std::string::npos || header.name == "." || header.name == "..") return false;
  std::string packed(8 * hashes, '\0');
  if (!readExactly(fd, packed.data(), packed.size(), static_cast<off_t>(kFixedHeader + nameLength))) return false;
  header.pageHashes.resize(hashes);
  for (std::uint64_t k = 0; k < hashes; ++k) header.pageHashes[k] = numberAt(packed.data() + 8 * k);
  return true;
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
  ContentHasher content;
  for (off_t at = 0; at < size;) {
    const std::size_t length = static_cast<std::size_t>(std::min<off_t>(size - at, kHashBlock));
    if (!readExactly(fd, block.data(), length, at)) return false;
    content.add(std::string_view(block.data(), length));
    at += static_cast<off_t>(length);
  }
  return content.digest().low == hash;
}

// Whether the file (`size` bytes) is what the write may have left of it, torn: page by page,
// the former bytes (from the copy) or the new ones (told by their hashes), its size between the
// former and the new one. A page the new content ends in may hold the former bytes after it;
// a file cut at the former size may end in a part of a new page. Anything else is a file
// someone changed since, which is not the write's to undo.
bool tornByTheWrite(int file, int copy, const Header& header, std::uint64_t size) {
  const std::uint64_t former = header.formerSize, fresh = header.newSize;
  if (size < std::min(former, fresh) || size > std::max(former, fresh)) return false;
  const auto formerAt = static_cast<off_t>(header.size());
  std::string mine(kPage, '\0'), theirs(kPage, '\0');
  for (std::uint64_t at = 0, page = 0; at < size; at += kPage, ++page) {
    const std::uint64_t end = std::min(at + kPage, size);
    const std::size_t length = static_cast<std::size_t>(end - at);
    if (!readExactly(file, mine.data(), length, static_cast<off_t>(at))) return false;
    const std::string_view bytes(mine.data(), length);
    auto formerHas = [&](std::uint64_t from, std::uint64_t to) {
      return to <= former &&
             readExactly(copy, theirs.data(), static_cast<std::size_t>(to - from),
                         formerAt + static_cast<off_t>(from)) &&
             std::memcmp(mine.data() + (from - at), theirs.data(), static_cast<std::size_t>(to - from)) == 0;
    };
    if (formerHas(at, end)) continue;
    const std::uint64_t newEnd = std::min(at + kPage, fresh);
    if (newEnd > at && newEnd <= end && shortHashOf(bytes.substr(0, newEnd - at)) == header.pageHashes[page] &&
        (newEnd == end || formerHas(newEnd, end)))
      continue;
    if (end == former && end < newEnd && shortHashOf(bytes) == header.pageHashes.back()) continue;
    return false;
  }
  return true;
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

std::size_t RecoveryCopy::Header::size() const { return kFixedHeader + name.size() + 8 * pageHashes.size(); }

bool RecoveryCopy::make(const Source& source, std::string_view newBytes, RunMemory* memory) {
  const fs::path& target = source.target;
  const int file = source.file;
  const struct stat& info = source.info;
  header_.inode = static_cast<std::uint64_t>(info.st_ino);
  header_.links = static_cast<std::uint64_t>(info.st_nlink);
  header_.formerSize = static_cast<std::uint64_t>(info.st_size);
  header_.newSize = newBytes.size();
  header_.newHash = shortHashOf(newBytes);
  header_.name = target.filename().native();
  header_.pageHashes = pageHashesOf(newBytes, header_.formerSize);

  const fs::path folder = folderOf(target);
  FileSizeSignalBlock noFileSizeSignal;
  const FileDescriptor folderFd = openFolder(folder);
  TempFile copy;
  copy.recordIn(memory);
  if (!folderFd || !copy.create(folderFd.get(), folder, header_.name, 0600)) return false;
  if (!writeAll(copy.fd(), encode(header_)) ||
      !copyRange(file, 0, copy.fd(), static_cast<off_t>(header_.size()), info.st_size)) {
    return false;
  }
  giveAccessOf(copy, info, source.hasAttributes);
  // Complete on disk before it has a name: a run killed before then leaves nothing.
  if (::fsync(copy.fd()) != 0 || !copy.giveTemporaryName(folderFd.get())) return false;
  fs::path recoveryName = recoveryNameOf(copy.path());
  // Recorded before it takes its name: a copy the memory does not name is never used.
  if (!memory ||
      !memory->recordRecoveryCopy({recoveryName.native(), copy.status().st_dev, copy.status().st_ino, target.native()}))
    return false;
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

InPlaceOutcome writeInPlace(const fs::path& target, std::string_view bytes, const FileIdentity& read,
                            RunMemory* memory) {
  if (!memory || !memory->recording()) return InPlaceOutcome::NotRecorded;
  struct stat info;
  FileDescriptor file = openRegularFile({AT_FDCWD, target, O_RDWR, false}, info);
  if (!file) return InPlaceOutcome::CopyFailed;
  if (!unchangedSince(read, info)) return InPlaceOutcome::ChangedSinceRead;

  FileSizeSignalBlock noFileSizeSignal;
  RecoveryCopy copy;
  if (!copy.make({target, file.get(), info, read.hasExtendedAttributes}, bytes, memory))
    return InPlaceOutcome::CopyFailed;
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

bool usableRecoveryCopy(const fs::path& folder, const std::string& name, const RunMemory& memory) {
  struct stat info;
  FileDescriptor copy = openRegularFile({AT_FDCWD, folder / name, O_RDONLY, false}, info);
  return copy && trusted(info) && memory.madeRecoveryCopy(name, info.st_dev, info.st_ino);
}

RecoveryOutcome restoreFromRecoveryCopy(const fs::path& folder, const std::string& name, const RunMemory& memory,
                                        fs::path* restoredFile) {
  const fs::path path = folder / name;
  struct stat info;
  FileDescriptor copy = openRegularFile({AT_FDCWD, path, O_RDONLY, false}, info);
  if (!copy) return RecoveryOutcome::Unusable;
  // Only a copy the user made, which no one else could have written, is trusted: another could
  // name any file of the folder and hold any bytes.
  if (!trusted(info)) return RecoveryOutcome::Unusable;
  if (!memory.madeRecoveryCopy(name, info.st_dev, info.st_ino)) return RecoveryOutcome::NotRecorded;
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
  FileDescriptor file = openRegularFile({AT_FDCWD, filePath, O_RDWR, false}, fileInfo);
  const bool sameFile =
      file && fileInfo.st_dev == info.st_dev && static_cast<std::uint64_t>(fileInfo.st_ino) == header.inode;
  // Another file under the name, or none: not ours to change, and the copy may hold the only
  // former content there is.
  if (!sameFile && (file || errno == ENOENT || errno == ESTALE || errno == EINVAL))
    return RecoveryOutcome::FileReplaced;
  if (!file) return RecoveryOutcome::Failed;  // the file is there but cannot be opened to write
  const off_t size = fileInfo.st_size;
  const bool whole =
      (static_cast<std::uint64_t>(size) == header.newSize && hashesTo(file.get(), size, header.newHash)) ||
      (static_cast<std::uint64_t>(size) == header.formerSize &&
       sameBytes(file.get(), copy.get(), static_cast<off_t>(header.size()), size));
  if (!whole) {
    // A file changed since the write keeps what was done to it, and the copy stays beside it.
    if (!tornByTheWrite(file.get(), copy.get(), header, static_cast<std::uint64_t>(size)))
      return RecoveryOutcome::ChangedSince;
    if (!writeFormerBack(file.get(), copy.get(), header)) return RecoveryOutcome::Failed;
  }
  ::unlink(path.c_str());
  syncFolder(folder);
  return whole ? RecoveryOutcome::NothingToUndo : RecoveryOutcome::FormerRestored;
}

}  // namespace sarnavel
