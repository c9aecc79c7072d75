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

TEST(NormalPath, PlainPathsAreTakenAsWrittenAndOthersPutRight) {
  const struct {
    const char* folder;
    const char* reference;
  } cases[] = {
      {"/site/a", "css/x.css"},  {"/", "x.css"},         {"/site", "/abs/x.css"}, {"/site", "../x.css"},
      {"/site", "./x.css"},      {"/site", "a//x.css"},  {"/site", "a/"},         {"/site/", "x.css"},
      {"/site/./a", "x.css"},    {"site", "x.css"},      {"", "x.css"},           {"/site", "..."},
      {"/site", "a/../../../x"}, {"/site", "//x.css"},   {"/site", "."},          {"/s", "a/.hidden/b..c"},
      {"/site/a", "../css/x.css"}, {"/site", "../../../x.css"}, {"/", "../x"},   {"/site/a", "./.././x"},
      {"/site/a", "..//x"},        {"/site/a", "../"},          {"/site/a", "../x/"}, {"/site/a", "../../"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(normalJoin(c.folder, c.reference), joinedByFilesystem(c.folder, c.reference))
        << c.folder << " + " << c.reference;
  }
  for (const char* path : {"/site/a.html", "/a.html", "site/a.html", "a.html", "/site//a.html", "/site/../a.html", "./a"})
    EXPECT_EQ(normalFolderOf(path), folderByFilesystem(path)) << path;
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
