#include "run/intake.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <utility>

#include "run/file_kind.h"
#include "store/posix_file.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;

using Identity = std::pair<dev_t, ino_t>;

Identity identityOf(const struct stat& info) { return {info.st_dev, info.st_ino}; }

// The folder that holds the file a path finally reaches, all its links followed; not known
// when it reaches nothing.
FolderId folderReachedBy(const fs::path& path) {
  std::error_code error;
  const fs::path reached = fs::canonical(path, error);
  struct stat info {};
  if (error || stat(reached.parent_path().c_str(), &info) != 0) return {};
  return folderIdOf(info);
}

// The absolute path of a path offered. "." goes by its text, and so does ".." where nothing
// before it is a link; but after a link to a folder ".." leads, as the system takes it, to
// the parent of the link's target, so the part up to the last ".." is resolved on disk. What
// follows it is kept as written (a link named last stays a link).
fs::path fullPathOf(const fs::path& path) {
  std::error_code error;
  fs::path full = fs::absolute(path, error);
  if (error) return path.lexically_normal();
  fs::path head, tail;
  for (const fs::path& part : full) {
    if (part == "..") {
      head /= tail;
      head /= part;
      tail.clear();
    } else {
      tail /= part;
    }
  }
  if (head.empty()) return full.lexically_normal();
  const fs::path resolved = fs::weakly_canonical(head, error);
  if (error) return full.lexically_normal();
  return tail.empty() ? resolved : (resolved / tail).lexically_normal();
}

// A link met in a walk, listed at files[index], whose target must turn out to lie inside a
// named tree when all of them have been walked.
struct LinkToCheck {
  std::size_t index;
  Identity target;
};

// What the walks of one offer gather besides the report.
struct OfferState {
  KindSet kinds;
  const std::atomic<bool>* stop = nullptr;
  bool stopped() const { return stop != nullptr && stop->load(std::memory_order_relaxed); }
  // Every file (any kind, not links) met in the walks, and the files named; in chunks, as a
  // vector would hold one and a half copies of itself while it grows.
  std::deque<Identity> filesInside;
  std::vector<LinkToCheck> links;
};

// One folder on the way down: its name in its parent, and the subfolders still to walk.
struct Level {
  std::string path;
  std::string name;
  Identity identity;
  std::vector<std::string> subfolders;
  std::size_t next = 0;
};

class FolderWalk {
 public:
  FolderWalk(IntakeReport& report, OfferState& state) : report_(report), state_(state) {}

  void walk(const std::string& rootPath) {
    root_ = openFolderAt(AT_FDCWD, rootPath.c_str(), true);
    struct stat info {};
    if (!root_ || fstat(root_.get(), &info) != 0) {
      notice(IntakeNotice::Kind::Unreadable, rootPath, errno);
      return;
    }
    current_ = FileDescriptor(fcntl(root_.get(), F_DUPFD_CLOEXEC, 0));
    if (!current_) {
      notice(IntakeNotice::Kind::Unreadable, rootPath, errno);
      return;
    }
    levels_.push_back(Level{rootPath, {}, identityOf(info), {}, 0});
    list(levels_.back());
    while (!levels_.empty() && !state_.stopped()) {
      Level& top = levels_.back();
      if (top.next < top.subfolders.size()) {
        enter(top.subfolders[top.next++]);
      } else {
        levels_.pop_back();
        if (!levels_.empty()) backUp();
      }
    }
  }

 private:
  void notice(IntakeNotice::Kind kind, const std::string& path, int error = 0) {
    report_.notices.push_back(IntakeNotice{kind, path, error});
  }

