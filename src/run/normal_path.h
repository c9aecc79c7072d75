// Paths made lexically normal by text, as std::filesystem's lexically_normal makes them, with
// the common case taken as written: a path with no "." or ".." part, no doubled '/' and no '/'
// at its end is normal already, and a folder that is such an absolute path joined with a
// reference that is such a path, after any leading "./" and "../" parts, gives their
// concatenation (the folder less one name for each "../"). Only other paths are split into
// their parts and put together again (std::filesystem), which for the few references per page
// and the one page path per file was most of the run's own path work.
//
// Contract: every function gives byte for byte what its std::filesystem form gives.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace sarnavel {

// Whether `path` is not empty and has no empty, "." or ".." part and no '/' at its end ("/"
// itself aside): std::filesystem would give it back unchanged from lexically_normal.
bool isPlainPath(std::string_view path);

// (reference if absolute, else folder / reference).lexically_normal(), as text.
std::string normalJoin(const std::filesystem::path& folder, std::string_view reference);

// The folder of the file `path` names, made absolute and normal:
// absolute(path).lexically_normal().parent_path(), or path.parent_path() when the current
// folder cannot be known.
std::filesystem::path normalFolderOf(const std::filesystem::path& path);

}  // namespace sarnavel
