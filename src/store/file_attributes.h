// What a file has besides its content: owner, group, permission bits and extended attributes
// (POSIX ACLs are the attribute "system.posix_acl_access"), read from one file and given to
// another, so that a file written anew keeps exactly the access the former one had.
//
// Contract: the functions read or set what the file system lets the caller read or set and
// say when something could not be carried; they never widen access to make up for it (a
// group that cannot be kept loses its permission bits on the new file, see modeCarried).
// Attributes the caller may not even list (trusted.* for an ordinary user) are beyond reach.
// No state; any thread.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace sarnavel {

struct ExtendedAttribute {
  std::string name;
  std::string value;
};
using ExtendedAttributes = std::vector<ExtendedAttribute>;

// Whether the open file has any extended attribute the caller can see (one system call).
bool hasExtendedAttributes(int fd);

// Every attribute of the open file (or of the file a path names, links followed) with its
// value. False when the list or a value cannot be read; a file system without extended
// attributes gives an empty list.
bool readExtendedAttributes(int fd, ExtendedAttributes& attributes);
bool readExtendedAttributes(const std::filesystem::path& path, ExtendedAttributes& attributes);

// Gives the open file exactly these attributes: each is set, and any other it has (a folder's
// default ACL gives a new file one) is removed. False when one cannot be set or removed.
bool applyExtendedAttributes(int fd, const ExtendedAttributes& attributes);

// Takes the permissions of the owning group out of an ACL among the attributes, for a file
// whose owning group is not the former file's.
void withoutOwningGroupPermissions(ExtendedAttributes& attributes);

// What carryOwner could keep.
struct OwnershipKept {
  bool owner = false;
  bool group = false;
};

// Gives the open file (new, ours, with the status `created`) the owner and group of
// `original`. An ordinary user cannot give a file away: the file stays theirs, and the group
// is kept where the user may (a group the user is in).
OwnershipKept carryOwner(int fd, const struct stat& created, const struct stat& original);

// The permission bits for a new file that carries `original`'s access: the same bits, less
// those meant for an owner or a group the new file does not have (set-user-ID, set-group-ID
// and the group's bits). Set them after the owner (changing the owner clears the set-ID bits)
// and after the content (a write by an ordinary user clears them too).
mode_t modeCarried(const struct stat& original, OwnershipKept kept);

// Sets the open file's permission bits to `wanted` unless `current` says they are so already,
// and keeps `current` up to date. False when they cannot be set.
bool setMode(int fd, mode_t& current, mode_t wanted);

}  // namespace sarnavel