  // Lists the folder of current_ (the level on top): its accepted files into the report, its
  // subfolders into the level.
  void list(Level& level) {
    FileDescriptor listing(fcntl(current_.get(), F_DUPFD_CLOEXEC, 0));
    DIR* entries = listing ? fdopendir(listing.get()) : nullptr;
    if (entries == nullptr) {
      notice(IntakeNotice::Kind::Unreadable, level.path, errno);
      return;
    }
    listing.release();  // the stream owns it now
    struct File {
      std::string name;
      bool isLink = false;
      Identity target{};
    };
    std::vector<File> files;
    std::vector<std::string> folderLinks;
    errno = 0;
    while (dirent* entry = state_.stopped() ? nullptr : readdir(entries)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      const FileKind kind = classifyExtension(name);
      const bool accepted = state_.kinds.has(kind);
      struct stat info {};
      if (fstatat(current_.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        // A folder that may be listed but not searched: what its entries are shows only in the
        // listing; a file there is listed so that the run names it as one it cannot open.
        if (entry->d_type == DT_DIR) level.subfolders.push_back(name);
        else if (errno != ENOENT && accepted) files.push_back({name});
      } else if (S_ISDIR(info.st_mode)) {
        level.subfolders.push_back(name);
      } else if (S_ISLNK(info.st_mode)) {
        struct stat target {};
        if (fstatat(current_.get(), name.c_str(), &target, 0) != 0) {
          if (accepted) files.push_back({name});  // leads nowhere: the run will say so
        } else if (S_ISDIR(target.st_mode)) {
          folderLinks.push_back(name);
        } else if (accepted) {
          files.push_back({name, true, identityOf(target)});
        }
      } else {
        state_.filesInside.push_back(identityOf(info));
        if (accepted) files.push_back({name});
        else if (isPageKind(kind) && S_ISREG(info.st_mode)) report_.untakenPages.push_back(level.path + "/" + name);
      }
      errno = 0;
    }
    const int listingError = errno;
    closedir(entries);
    if (listingError != 0) notice(IntakeNotice::Kind::Unreadable, level.path, listingError);

    std::sort(files.begin(), files.end(), [](const File& a, const File& b) { return a.name < b.name; });
    std::sort(level.subfolders.begin(), level.subfolders.end());
    std::sort(folderLinks.begin(), folderLinks.end());
    for (const std::string& name : folderLinks) notice(IntakeNotice::Kind::FolderLink, level.path + "/" + name);
    for (const File& file : files) {
      if (file.isLink) state_.links.push_back({report_.files.size(), file.target});
      std::string path = level.path;
      path += '/';
      path += file.name;
      report_.folders.push_back(file.isLink ? folderReachedBy(path)
                                            : FolderId{level.identity.first, level.identity.second});
      report_.files.push_back(path);
    }
  }

  // Goes down into a subfolder of the level on top, by name, never through a link.
  void enter(const std::string& name) {
    const std::string path = levels_.back().path + "/" + name;
    FileDescriptor child = openFolderAt(current_.get(), name.c_str(), false);
    struct stat info {};
    if (!child || fstat(child.get(), &info) != 0) {
      // Gone since it was listed: nothing to tell. Turned into a link: not followed, as any.
      if (errno == ENOENT) return;
      notice(errno == ELOOP ? IntakeNotice::Kind::FolderLink : IntakeNotice::Kind::Unreadable, path,
             errno == ELOOP ? 0 : errno);
      return;
    }
    const Identity identity = identityOf(info);
    if (std::any_of(levels_.begin(), levels_.end(), [&](const Level& l) { return l.identity == identity; })) {
      notice(IntakeNotice::Kind::Loop, path);
      return;
    }
    current_ = std::move(child);
    levels_.push_back(Level{path, name, identity, {}, 0});
    list(levels_.back());
  }

  // Comes back up to the level now on top: through "..", which must be that very folder; when
  // it is not (a folder was moved meanwhile), down again from the root by name.
  void backUp() {
    FileDescriptor parent = openFolderAt(current_.get(), "..", true);
    struct stat info {};
    if (parent && fstat(parent.get(), &info) == 0 && identityOf(info) == levels_.back().identity) {
      current_ = std::move(parent);
      return;
    }
    current_ = FileDescriptor(fcntl(root_.get(), F_DUPFD_CLOEXEC, 0));
    for (std::size_t k = 1; k < levels_.size(); ++k) {
      FileDescriptor next = current_ ? openFolderAt(current_.get(), levels_[k].name.c_str(), false) : FileDescriptor();
      if (!next || fstat(next.get(), &info) != 0 || identityOf(info) != levels_[k].identity) {
        // What is left of this level and of every level below it cannot be reached any more;
        // current_ is the level above it, which is now on top.
        notice(IntakeNotice::Kind::MovedDuringWalk, levels_[k].path);
        levels_.resize(k);
        return;
      }
      current_ = std::move(next);
    }
  }

  IntakeReport& report_;
  OfferState& state_;
  FileDescriptor root_, current_;
  std::vector<Level> levels_;
};

void offerOne(const fs::path& path, IntakeReport& report, OfferState& state) {
  // No name on disk holds a NUL, and the system would read the path only up to it: a dropped
  // "a.html%00.css" would list the page as a sheet (and its backup name never becomes free).
  if (path.native().find('\0') != std::string::npos) {
    report.missing.push_back(path);
    return;
  }
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) report.missing.push_back(path);
    else report.notices.push_back(IntakeNotice{IntakeNotice::Kind::Unreadable, path, errno});
    return;
  }
  const fs::path full = fullPathOf(path);
  if (S_ISDIR(info.st_mode)) {
    std::string text = full.native();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    const std::size_t filesBefore = report.files.size(), noticesBefore = report.notices.size();
    FolderWalk(report, state).walk(text);
    if (report.files.size() == filesBefore &&
        std::none_of(report.notices.begin() + noticesBefore, report.notices.end(), leavesFilesUnlisted))
      report.foldersWithNoFile.push_back(path);
  } else if (state.kinds.has(classifyExtension(path.native()))) {
    state.filesInside.push_back(identityOf(info));
    report.files.push_back(full.native());
    // A link the user names is followed.
    if (struct stat named{}; lstat(path.c_str(), &named) == 0 && S_ISLNK(named.st_mode)) {
      report.followedLinks.insert(full.native());
      report.folders.push_back(folderReachedBy(full));
    } else if (struct stat folder{}; stat(full.parent_path().c_str(), &folder) == 0) {
      report.folders.push_back(folderIdOf(folder));
    } else {
      report.folders.emplace_back();
    }
  } else {
    report.otherKinds.push_back(path);
    if (isPageKind(classifyExtension(path.native())) && S_ISREG(info.st_mode))
      report.untakenPages.push_back(full.native());
  }
}

