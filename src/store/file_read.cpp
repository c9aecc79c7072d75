// The one read (file_store.h: readFile), and the look that spares a write (fileHolds).
#include "store/file_store.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "store/file_attributes.h"
#include "store/folder_flushes.h"
#include "store/posix_file.h"
#include "store/recovery_copy.h"
#include "store/run_memory.h"
#include "store/temp_file.h"
#include "store/work_folder.h"

namespace sarnavel {
using namespace store_steps;

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMinReadGrowth = 64 * 1024;
constexpr std::size_t kCompareBlock = 64 * 1024;

// Whether the open file holds exactly `bytes` from its current offset to its end.
bool holdsExactly(int fd, std::string_view bytes) {
  std::vector<char> block(static_cast<std::size_t>(std::min<std::size_t>(bytes.size(), kCompareBlock)) + 1);
  for (;;) {
    const ssize_t count = ::read(fd, block.data(), block.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (count == 0) return bytes.empty();
    const auto got = static_cast<std::size_t>(count);
    if (got > bytes.size() || std::memcmp(block.data(), bytes.data(), got) != 0) return false;
    bytes.remove_prefix(got);
  }
}

}  // namespace

namespace {

// Reads the open file (`info` its status) to its end into `content`. `nameFreeToChange`: the
// file was opened by its own name, no link, and is free of the immutable and append-only flags.
ResultCode readOpenFile(const FileDescriptor& file, const struct stat& info, std::string& content,
                        FileIdentity* identity, bool nameFreeToChange) {
  if (identity) {
    *identity = identityOf(info, hasExtendedAttributes(file.get()));
    identity->nameFreeToChange = nameFreeToChange;
  }
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
      const bool shortRead = static_cast<std::size_t>(count) < content.size() - used;
      used += static_cast<std::size_t>(count);
      // A short read that reaches the size the file had when opened is its end: no further
      // read is needed to hear it. (A short read before that, which some file systems give,
      // is read on.)
      if (shortRead && used >= size) break;
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

}  // namespace

namespace {

// Opens the file a request names in the folder it was listed in (file_store.h: readFile);
// `free` receives whether the file is free of the immutable and append-only flags. May throw
// std::bad_alloc.
FileDescriptor openInListedFolder(const FileRequest& request, struct stat& info, bool& free, StoreProblem& problem) {
  // A link is followed hop by hop to the name that holds the file; that name is then opened
  // in its own folder, so a link re-pointed to another folder meanwhile is seen as such.
  fs::path reached = request.path;
  const bool byName = request.nameLink == NameLink::NotFollowed;
  if (!byName) {
    bool exists = false;
    if (!resolveLinks(request.path, reached, info, exists) || !exists) return {};
  }
  const std::string leaf = reached.filename().native();
  if (leaf.empty() || leaf == "." || leaf == "..") return {};
  WorkFolder folder;
  // The look by the full path just made found a regular file with no other name: when the
  // kept folder holds that very file (still with no other name) under the leaf, the path
  // led to the kept folder, and the walk of the folder's path is spared. Anything else
  // (another file there, a second name, no such file) reads as below.
  const struct stat* looked = request.lookedAt;
  const bool soleName = byName && looked && S_ISREG(looked->st_mode) && looked->st_nlink == 1;
  fs::path folderPath = folderOf(reached);
  if (soleName && folder.takeOverUnchecked(folderPath, request.session) && folder.id == request.listed) {
    FileDescriptor file = openRegularFile({folder.fd, leaf, O_RDONLY, false, looked}, info, &free);
    if (file && info.st_dev == looked->st_dev && info.st_ino == looked->st_ino && info.st_nlink == 1) {
      folder.confirm();
      return file;
    }
  }
  if (!folder.open(std::move(folderPath), nullptr, request.path.native(), request.session) || !folder.knowsId())
    return {};
  if (folder.id != request.listed) {
    problem = StoreProblem::ReplacedBeforeRead;
    return {};
  }
  // The leaf of the name a link led to is no name a write of `path` replaces.
  return openRegularFile({folder.fd, leaf, O_RDONLY, false, looked}, info, byName ? &free : nullptr);
}

}  // namespace

ResultCode readFile(const FileRequest& request, std::string& content, FileIdentity* identity, StoreProblem* problem) {
  content.clear();
  StoreProblem unsaid = StoreProblem::None;
  if (!problem) problem = &unsaid;
  *problem = StoreProblem::None;
  struct stat info;
  const bool byName = request.nameLink == NameLink::NotFollowed;
  bool free = false;  // the file opened is free of the immutable and append-only flags
  FileDescriptor file;
  if (!request.listed.known()) {
    file =
        openRegularFile({AT_FDCWD, request.path, O_RDONLY, !byName, request.lookedAt}, info, byName ? &free : nullptr);
  } else {
    try {
      file = openInListedFolder(request, info, free, *problem);
    } catch (const std::bad_alloc&) {
      return ResultCode::OutOfMemory;
    }
  }
  if (!file) return ResultCode::CannotOpen;
  return readOpenFile(file, info, content, identity, byName && free);
}

StoreProblem whyNotReadAsFile(const std::filesystem::path& path) {
  struct stat named, reached;
  if (::lstat(path.c_str(), &named) != 0 || !S_ISLNK(named.st_mode) || ::stat(path.c_str(), &reached) != 0)
    return StoreProblem::None;
  return StoreProblem::ReplacedBeforeRead;
}

bool fileHolds(const std::filesystem::path& path, std::string_view bytes, const FileIdentity& read) {
  if (read.status.st_size != static_cast<off_t>(bytes.size())) return false;
  struct stat info;
  FileDescriptor file = openRegularFile({AT_FDCWD, path, O_RDONLY}, info);
  if (!file || !unchangedSince(read, info)) return false;
  try {
    return holdsExactly(file.get(), bytes);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace sarnavel
