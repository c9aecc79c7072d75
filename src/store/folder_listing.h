// A folder's names, for a person to choose among (the desktop program's file chooser).
//
// Each entry is a name's own bytes, whatever they are (a Shift_JIS name from an old archive
// stays those bytes), and whether it leads to a folder: a link to a folder counts as one, since
// a person going through it chose to. "." and ".." are left out; hidden names are kept, the
// chooser decides. The entries come in the folder's own order.
//
// A folder that cannot be opened or read gives no entries and the reason in `error`:
// ENOTDIR when the path names something other than a folder, ENOENT when it names nothing.
//
// Pure apart from reading the folder; any thread.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace sarnavel {

struct FolderEntry {
  std::string name;
  bool folder = false;
};

std::vector<FolderEntry> folderEntries(const std::filesystem::path& folder, std::error_code& error);

}  // namespace sarnavel
