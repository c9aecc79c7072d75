// A folder's names for the file chooser: each name's own bytes, links judged by where they
// lead, and the reasons a path gives no listing.
#include "store/folder_listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <tuple>

#include "support/temp_folder.h"

namespace sarnavel::testing {
namespace {

TEST(FolderListing, NamesByTheirBytesAndLinksByWhereTheyLead) {
  TempFolder folder;
  folder.put("\x83\x65.html", "x");  // テ.html in Shift_JIS
  folder.put("d/inner.css", "x");
  std::filesystem::create_directory_symlink("d", folder / "to-d");
  std::filesystem::create_symlink("nowhere", folder / "gone");
  std::error_code error;
  std::vector<FolderEntry> entries = folderEntries(folder.path(), error);
  EXPECT_FALSE(error);
  std::ranges::sort(entries, {}, &FolderEntry::name);
  std::vector<std::tuple<std::string, bool>> seen;
  for (const FolderEntry& entry : entries) seen.emplace_back(entry.name, entry.folder);
  EXPECT_EQ(seen, (std::vector<std::tuple<std::string, bool>>{
                      {"d", true}, {"gone", false}, {"to-d", true}, {"\x83\x65.html", false}}));

  for (const auto& [path, reason] : {std::tuple(folder / "d/inner.css", ENOTDIR), std::tuple(folder / "no", ENOENT)}) {
    EXPECT_TRUE(folderEntries(path, error).empty());
    EXPECT_EQ(error.value(), reason) << path;
  }
}

}  // namespace
}  // namespace sarnavel::testing
