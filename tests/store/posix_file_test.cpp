#include "store/posix_file.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/temp_folder.h"

namespace sarnavel {
namespace {

// Content given in pieces lands in the file in their order, however many there are (past what
// one writev takes) and with empty ones among them.
TEST(PosixFile, WritesPieces) {
  std::vector<std::string> many;
  for (int k = 0; k < 2 * IOV_MAX + 3; ++k)
    many.push_back(k % 5 == 0 ? "" : std::string(1 + k % 7, static_cast<char>('a' + k % 26)));
  struct Case {
    const char* name;
    std::vector<std::string> pieces;
  };
  const std::vector<Case> cases = {
      {"none", {}},
      {"one", {"<p>page"}},
      {"empty ones between", {"", "<meta charset=", "", "UTF-8", "><p>", ""}},
      {"a large one", {"<meta>", std::string(3 << 20, 'x'), "end"}},
      {"more than one writev takes", many},
  };
  const testing::TempFolder folder;
  for (const Case& c : cases) {
    const std::filesystem::path file = folder / c.name;
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    std::vector<std::string_view> views(c.pieces.begin(), c.pieces.end());
    std::string expected;
    for (const std::string& piece : c.pieces) expected += piece;
    EXPECT_TRUE(writeAll(fd, views)) << c.name;
    ::close(fd);
    EXPECT_EQ(testing::TempFolder::read(file), expected) << c.name;
  }
}

}  // namespace
}  // namespace sarnavel
