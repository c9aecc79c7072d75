// A path's folder and name, by its last '/': the one rule every room names a file's folder by,
// so that a folder named in one place is the folder named in another. Paths are taken as
// given (no look at the disk, no "." or ".." resolved); a path never ends in '/'.
#pragma once

#include <filesystem>
#include <string_view>

namespace sarnavel {

// What comes before the last '/': "/" for a name in the root, "." for a bare name.
std::string_view folderPart(std::string_view path);

// What comes after the last '/' (the whole of a bare name).
std::string_view namePart(std::string_view path);

// folderPart as a path.
std::filesystem::path folderOf(const std::filesystem::path& path);

}  // namespace sarnavel
