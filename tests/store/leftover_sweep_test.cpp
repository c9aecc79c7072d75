#include "store/leftover_sweep.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <fstream>
#include <set>
#include <string>

#include "store/recovery_copy.h"
#include "store/run_memory.h"
#include "store/temp_file.h"
#include "support/killed_in_place_write.h"
#include "support/state_home.h"
#include "support/temp_folder.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// Several pages each: a write is found torn page by page.
std::string pages(char fill, std::size_t size) {
  std::string bytes(size, fill);
  for (std::size_t at = 0; at < size; at += 97) bytes[at] = static_cast<char>('0' + at % 10);
  return bytes;
}
const std::string kOld = pages('o', 3 * 4096 + 100);
const std::string kNew = pages('n', 2 * 4096 + 50);
const std::string kLonger = pages('l', 4 * 4096 + 7);

// Makes the recovery copy of `file` for `content` (recorded in the user's memory), then does
// `then` to the open file, and dies.
void killedInPlaceWrite(const fs::path& file, void (*then)(int fd), const std::string& content = kNew) {
  ASSERT_TRUE(testing::killedInPlaceWrite(file, content, testing::memoryFolderOf(), then));
}

// The user's memory as a run that starts now reads it.
std::unique_ptr<RunMemory> memory() {
  auto read = std::make_unique<RunMemory>();
  read->open(testing::memoryFolderOf());
  return read;
}

void abandonTemporaryIn(const fs::path& folder, const std::string& name, bool recorded = true) {
  ASSERT_TRUE(testing::abandonedTemporary(folder, name, recorded));
}

// What a killed write, or a machine stopped before the flush, leaves: page by page the former
// or the new bytes, the size the former or the new one or a page's end between them.
TEST(LeftoverSweep, AKilledInPlaceWriteLeavesTheWholeOldOrTheWholeNewContent) {
  const struct {
    const char* moment;
    const std::string& content;
    void (*then)(int fd);
    bool restored;  // else the file keeps what it holds
    bool isNew;
    bool othersFile = false;  // another user's, that anyone may write
  } cases[] = {
      {"before the write", kNew, [](int) {}, false, false},
      {"one page into the write", kNew, [](int fd) { pwrite(fd, kNew.data(), 4096, 0); }, true, false},
      {"the second page alone written", kNew, [](int fd) { pwrite(fd, kNew.data() + 4096, 4096, 4096); }, true, false},
      {"before the cut", kNew, [](int fd) { pwrite(fd, kNew.data(), kNew.size(), 0); }, true, false},
      {"the cut alone", kNew, [](int fd) { ftruncate(fd, kNew.size()); }, true, false},
      {"after the cut", kNew, [](int fd) { pwrite(fd, kNew.data(), kNew.size(), 0), ftruncate(fd, kNew.size()); },
       false, true},
      {"longer: grown by four pages", kLonger, [](int fd) { pwrite(fd, kLonger.data(), 4 * 4096, 0); }, true, false},
      {"longer: written, not grown", kLonger, [](int fd) { pwrite(fd, kLonger.data(), kOld.size(), 0); }, true, false},
      {"longer: all written", kLonger, [](int fd) { pwrite(fd, kLonger.data(), kLonger.size(), 0); }, false, true},
      {"another user's file", kNew, [](int fd) { pwrite(fd, kNew.data(), 4096, 0); }, true, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.moment);
    TempFolder folder;
    const fs::path file = folder.put("a.html", kOld);
    fs::create_hard_link(file, folder / "b.html");
    if (c.othersFile) {
      ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
      ASSERT_EQ(chmod(file.c_str(), 0666), 0);
    }
    killedInPlaceWrite(file, c.then, c.content);
    ASSERT_EQ(TempFolder::namesIn(folder.path()).size(), 3u);             // the recovery copy waits
    for (const std::string& name : TempFolder::namesIn(folder.path())) {  // the writer's, nobody else may write it
      struct stat copy;
      if (name == "a.html" || name == "b.html" || stat((folder / name).c_str(), &copy) != 0) continue;
      EXPECT_EQ(copy.st_uid, geteuid());
      EXPECT_EQ(copy.st_mode & 022, 0u);
    }

    const FolderSweep swept = sweepFolder(folder.path(), *memory());
    const std::string& expected = c.isNew ? c.content : kOld;
    EXPECT_EQ(TempFolder::read(file), expected);
    EXPECT_EQ(TempFolder::read(folder / "b.html"), expected);
    EXPECT_EQ(swept.restored.size(), c.restored ? 1u : 0u);
    EXPECT_EQ(TempFolder::namesIn(folder.path()), (std::set<std::string>{"a.html", "b.html"}));
  }
}

