#include "run/named_folders.h"
#include "store/path_parts.h"

#include <algorithm>
#include <system_error>

namespace sarnavel {

bool keyWithin(std::string_view key, std::string_view root) {
  if (!key.starts_with(root)) return false;
  return key.size() == root.size() || root.ends_with('/') || key[root.size()] == '/';
}

std::string fileKey(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path key = std::filesystem::weakly_canonical(path, error);
  if (error) key = std::filesystem::absolute(path, error).lexically_normal();
  return key.native();
}

NamedFolders::NamedFolders(const std::vector<std::filesystem::path>& named, const PathList& listed) {
  auto add = [&](const std::filesystem::path& path) {
    std::error_code error;
    const bool folder = std::filesystem::is_directory(path, error);
    roots_.push_back(fileKey(folder ? path : std::filesystem::absolute(path, error).parent_path()));
  };
  for (const std::filesystem::path& path : named) add(path);
  if (named.empty()) {
    // Each folder once, not once per file.
    std::string_view previousFolder;
    for (std::string_view file : listed) {
      const std::string_view folder = folderPart(file);
      if (folder == previousFolder) continue;
      previousFolder = folder;
      add(std::filesystem::path(file));
    }
  }
  std::sort(roots_.begin(), roots_.end());
  roots_.erase(std::unique(roots_.begin(), roots_.end()), roots_.end());
}

bool NamedFolders::cover(const std::string& key) const {
  for (const std::string& root : roots_)
    if (keyWithin(key, root)) return true;
  return false;
}

}  // namespace sarnavel
