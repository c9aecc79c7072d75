#include "store/file_attributes.h"

#include <errno.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace sarnavel {
namespace {

constexpr const char* kAccessAcl = "system.posix_acl_access";
// The layout of an ACL attribute: a 4-byte version, then entries of tag (2 bytes),
// permissions (2 bytes) and id (4 bytes), little-endian.
constexpr std::size_t kAclHeader = 4, kAclEntry = 8;
constexpr std::uint16_t kAclGroupObject = 0x04;

// Calls `get(buffer, size)` (a list or get of attributes) until the value fits: it may grow
// between asking its size and reading it.
template <class Get>
bool readGrowing(Get get, std::string& out) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    const ssize_t size = get(nullptr, 0);
    if (size < 0) return false;
    out.resize(static_cast<std::size_t>(size));
    if (size == 0) return true;
    const ssize_t got = get(out.data(), out.size());
    if (got >= 0) {
      out.resize(static_cast<std::size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;
  }
  return false;
}

bool notSupported(int error) { return error == ENOTSUP || error == EOPNOTSUPP; }

template <class List, class Get>
bool readAll(List list, Get get, ExtendedAttributes& attributes) {
  attributes.clear();
  std::string names;
  if (!readGrowing(list, names)) return notSupported(errno);
  for (std::size_t at = 0; at < names.size();) {
    const std::size_t end = names.find('\0', at);
    std::string name = names.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? names.size() : end + 1;
    if (name.empty()) continue;
    std::string value;
    if (!readGrowing([&](void* buffer, std::size_t size) { return get(name.c_str(), buffer, size); }, value)) {
      if (errno == ENODATA) continue;  // removed meanwhile
      return false;
    }
    attributes.push_back({std::move(name), std::move(value)});
  }
  return true;
}

}  // namespace

bool hasExtendedAttributes(int fd) {
  const ssize_t size = ::flistxattr(fd, nullptr, 0);
  // A file whose attributes cannot even be listed is treated as having some, so that the
  // careful path looks at it again.
  return size != 0 && !(size < 0 && notSupported(errno));
}

bool readExtendedAttributes(int fd, ExtendedAttributes& attributes) {
  return readAll([&](void* buffer, std::size_t size) { return ::flistxattr(fd, static_cast<char*>(buffer), size); },
                 [&](const char* name, void* buffer, std::size_t size) { return ::fgetxattr(fd, name, buffer, size); },
                 attributes);
}

bool readExtendedAttributes(const std::filesystem::path& path, ExtendedAttributes& attributes) {
  const char* p = path.c_str();
  return readAll([&](void* buffer, std::size_t size) { return ::listxattr(p, static_cast<char*>(buffer), size); },
                 [&](const char* name, void* buffer, std::size_t size) { return ::getxattr(p, name, buffer, size); },
                 attributes);
}

bool applyExtendedAttributes(int fd, const ExtendedAttributes& attributes) {
  ExtendedAttributes present;
  if (!readExtendedAttributes(fd, present)) return false;
  for (const ExtendedAttribute& had : present) {
    const bool wanted = std::any_of(attributes.begin(), attributes.end(),
                                    [&](const ExtendedAttribute& a) { return a.name == had.name; });
    if (!wanted && ::fremovexattr(fd, had.name.c_str()) != 0 && errno != ENODATA) return false;
  }
  for (const ExtendedAttribute& attribute : attributes) {
    auto same = std::find_if(present.begin(), present.end(),
                             [&](const ExtendedAttribute& a) { return a.name == attribute.name; });
    if (same != present.end() && same->value == attribute.value) continue;
    if (::fsetxattr(fd, attribute.name.c_str(), attribute.value.data(), attribute.value.size(), 0) != 0) return false;
  }
  return true;
}

void withoutOwningGroupPermissions(ExtendedAttributes& attributes) {
  for (ExtendedAttribute& attribute : attributes) {
    if (attribute.name != kAccessAcl) continue;
    std::string& acl = attribute.value;
    for (std::size_t at = kAclHeader; at + kAclEntry <= acl.size(); at += kAclEntry) {
      const auto tag = static_cast<std::uint16_t>(static_cast<unsigned char>(acl[at]) |
                                                  static_cast<unsigned char>(acl[at + 1]) << 8);
      if (tag == kAclGroupObject) acl[at + 2] = acl[at + 3] = '\0';
    }
  }
}

OwnershipKept carryOwner(int fd, const struct stat& created, const struct stat& original) {
  // The usual case, the user's own file in the user's group, needs nothing.
  if (created.st_uid == original.st_uid && created.st_gid == original.st_gid) return {true, true};
  if (::fchown(fd, original.st_uid, original.st_gid) == 0) return {true, true};
  // Not allowed to give the file away; the group alone may still be one of the user's.
  ::fchown(fd, static_cast<uid_t>(-1), original.st_gid);
  struct stat now;
  if (::fstat(fd, &now) != 0) return {};
  return {now.st_uid == original.st_uid, now.st_gid == original.st_gid};
}

mode_t modeCarried(const struct stat& original, OwnershipKept kept) {
  mode_t mode = original.st_mode & 07777;
  if (!kept.owner) mode &= ~static_cast<mode_t>(04000);
  if (!kept.group) mode &= ~static_cast<mode_t>(02070);
  return mode;
}

bool setMode(int fd, mode_t& current, mode_t wanted) {
  if ((current & 07777) == wanted) return true;
  if (::fchmod(fd, wanted) != 0) return false;
  current = wanted;
  return true;
}

}  // namespace sarnavel
