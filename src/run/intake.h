// Which files a drop, a command line or a folder offers for conversion.
//
// A path offered is looked at on disk: one that does not exist adds nothing; a folder is
// walked with all its subfolders; a file is taken when its kind is a page, a style sheet or a
// script (by the extension of the name offered). Every file taken is listed by its absolute
// path, made without touching the file ("." and ".." resolved by their text, links kept).
//
// The walk of a folder lists the folder's own accepted files first, ascending by full path,
// then walks its subfolders depth-first in ascending order of name. Hidden files are treated
// like others. A link to a folder is followed, but a folder already on the way down (a link
// loop) is not entered again. A folder that cannot be read adds nothing and the walk goes
// on. Paths are never cut, whatever their length. The walk never changes the current
// directory.
//
// The intake does not look for duplicates: a file offered twice is listed twice.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace sarnavel {

struct IntakeReport {
  std::vector<std::filesystem::path> files;        // accepted, in intake order
  std::vector<std::filesystem::path> missing;      // offered paths that do not exist
  std::vector<std::filesystem::path> otherKinds;   // offered files of a kind not converted
};

// Offers one path, as a drop or a command-line argument does, adding to the report.
void offerPath(const std::filesystem::path& path, IntakeReport& report);

}  // namespace sarnavel
