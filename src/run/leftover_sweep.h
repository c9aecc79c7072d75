// Tidying up after runs that were killed: before a run converts files in a folder, the
// temporary files of ours that no live process holds are removed, and the recovery copies
// that no live process holds give their files the former content back (recovery_copy.h).
//
// A run keeps one LeftoverSweep and hands it the paths of each pass before the pass starts;
// each folder is swept once per run, however many files it holds: the folder that holds a
// path and, for a path that is a symbolic link, the folder of the file it leads to (where
// that file is written). Only names of ours are looked at (temp_file.h); a name of ours that
// is not a regular file, or that another process holds locked, is left alone, and so is one
// the user cannot open.
//
// Contract: never fails; what it could not tidy stays for a later run. Not thread-safe: one
// object per run, used on one thread.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace sarnavel {

struct FolderSweep {
  int temporariesRemoved = 0;
  std::vector<std::filesystem::path> restored;  // files whose former content was put back
  std::vector<std::string> links;               // names in the folder that may be symbolic links
};

// Sweeps one folder now.
FolderSweep sweepFolder(const std::filesystem::path& folder);

class LeftoverSweep {
 public:
  // Sweeps the folders of these paths that this object has not swept yet.
  void sweepFoldersOf(const std::vector<std::string_view>& paths);

  // What was tidied so far.
  const FolderSweep& done() const { return done_; }

 private:
  // Sweeps the folder unless it was swept; the names in it that may be links.
  const std::unordered_set<std::string>& sweepOnce(const std::filesystem::path& folder);

  // Each folder swept, with the names in it that may be links (found by the same listing, so
  // a plain file costs no look at the disk of its own).
  std::unordered_map<std::string, std::unordered_set<std::string>> swept_;
  FolderSweep done_;
};

}  // namespace sarnavel
