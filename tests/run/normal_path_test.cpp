// Paths made normal by text must be what std::filesystem makes of them, for every path.
#include "run/normal_path.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <system_error>

namespace sarnavel {
namespace {

namespace fs = std::filesystem;

std::string joinedByFilesystem(const fs::path& folder, const std::string& reference) {
  const fs::path written(reference);
  return (written.is_absolute() ? written : folder / written).lexically_normal().native();
}

fs::path folderByFilesystem(const fs::path& path) {
  std::error_code error;
  const fs::path full = fs::absolute(path, error).lexically_normal();
  return error ? path.parent_path() : full.parent_path();
}

TEST(NormalPath, RandomPathsAreMadeWhatTheFileSystemLibraryMakesOfThem) {
  std::mt19937 random(11);
  auto randomPath = [&] {
    static constexpr char kBytes[] = {'a', 'b', '.', '/', '/'};
    std::string text(random() % 10, 'a');
    for (char& c : text) c = kBytes[random() % sizeof kBytes];
    return text;
  };
  for (int round = 0; round < 20000; ++round) {
    // Half the folders absolute and a third of the references climbing, where the short cuts are.
    const std::string folder = (round % 2 ? "" : "/") + randomPath();
    const std::string reference = (round % 3 ? "" : "../") + randomPath();
    if (reference.empty()) continue;  // the resolver never asks for an empty reference
    ASSERT_EQ(normalJoin(folder, reference), joinedByFilesystem(folder, reference)) << folder << " + " << reference;
    if (isPlainPath(reference)) {
      ASSERT_EQ(fs::path(reference).lexically_normal().native(), reference);
    }
    if (!folder.empty()) {
      ASSERT_EQ(normalFolderOf(folder), folderByFilesystem(folder)) << folder;
    }
  }
}

}  // namespace
}  // namespace sarnavel
