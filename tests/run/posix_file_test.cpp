#include "run/posix_file.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace sarnavel {
namespace {

std::string contentOf(int fd) {
  std::string content;
  char block[4096];
  for (off_t at = 0;;) {
    const ssize_t count = ::pread(fd, block, sizeof block, at);
    if (count <= 0) return content;
    content.append(block, static_cast<std::size_t>(count));
    at += count;
  }
}

// Content given in pieces lands in the file in their order, however many there are (past what
// one writev takes) and with empty ones among them.
TEST(PosixFile, WritesPieces) {
  std::vector<std::string> many;
  for (int k = 0; k < 2 * IOV_MAX + 3; ++k) many.push_back(k % 5 == 0 ? "" : std::string(1 + k % 7, static_cast<char>('a' + k % 26)));
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
  for (const Case& c : cases) {
    char name[] = "/tmp/sarnavel-pieces-XXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    ::unlink(name);
    std::vector<std::string_view> views(c.pieces.begin(), c.pieces.end());
    std::string expected;
    for (const std::string& piece : c.pieces) expected += piece;
    EXPECT_TRUE(writeAll(fd, views)) << c.name;
    EXPECT_EQ(contentOf(fd), expected) << c.name;
    ::close(fd);
  }
}

}  // namespace
}  // namespace sarnavel
