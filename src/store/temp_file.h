// The program's own temporary files: where new content is prepared before it replaces a
// file, and where a file's former content waits while the file is written in place.
//
// A temporary file lies beside the file it serves, hidden, named ".<name>.sarnavel-XXXXXX.tmp"
// (the name cut to 200 bytes, XXXXXX six random letters or digits), so it never carries a
// document's extension and no run takes it for a document. A recovery copy (see
// recovery_copy.h) is a temporary file that was complete on disk and then renamed to
// ".<name>.sarnavel-XXXXXX.recovery.tmp". Both kinds are locked (flock, exclusive) by the
// process that made them for as long as it uses them, so a later run can tell a file that a
// killed run left (nobody holds its lock) from one that another run is still writing.
//
// Where the file system can, the file starts unnamed (O_TMPFILE): it is written, given its
// owner, mode and attributes and flushed without a name, so a process killed meanwhile leaves
// nothing at all; it gets a name only when it is complete, by linkat: straight under its final
// name when that name is free (a backup, a new file), or under its hidden temporary name
// just before it is renamed over a file. A file system without O_TMPFILE gets the named
// temporary file from the start; the two behave alike from then on.
//
// Given the run's memory (recordIn), a temporary file is recorded there (run_memory.h) before
// it takes its temporary name (an unnamed one) or as soon as it has one (a named one): a later
// sweep removes only the temporary files the user's memory names.
//
// Contract: create() either gives a new, empty, locked file of the
// caller's alone or fail leaving nothing (errno set). A named file is removed when the object
// goes, unless keep() was called after it was renamed away; an unnamed one disappears by
// itself. Nothing is shared between objects.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "store/posix_file.h"

namespace sarnavel {

enum class LeftoverKind { None, Temporary, Recovery };

// Which of our names a folder entry carries (by its name alone).
LeftoverKind leftoverKindOf(std::string_view name);
// Whether a name of ours (leftoverKindOf not None) was made for the file named `file` in the
// same folder (its name is in it, cut short when long).
bool leftoverServes(std::string_view leftover, std::string_view file);

class RunMemory;

class TempFile {
 public:
  TempFile() = default;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  TempFile(TempFile&& other) noexcept
      : path_(std::move(other.path_)),
        leaf_(std::move(other.leaf_)),
        file_(std::move(other.file_)),
        status_(other.status_),
        unnamed_(other.unnamed_),
        folder_(std::move(other.folder_)),
        name_(std::move(other.name_)),
        memory_(other.memory_) {
    other.path_.clear();
    other.unnamed_ = false;
  }
  TempFile& operator=(TempFile&& other) noexcept;
  ~TempFile();

  // The memory the names this file takes are recorded in; none: not recorded.
  void recordIn(RunMemory* memory) { memory_ = memory; }
  // The one way a temporary file is made: an unnamed file in the open folder (`folder` is its
  // path) where the file system can make one, otherwise ".<name>.sarnavel-XXXXXX.tmp" there,
  // made exclusively; with the mode (the umask applies), locked.
  bool create(int folderFd, const std::filesystem::path& folder, const std::string& name, mode_t mode);

  // Whether the file has no name yet.
  bool unnamed() const { return unnamed_; }
  // Gives an unnamed file its hidden temporary name in the folder it was made in (a named
  // file has it already), so that it can be renamed over a file.
  bool giveTemporaryName(int folderFd);
  // Puts the file under `leaf` in its open folder, never replacing an existing name (EEXIST):
  // an unnamed file is linked there, a named one renamed. The file is then no longer ours to
  // remove (as after keep()).
  bool publishAs(int folderFd, const std::string& leaf);

  int fd() const { return file_.get(); }
  const std::filesystem::path& path() const { return path_; }
  // Its name within the folder.
  const std::string& leaf() const { return leaf_; }
  // The file's status as created (owner, group, mode).
  const struct stat& status() const { return status_; }

  // The file now lives under another name; it is no longer ours to remove. The descriptor,
  // and so the lock, stays until the object goes.
  void keep() { path_.clear(); }
  // Lets go of the descriptor and so of the lock.
  void close() { file_.reset(); }

 private:
  std::filesystem::path path_;  // the named file's full path while it is ours to remove
  std::string leaf_;
  FileDescriptor file_;
  struct stat status_ {};
  bool unnamed_ = false;
  std::filesystem::path folder_;  // an unnamed file's folder and the name its temporary name is made of
  std::string name_;
  RunMemory* memory_ = nullptr;

  void record(const std::filesystem::path& path) const;
  // create()'s named file, where the file system has no unnamed ones.
  bool createNamed(int folderFd, const std::filesystem::path& folder, const std::string& name, mode_t mode);
};

}  // namespace sarnavel
