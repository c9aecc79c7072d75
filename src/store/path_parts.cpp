#include "store/path_parts.h"

namespace sarnavel {

std::string_view folderPart(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string_view namePart(std::string_view path) { return path.substr(path.rfind('/') + 1); }

std::filesystem::path folderOf(const std::filesystem::path& path) {
  return std::filesystem::path(folderPart(path.native()));
}

}  // namespace sarnavel
