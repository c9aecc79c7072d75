// Every extended attribute of a file (ACLs included), by name, read with the system calls
// themselves rather than through the code under test; a link's own, not its file's.
#pragma once

#include <sys/types.h>
#include <sys/xattr.h>

#include <filesystem>
#include <map>
#include <string>

namespace sarnavel::testing {

inline std::map<std::string, std::string> attributesOf(const std::filesystem::path& path) {
  std::map<std::string, std::string> attributes;
  const ssize_t size = llistxattr(path.c_str(), nullptr, 0);
  if (size <= 0) return attributes;
  std::string names(static_cast<std::size_t>(size), '\0');
  const ssize_t got = llistxattr(path.c_str(), names.data(), names.size());
  for (std::size_t at = 0; got > 0 && at < static_cast<std::size_t>(got);) {
    const std::string name = names.c_str() + at;
    at += name.size() + 1;
    const ssize_t length = lgetxattr(path.c_str(), name.c_str(), nullptr, 0);
    std::string value(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) lgetxattr(path.c_str(), name.c_str(), value.data(), value.size());
    attributes[name] = value;
  }
  return attributes;
}

}  // namespace sarnavel::testing
