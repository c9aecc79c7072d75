// Descriptors 0 to 2 that a program was started without are opened on /dev/null, so that no
// file of a run can take their numbers.
#include "store/standard_descriptors.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace sarnavel {
namespace {

// In a child: closes `closed`, opens the standard descriptors, and exits 0 when the report
// names exactly those and each of 0 to 2 is open afterwards (the closed ones on /dev/null).
int childExit(const std::vector<int>& closed) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    for (int fd : closed) close(fd);
    const StandardDescriptors report = openStandardDescriptors();
    const bool was[3] = {report.inputWasClosed, report.outputWasClosed, report.errorWasClosed};
    struct stat null {};
    if (report.failed || stat("/dev/null", &null) != 0) _exit(2);
    for (int fd = 0; fd <= 2; ++fd) {
      const bool shouldBeClosed = std::find(closed.begin(), closed.end(), fd) != closed.end();
      struct stat info {};
      if (was[fd] != shouldBeClosed || fstat(fd, &info) != 0) _exit(3 + fd);
      if (shouldBeClosed && info.st_rdev != null.st_rdev) _exit(6 + fd);
    }
    // A file opened now never takes 0 to 2.
    _exit(open("/dev/null", O_RDONLY) > 2 ? 0 : 9);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST(StandardDescriptors, ClosedOnesAreOpenedOnDevNull) {
  const std::vector<std::vector<int>> cases = {{}, {0}, {1}, {2}, {0, 2}, {1, 2}, {0, 1, 2}};
  for (const auto& closed : cases) EXPECT_EQ(childExit(closed), 0) << "closed: " << ::testing::PrintToString(closed);
}

}  // namespace
}  // namespace sarnavel
