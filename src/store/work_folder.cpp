#include "store/work_folder.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

namespace sarnavel {

WriteSession::WriteSession() : fileSizeSignalIgnored_(sarnavel::fileSizeSignalIgnored()) {}

int WriteSession::heldFolder(std::string_view folder, FolderId id) const {
  return folder_ && folderPath_ == folder && FolderId{device_, inode_} == id ? folder_.get() : -1;
}

namespace store_steps {

namespace fs = std::filesystem;

namespace {
// Linux itself gives up after 40 links in one path.
constexpr int kMaxLinkHops = 40;
}  // namespace

StoreResult failed(ResultCode code, StoreProblem problem) { return {code, problem, {}, {}}; }

bool mayWrite(int folder, const std::string& name, const struct stat& info, uid_t user) {
  return (info.st_uid == user && (info.st_mode & S_IWUSR) != 0) ||
         ::faccessat(folder, name.c_str(), W_OK, AT_EACCESS) == 0;
}

bool namesMayGo(int folder) {
  int flags = 0;
  if (::ioctl(folder, FS_IOC_GETFLAGS, &flags) != 0) return true;  // a file system without such flags
  return (flags & FS_APPEND_FL) == 0;
}

namespace {

// Whether the file `name` of the folder (links followed) may change at all.
bool fileMayChange(int folder, const std::string& name) {
  struct statx info;
  if (::statx(folder, name.c_str(), 0, STATX_TYPE, &info) != 0) return true;  // the write will say
  return mayChange(info);
}

}  // namespace

bool lookAt(int folder, const std::string& name, struct stat& info, bool& mayChangeFile) {
  struct statx x;
  if (::statx(folder, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &x) != 0) return false;
  info = statusOf(x);
  mayChangeFile = mayChange(x);
  return true;
}

StoreResult keptFromChanging(int folder, const std::string& name, std::optional<bool> fileFree,
                             std::optional<bool> namesFree) {
  if (namesFree ? !*namesFree : !namesMayGo(folder))
    return failed(ResultCode::WriteFailed, StoreProblem::FolderNotWritable);
  if (fileFree ? !*fileFree : !fileMayChange(folder, name))
    return failed(ResultCode::WriteFailed, StoreProblem::FileNotWritable);
  return {};
}

StoreProblem problemOfCreation(int error) {
  return error == EACCES || error == EPERM || error == EROFS ? StoreProblem::FolderNotWritable : StoreProblem::None;
}

StoreProblem problemOfWrite(int error) {
  switch (error) {
    case ENOSPC: return StoreProblem::DiskFull;
    case EDQUOT: return StoreProblem::QuotaExceeded;
    case EFBIG: return StoreProblem::FileTooLarge;
    case EROFS: return StoreProblem::ReadOnlyFileSystem;
    case EIO: return StoreProblem::InputOutput;
    default: return StoreProblem::None;
  }
}

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

StoreResult linkedFileKeptFromChanging(const fs::path& path) {
  fs::path target;
  struct stat info;
  bool exists = false;
  if (!resolveLinks(path, target, info, exists) || !exists) return {};
  const FileDescriptor folder = openFolder(folderOf(target));
  if (!folder) return {};
  if (::faccessat(folder.get(), ".", W_OK | X_OK, AT_EACCESS) != 0)
    return failed(ResultCode::WriteFailed, StoreProblem::FolderNotWritable);
  return keptFromChanging(folder.get(), target.filename().native());
}

void undoShift(int folder, const std::vector<std::string>& chain, std::size_t first) {
  for (std::size_t i = first; i + 1 < chain.size(); ++i)
    renameNoReplaceAt(folder, chain[i + 1].c_str(), chain[i].c_str());
}

ChainState backupChain(int folder, const std::string& leaf, std::string_view suffix, const struct stat& file,
                       std::vector<std::string>& chain) {
  bool inFlight = false;
  std::string name = leaf;
  for (;;) {
    name += suffix;
    chain.push_back(name);
    struct stat entry;
    if (::fstatat(folder, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0)
      return errno != ENOENT ? ChainState::Failed : inFlight ? ChainState::InFlight : ChainState::Ready;
    if (S_ISDIR(entry.st_mode)) return ChainState::Failed;
    if (chain.size() == 1) inFlight = entry.st_dev == file.st_dev && entry.st_ino == file.st_ino;
  }
}

bool shiftChain(WorkFolder& folder, const std::vector<std::string>& chain) {
  for (std::size_t i = chain.size() - 1; i-- > 0;) {
    if (!renameNoReplaceAt(folder.fd, chain[i].c_str(), chain[i + 1].c_str())) {
      undoShift(folder.fd, chain, i + 1);
      return false;
    }
    folder.changed();
  }
  return true;
}

}  // namespace store_steps
}  // namespace sarnavel