// A file that holds what no write of ours leaves was changed since the run was killed: it
// keeps what it holds, and so does the recovery copy, for whoever wants the former content.
// So does the copy of a file whose name leads to another file now (its other names may still
// hold it torn, and the copy the only former content): that copy is told.
TEST(LeftoverSweep, AFileChangedSinceTheKilledWriteKeepsItsContentAndTheCopyStays) {
  const struct {
    const char* what;
    void (*since)(const fs::path& file);
    bool told;
  } cases[] = {
      {"written into", [](const fs::path& file) { std::ofstream(file) << "the user's own page"; }, false},
      {"one byte of a page changed",
       [](const fs::path& file) {
         const int fd = open(file.c_str(), O_WRONLY);
         pwrite(fd, "#", 1, 5000);
         close(fd);
       },
       false},
      {"replaced",
       [](const fs::path& file) {
         std::ofstream(file.native() + ".new") << "the user's new page";
         fs::rename(file.native() + ".new", file);
       },
       true},
      {"removed", [](const fs::path& file) { fs::remove(file); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    const fs::path file = folder.put("a.html", kOld);
    fs::create_hard_link(file, folder / "b.html");
    killedInPlaceWrite(file, [](int fd) { pwrite(fd, kNew.data(), 4096, 0); });
    c.since(file);
    const std::string other = TempFolder::read(folder / "b.html");
    const std::string holds = fs::exists(file) ? TempFolder::read(file) : "";
    const auto names = TempFolder::namesIn(folder.path());
    const FolderSweep swept = sweepFolder(folder.path(), *memory());
    EXPECT_TRUE(swept.restored.empty());
    EXPECT_TRUE(swept.pending.empty());
    EXPECT_EQ(swept.keptCopies.size(), c.told ? 1u : 0u);
    if (fs::exists(file)) {
      EXPECT_EQ(TempFolder::read(file), holds);
    }
    EXPECT_EQ(TempFolder::read(folder / "b.html"), other);
    EXPECT_EQ(TempFolder::namesIn(folder.path()), names);
  }
}

// A recovery copy that someone else made, or could have written, or that the user's memory
// does not name (planted: unpacked from an archive, say), could name any file and hold any
// bytes: it is not used, and keeps its file from being converted. The file is torn as a killed
// write tears it (a page of the new bytes), so only the copy's trust keeps it from use.
TEST(LeftoverSweep, ARecoveryCopyTheUserCannotUseIsLeftAloneAndPending) {
  const struct {
    const char* what;
    void (*make)(const fs::path& copy, const fs::path& folder);
    bool recorded;
  } cases[] = {
      {"another user's", [](const fs::path& copy, const fs::path&) { ASSERT_EQ(chown(copy.c_str(), 65534, 65534), 0); },
       true},
      {"with a second name",
       [](const fs::path& copy, const fs::path& folder) { fs::create_hard_link(copy, folder / "x"); }, true},
      {"writable by its group", [](const fs::path& copy, const fs::path&) { ASSERT_EQ(chmod(copy.c_str(), 0620), 0); },
       true},
      {"writable by anyone", [](const fs::path& copy, const fs::path&) { ASSERT_EQ(chmod(copy.c_str(), 0602), 0); },
       true},
      {"named by no memory of the user's", [](const fs::path&, const fs::path&) {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder, elsewhere;
    const fs::path file = folder.put("a.html", kOld);
    ASSERT_TRUE(testing::killedInPlaceWrite(file, kNew, c.recorded ? testing::memoryFolderOf() : elsewhere / "memory",
                                            [](int fd) { pwrite(fd, kNew.data(), 4096, 0); }));
    std::string copy;
    for (const std::string& name : TempFolder::namesIn(folder.path())) {
      if (name != "a.html" && name != "x") c.make(folder / (copy = name), folder.path());
    }
    const auto before = TempFolder::namesIn(folder.path());
    EXPECT_EQ(sweepFolder(folder.path(), *memory()).pending, std::vector<std::string>{copy});
    EXPECT_EQ(sweepFolder(folder.path(), *memory(), true).pending, std::vector<std::string>{copy});  // a look
    EXPECT_EQ(TempFolder::namesIn(folder.path()), before);
    EXPECT_EQ(TempFolder::read(file), kNew.substr(0, 4096) + kOld.substr(4096));  // torn as a killed write tears
  }
}

// Only the temporary files the user's memory names are ours: one that merely looks like ours
// (another user's, a run's without memory) stays, as does one a live run holds.
TEST(LeftoverSweep, OnlyOurAbandonedFilesAreTouched) {
  TempFolder folder;
  const fs::path file = folder.put("a.html", kOld);
  abandonTemporaryIn(folder.path(), "a.html");
  abandonTemporaryIn(folder.path(), "notes", false);
  RunMemory live;
  live.open(testing::memoryFolderOf());
  ASSERT_TRUE(live.startRecording({}));
  TempFile liveTemporary;
  liveTemporary.recordIn(&live);
  const FileDescriptor folderFd = openFolder(folder.path());
  ASSERT_TRUE(liveTemporary.create(folderFd.get(), folder.path(), "b.html", 0600));
  ASSERT_TRUE(liveTemporary.giveTemporaryName(folderFd.get()));
  RecoveryCopy liveCopy;
  {
    const int fd = open(file.c_str(), O_RDWR);
    struct stat info;
    fstat(fd, &info);
    ASSERT_TRUE(liveCopy.make({file, fd, info, false}, kNew, &live));
    close(fd);
  }
  // Names like ours that are not: not hidden, too short a mark, not a regular file.
  folder.put("a.html.sarnavel-ABCDEF.tmp", "user's");
  folder.put(".a.html.sarnavel-ABC.tmp", "user's");
  ASSERT_EQ(mkfifo((folder / ".p.html.sarnavel-ABCDEF.tmp").c_str(), 0600), 0);
  std::set<std::string> before = TempFolder::namesIn(folder.path());

  const FolderSweep swept = sweepFolder(folder.path(), *memory());
  EXPECT_EQ(swept.temporariesRemoved, 1);
  EXPECT_TRUE(swept.restored.empty());
  std::set<std::string> after = TempFolder::namesIn(folder.path());
  EXPECT_EQ(after.size(), before.size() - 1);
  EXPECT_TRUE(after.count(liveTemporary.path().filename().native()));
  EXPECT_EQ(TempFolder::read(file), kOld);
  liveCopy.remove();
}

TEST(LeftoverSweep, EachFolderOnceAndTheFoldersLinksLeadTo) {
  TempFolder folder;
  const fs::path page = folder.put("site/a.html", kOld);
  folder.put("elsewhere/s.css", kOld);
  fs::create_symlink("../elsewhere/s.css", folder / "site/s.css");
  abandonTemporaryIn(folder / "site", "x");
  abandonTemporaryIn(folder / "elsewhere", "x");

  const std::unique_ptr<RunMemory> read = memory();
  LeftoverSweep sweep(*read, false);
  const std::string linked = (folder / "site/s.css").native();
  sweep.sweepFoldersOf({page.native(), linked});
  EXPECT_EQ(sweep.done().temporariesRemoved, 2);
  abandonTemporaryIn(folder / "site", "x");
  sweep.sweepFoldersOf({page.native()});  // swept already in this run
  EXPECT_EQ(sweep.done().temporariesRemoved, 2);
  EXPECT_EQ(TempFolder::namesIn(folder / "site").size(), 3u);
}

}  // namespace
}  // namespace sarnavel
