#include "store/folder_keys.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace sarnavel {

std::string resolvedKey(std::string_view path) {
  const std::filesystem::path given{std::string(path)};
  std::error_code error;
  std::filesystem::path key = std::filesystem::weakly_canonical(given, error);
  if (error) key = std::filesystem::absolute(given, error).lexically_normal();
  std::string text = key.native();
  if (text.size() > 1 && text.ends_with('/')) text.pop_back();
  return text;
}

const std::string& FolderKeys::of(std::string_view folder) {
  if (auto known = keys_.find(folder); known != keys_.end()) return known->second;
  std::string key;
  const std::size_t slash = folder.rfind('/');
  const std::string_view leaf = slash == std::string_view::npos ? folder : folder.substr(slash + 1);
  struct stat info {};
  if (slash != std::string_view::npos && !leaf.empty() && leaf != "." && leaf != ".." &&
      ::lstat(std::string(folder).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    // std::map keeps its entries where they are: the parent's key stays valid.
    const std::string& parent = of(folder.substr(0, slash == 0 ? 1 : slash));
    key = parent + (parent.ends_with('/') ? "" : "/") + std::string(leaf);
  } else {
    key = resolvedKey(folder);
  }
  return keys_.emplace(std::string(folder), std::move(key)).first->second;
}

}  // namespace sarnavel
