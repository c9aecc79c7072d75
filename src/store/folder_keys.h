// Folders named by the folder they finally reach: links resolved, "." and ".." gone, so that
// two spellings of one folder, or a link and its target, give one key.
//
// A key is worked out once per folder, and from its parent's: a folder whose own name is no
// link is its parent's key plus its name, which costs one look at the name (lstat) instead of
// a look at every folder above it. Only a name that is a link, or a path that does not lead to
// a folder, is resolved whole (std::filesystem::weakly_canonical; a path that cannot be
// resolved is made absolute and lexically normal instead).
//
// Contract: of(folder) gives what weakly_canonical gives for an existing folder, with no
// trailing '/' ("/" itself aside); paths are absolute or relative to the current folder.
// Remembers one key per folder asked for (and per folder above it), not per file. Not
// thread-safe: one per user.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace sarnavel {

class FolderKeys {
 public:
  const std::string& of(std::string_view folder);

 private:
  std::map<std::string, std::string, std::less<>> keys_;
};

// The key of any path (a file's too) resolved whole, as FolderKeys gives it.
std::string resolvedKey(std::string_view path);

}  // namespace sarnavel
