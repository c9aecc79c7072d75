#include "run/leftover_sweep.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "run/recovery_copy.h"
#include "run/temp_file.h"
#include "support/temp_folder.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// Runs `body` in a child process that then ends at once, as a killed one would: no object is
// destroyed, its locks go with it.
template <class Body>
void inChildThatDies(Body body) {
  const pid_t child = fork();
  if (child == 0) {
    body();
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

const std::string kOld = "the former content of the page, longer than the new one";
const std::string kNew = "the new content";

// Makes the recovery copy of `file` for kNew, then does `then` to the open file, and dies.
void killedInPlaceWrite(const fs::path& file, void (*then)(int fd)) {
  inChildThatDies([&] {
    const int fd = open(file.c_str(), O_RDWR);
    struct stat info;
    fstat(fd, &info);
    RecoveryCopy* copy = new RecoveryCopy;  // never destroyed: the process dies with it
    if (!copy->make(file, fd, info, kNew, false)) _exit(1);
    then(fd);
  });
}

TEST(LeftoverSweep, AKilledInPlaceWriteLeavesTheWholeOldOrTheWholeNewContent) {
  const struct {
    const char* moment;
    void (*then)(int fd);
    std::string expected;
    bool restored;
  } cases[] = {
      {"before the write", [](int) {}, kOld, false},
      {"half-way through the write", [](int fd) { pwrite(fd, kNew.data(), kNew.size() / 2, 0); }, kOld, true},
      {"before the cut", [](int fd) { pwrite(fd, kNew.data(), kNew.size(), 0); }, kOld, true},
      {"after the write", [](int fd) { pwrite(fd, kNew.data(), kNew.size(), 0), ftruncate(fd, kNew.size()); }, kNew,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.moment);
    TempFolder folder;
    const fs::path file = folder.put("a.html", kOld);
    fs::create_hard_link(file, folder / "b.html");
    killedInPlaceWrite(file, c.then);
    ASSERT_EQ(TempFolder::namesIn(folder.path()).size(), 3u);  // the recovery copy waits

    const FolderSweep swept = sweepFolder(folder.path());
    EXPECT_EQ(TempFolder::read(file), c.expected);
    EXPECT_EQ(TempFolder::read(folder / "b.html"), c.expected);
    EXPECT_EQ(swept.restored.size(), c.restored ? 1u : 0u);
    EXPECT_EQ(TempFolder::namesIn(folder.path()), (std::set<std::string>{"a.html", "b.html"}));
  }
}

TEST(LeftoverSweep, ARecoveryCopyOfAFileReplacedSinceIsDroppedAndTheFileLeftAlone) {
  TempFolder folder;
  const fs::path file = folder.put("a.html", kOld);
  killedInPlaceWrite(file, [](int fd) { pwrite(fd, kNew.data(), 3, 0); });
  folder.put("other", "someone's new file");
  fs::rename(folder / "other", file);
  sweepFolder(folder.path());
  EXPECT_EQ(TempFolder::read(file), "someone's new file");
  EXPECT_EQ(TempFolder::namesIn(folder.path()), std::set<std::string>{"a.html"});
}

// A recovery copy that someone else made, or could have written, could name any file and hold
// any bytes: it is not used.
TEST(LeftoverSweep, ARecoveryCopySomeoneElseCouldHaveWrittenIsLeftAlone) {
  const struct {
    const char* what;
    void (*make)(const fs::path& copy, const fs::path& folder);
  } cases[] = {
      {"another user's", [](const fs::path& copy, const fs::path&) { ASSERT_EQ(chown(copy.c_str(), 65534, 65534), 0); }},
      {"with a second name", [](const fs::path& copy, const fs::path& folder) { fs::create_hard_link(copy, folder / "x"); }},
      {"writable by its group", [](const fs::path& copy, const fs::path&) { ASSERT_EQ(chmod(copy.c_str(), 0620), 0); }},
      {"writable by anyone", [](const fs::path& copy, const fs::path&) { ASSERT_EQ(chmod(copy.c_str(), 0602), 0); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    const fs::path file = folder.put("a.html", kOld);
    killedInPlaceWrite(file, [](int fd) { pwrite(fd, "XYZ", 3, 0); });
    for (const std::string& name : TempFolder::namesIn(folder.path())) {
      if (name != "a.html") c.make(folder / name, folder.path());
    }
    const auto before = TempFolder::namesIn(folder.path());
    sweepFolder(folder.path());
    EXPECT_EQ(TempFolder::namesIn(folder.path()), before);
    EXPECT_EQ(TempFolder::read(file), "XYZ" + kOld.substr(3));
  }
}

// The copy of a file anyone may write, another user's, is the writing user's and nobody else
// may write it; that user's next run puts the former bytes back.
TEST(LeftoverSweep, TheRecoveryCopyOfAnotherUsersFileIsTheWritersAlone) {
  TempFolder folder;
  const fs::path file = folder.put("a.html", kOld);
  ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(file.c_str(), 0666), 0);
  killedInPlaceWrite(file, [](int fd) { pwrite(fd, "XYZ", 3, 0); });
  for (const std::string& name : TempFolder::namesIn(folder.path())) {
    if (name == "a.html") continue;
    struct stat copy;
    ASSERT_EQ(stat((folder / name).c_str(), &copy), 0);
    EXPECT_EQ(copy.st_uid, geteuid());
    EXPECT_EQ(copy.st_mode & 07777, 0644u);
  }
  sweepFolder(folder.path());
  EXPECT_EQ(TempFolder::read(file), kOld);
  EXPECT_EQ(TempFolder::namesIn(folder.path()), std::set<std::string>{"a.html"});
}

TEST(LeftoverSweep, OnlyOurAbandonedFilesAreTouched) {
  TempFolder folder;
  const fs::path file = folder.put("a.html", kOld);
  inChildThatDies([&] { (new TempFile)->create(folder.path(), "a.html", 0600); });  // abandoned
  TempFile live;
  ASSERT_TRUE(live.create(folder.path(), "b.html", 0600));
  RecoveryCopy liveCopy;
  {
    const int fd = open(file.c_str(), O_RDWR);
    struct stat info;
    fstat(fd, &info);
    ASSERT_TRUE(liveCopy.make(file, fd, info, kNew, false));
    close(fd);
  }
  // Names like ours that are not: not hidden, too short a mark, not a regular file.
  folder.put("a.html.sarnavel-ABCDEF.tmp", "user's");
  folder.put(".a.html.sarnavel-ABC.tmp", "user's");
  ASSERT_EQ(mkfifo((folder / ".p.html.sarnavel-ABCDEF.tmp").c_str(), 0600), 0);
  std::set<std::string> before = TempFolder::namesIn(folder.path());

  const FolderSweep swept = sweepFolder(folder.path());
  EXPECT_EQ(swept.temporariesRemoved, 1);
  EXPECT_TRUE(swept.restored.empty());
  std::set<std::string> after = TempFolder::namesIn(folder.path());
  EXPECT_EQ(after.size(), before.size() - 1);
  EXPECT_TRUE(after.count(live.path().filename().native()));
  EXPECT_EQ(TempFolder::read(file), kOld);
  liveCopy.remove();
}

TEST(LeftoverSweep, EachFolderOnceAndTheFoldersLinksLeadTo) {
  TempFolder folder;
  const fs::path page = folder.put("site/a.html", kOld);
  folder.put("elsewhere/s.css", kOld);
  fs::create_symlink("../elsewhere/s.css", folder / "site/s.css");
  auto abandonTemporaryIn = [&](const fs::path& where) {
    inChildThatDies([&] { (new TempFile)->create(where, "x", 0600); });
  };
  abandonTemporaryIn(folder / "site");
  abandonTemporaryIn(folder / "elsewhere");

  LeftoverSweep sweep;
  const std::string linked = (folder / "site/s.css").native();
  sweep.sweepFoldersOf({page.native(), linked});
  EXPECT_EQ(sweep.done().temporariesRemoved, 2);
  abandonTemporaryIn(folder / "site");
  sweep.sweepFoldersOf({page.native()});  // swept already in this run
  EXPECT_EQ(sweep.done().temporariesRemoved, 2);
  EXPECT_EQ(TempFolder::namesIn(folder / "site").size(), 3u);
}

}  // namespace
}  // namespace sarnavel
