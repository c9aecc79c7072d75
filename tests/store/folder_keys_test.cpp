#include "store/folder_keys.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// Worked out from the parent's key, a folder's key is what resolving the whole path gives:
// through links above it and of its own, through "..", and for folders that do not exist.
TEST(FolderKeys, AgreeWithResolvingTheWholePath) {
  TempFolder folder;
  folder.put("real/site/css/a.css", "p{}");
  fs::create_directory_symlink(folder / "real/site", folder / "alias");
  fs::create_directory_symlink("site/css", folder / "real/styles");
  const std::string base = fs::canonical(folder.path()).native();
  const struct {
    const char* folder;
    const char* key;  // below the test's folder
  } cases[] = {
      {"real/site/css", "real/site/css"},
      {"alias/css", "real/site/css"},    // a link above the folder
      {"real/styles", "real/site/css"},  // the folder's own name is a link
      {"real/site/../site/css", "real/site/css"},
      {"alias/../site", "real/site"},  // ".." of a link goes up from its target
      {"real/none/deeper", "real/none/deeper"},
  };
  FolderKeys keys;
  for (int round = 0; round < 2; ++round) {
    for (const auto& c : cases) {
      const std::string path = (folder / c.folder).native();
      EXPECT_EQ(keys.of(path), base + "/" + c.key) << c.folder;
      EXPECT_EQ(keys.of(path), resolvedKey(path)) << c.folder;
    }
  }
  EXPECT_EQ(keys.of("/"), "/");
}

}  // namespace
}  // namespace sarnavel
