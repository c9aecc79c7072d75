// The folders and files the user named, as the files they finally reach: what a run's "inside"
// is. A named file stands for its own folder (the sheets beside a page the user named are part
// of what the user meant); with nothing named, the listed files stand for their folders.
//
// A file is known by its key: its path with every link resolved (as far as the path exists),
// so that two spellings of one path, or a link and its target, are one file.
//
// Contract: built once per run; const afterwards and then safe from any thread.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "run/path_list.h"

namespace sarnavel {

// The key of a path (see above).
std::string fileKey(const std::filesystem::path& path);

// Whether the key `key` is the key `root` or lies below it.
bool keyWithin(std::string_view key, std::string_view root);

class NamedFolders {
 public:
  NamedFolders(const std::vector<std::filesystem::path>& named, const PathList& listed);

  // Whether the file (by its key) lies in a named folder or below one.
  bool cover(const std::string& key) const;
  const std::vector<std::string>& roots() const { return roots_; }

 private:
  std::vector<std::string> roots_;  // keys, each once
};

}  // namespace sarnavel
