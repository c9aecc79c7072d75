#include "run/normal_path.h"

#include <system_error>

namespace sarnavel {

bool isPlainPath(std::string_view path) {
  if (path.empty()) return false;
  if (path == "/") return true;
  if (path.back() == '/') return false;
  std::size_t start = path.front() == '/' ? 1 : 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

std::string normalJoin(const std::filesystem::path& folder, std::string_view reference) {
  const std::string& base = folder.native();
  if (isPlainPath(reference) && reference.front() == '/') return std::string(reference);
  if (base.starts_with('/') && isPlainPath(base)) {
    // Leading "./" parts stay in the folder and "../" parts climb out of it (never above "/"),
    // before a plain rest.
    std::string_view rest = reference;
    std::size_t kept = base.size();  // base[0, kept) is the folder reached
    for (;;) {
      if (rest.starts_with("./")) {
        rest.remove_prefix(2);
      } else if (rest.starts_with("../")) {
        rest.remove_prefix(3);
        if (kept > 1) {
          const std::size_t slash = base.rfind('/', kept - 1);
          kept = slash == 0 ? 1 : slash;
        }
      } else {
        break;
      }
    }
    if (isPlainPath(rest) && rest.front() != '/') {
      std::string full;
      full.reserve(kept + 1 + rest.size());
      full.append(base, 0, kept);
      if (kept > 1) full += '/';
      full.append(rest);
      return full;
    }
  }
  const std::filesystem::path written{std::string(reference)};
  return (written.is_absolute() ? written : folder / written).lexically_normal().native();
}

std::filesystem::path normalFolderOf(const std::filesystem::path& path) {
  const std::string& text = path.native();
  if (text.starts_with('/') && isPlainPath(text)) {
    const std::size_t slash = text.rfind('/');
    return std::filesystem::path(text.substr(0, slash == 0 ? 1 : slash));
  }
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(path, error).lexically_normal();
  return error ? path.parent_path() : full.parent_path();
}

}  // namespace sarnavel
