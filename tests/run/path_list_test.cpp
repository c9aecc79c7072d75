// The run's compact list of paths: what goes in comes out, in order, whatever the lengths (which
// paths a walk keeps is held by the intake's tests).
#include "run/path_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sarnavel {
namespace {

// Paths of every length around the block's size and its quarter, many enough to fill blocks.
std::vector<std::string> mixedPaths() {
  std::vector<std::string> paths = {
      "",       "/a.html", std::string(16 * 1024, 'q'), std::string(16 * 1024 + 1, 'r'), std::string(70 * 1024, 's'),
      "/a.html"};
  for (int k = 0; k < 5000; ++k)
    paths.push_back("/site/f" + std::to_string(k % 97) + "/p" + std::to_string(k) + ".html");
  paths.push_back(std::string(64 * 1024, 't'));
  paths.push_back("/last.css");
  return paths;
}

TEST(PathList, GivesBackEveryPathInOrderAfterACopyAMoveAndAReuse) {
  const std::vector<std::string> paths = mixedPaths();
  PathList list(paths);
  EXPECT_EQ(list.strings(), paths);
  PathList copy = list;
  EXPECT_EQ(copy.strings(), paths);
  PathList moved = std::move(list);
  EXPECT_EQ(moved.strings(), paths);
  copy = moved;
  EXPECT_EQ(copy.strings(), paths);
  // A list moved from starts again empty, sharing nothing with the one it went to.
  list.push_back("/again.js");  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(list.strings(), std::vector<std::string>{"/again.js"});
  EXPECT_EQ(moved.strings(), paths);
}

}  // namespace
}  // namespace sarnavel
