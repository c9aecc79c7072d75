// Tidying up after runs that were killed: before a run converts files in a folder, the
// temporary files of ours that no live process holds are removed, and the recovery copies
// that no live process holds give their files the former content back (recovery_copy.h).
// Only what the user's memory names (run_memory.h) is ours: a file that merely looks like one
// of our temporary files or recovery copies (another user's, one planted, one a run without
// memory left) is never removed nor used.
//
// A run keeps one LeftoverSweep and hands it the paths of each pass before the pass starts;
// each folder is swept once per run, however many files it holds: the folder that holds a
// path and, for a path that is a symbolic link, the folder of the file it leads to (where
// that file is written). Only names of ours are looked at (temp_file.h); a name of ours that
// is not a regular file, or that another process holds locked, is left alone, and so is one
// the user cannot open.
//
// A recovery copy that stays and that the user cannot use (another user's, one the memory
// does not name, one a live run holds, one whose former content could not be put back) keeps
// its file from being converted: whoever may use it must come first (pendingFor). One whose
// file's name now leads to another file stays too, for whoever needs the former content, and
// is told (keptCopies); the file under the name is another one and may be converted. A look
// only (a dry run, a check) changes nothing, and finds pending the copies the user could not
// use.
//
// Contract: never fails; what it could not tidy stays for a later run. Not thread-safe: one
// object per run, used on one thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace sarnavel {

class RunMemory;

struct FolderSweep {
  int temporariesRemoved = 0;
  std::vector<std::filesystem::path> restored;    // files whose former content was put back
  std::vector<std::filesystem::path> keptCopies;  // the user's copies whose file is another one now
  std::vector<std::string> pending;               // recovery copies (names in the folder) that stay unused
  std::vector<std::string> links;                 // names in the folder that may be symbolic links
};

// Sweeps one folder now; with `lookOnly`, only looks.
FolderSweep sweepFolder(const std::filesystem::path& folder, const RunMemory& memory, bool lookOnly = false);

class LeftoverSweep {
 public:
  LeftoverSweep(const RunMemory& memory, bool lookOnly) : memory_(memory), lookOnly_(lookOnly) {}

  // Sweeps the folders of these paths that this object has not swept yet.
  void sweepFoldersOf(const std::vector<std::string_view>& paths);
  // The recovery copy (its path) that keeps the file from being converted, if any; the file's
  // folder (and, for a link, its file's folder) must have been swept.
  std::optional<std::filesystem::path> pendingFor(std::string_view path) const;

  // What was tidied so far.
  const FolderSweep& done() const { return done_; }

 private:
  struct Swept {
    std::unordered_set<std::string> links;  // names in it that may be links
    std::vector<std::string> pending;
  };
  // Sweeps the folder unless it was swept.
  const Swept& sweepOnce(const std::filesystem::path& folder);
  std::optional<std::filesystem::path> pendingIn(std::string_view folder, std::string_view name) const;

  const RunMemory& memory_;
  bool lookOnly_;
  // Each folder swept, with the names in it that may be links (found by the same listing, so
  // a plain file costs no look at the disk of its own).
  std::unordered_map<std::string, Swept> swept_;
  FolderSweep done_;
};

}  // namespace sarnavel