// Passes over the links met in the walks whose target lies outside everything named.
void dropLinksOutside(OfferState& state, IntakeReport& report) {
  if (state.links.empty()) return;
  std::sort(state.filesInside.begin(), state.filesInside.end());
  std::vector<bool> outside(report.files.size(), false);
  bool any = false;
  for (const LinkToCheck& link : state.links) {
    if (std::binary_search(state.filesInside.begin(), state.filesInside.end(), link.target)) {
      report.followedLinks.emplace(report.files[link.index]);
      continue;
    }
    outside[link.index] = true;
    any = true;
    report.notices.push_back(IntakeNotice{IntakeNotice::Kind::LinkOutside, report.files[link.index], 0});
  }
  if (!any) return;
  outside.flip();
  report.files.keepOnly(outside);
  std::deque<FolderId> kept;
  for (std::size_t k = 0; k < report.folders.size(); ++k) {
    if (outside[k]) kept.push_back(report.folders[k]);
  }
  report.folders.swap(kept);
}

}  // namespace

bool leavesFilesUnlisted(const IntakeNotice& notice) {
  return notice.kind == IntakeNotice::Kind::Unreadable || notice.kind == IntakeNotice::Kind::MovedDuringWalk;
}

void offerPaths(const std::vector<fs::path>& paths, IntakeReport& report, KindSet kinds,
                const std::atomic<bool>* stop) {
  OfferState state;
  state.kinds = kinds;
  state.stop = stop;
  for (const fs::path& path : paths) {
    if (state.stopped()) break;
    offerOne(path, report, state);
  }
  dropLinksOutside(state, report);
}

void offerPath(const fs::path& path, IntakeReport& report, KindSet kinds) { offerPaths({path}, report, kinds); }

}  // namespace sarnavel
