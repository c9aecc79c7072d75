#include "store/file_store.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "store/folder_flushes.h"
#include "store/run_memory.h"
#include "support/extended_attributes.h"
#include "support/folder_state.h"
#include "support/killed_in_place_write.h"
#include "support/state_home.h"
#include "support/refuse_unnamed_files.h"
#include "support/temp_folder.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using testing::attributesOf;
using testing::inChild;

// A session whose writes record their recovery copies in the memory of the user who runs it,
// as a run's do (`folder`: that user's memory folder, testing::memoryFolderOf).
struct RecordingSession {
  RunMemory memory;
  WriteSession session;
  explicit RecordingSession(const fs::path& folder = testing::memoryFolderOf()) {
    memory.open(folder);
    memory.startRecording({});
    session.recordIn(&memory);
  }
};

// One temporary folder per test; names() lists every name below it (links not followed), so
// a temporary file left behind shows.
class FileStoreTest : public ::testing::Test {
 protected:
  fs::path at(const std::string& name) const { return folder_ / name; }
  static void put(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
  static std::string get(const fs::path& path) { return testing::TempFolder::read(path); }
  std::set<std::string> names() const {
    std::set<std::string> result;
    for (const auto& [name, entry] : testing::snapshot(folder_.path())) result.insert(name);
    return result;
  }
  static struct stat statusOf(const fs::path& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info;
  }
  static ino_t inodeOf(const fs::path& path) { return statusOf(path).st_ino; }
  static mode_t modeOf(const fs::path& path) { return statusOf(path).st_mode & 07777; }

  testing::TempFolder folder_;
  const fs::path& dir_ = folder_.path();
};

auto limited(int resource, rlim_t limit) {
  return [=] {
    const rlimit bound{limit, limit};
    return setrlimit(resource, &bound) == 0;
  };
}
constexpr uid_t kOtherUser = 65534;  // owns the files another user converts
constexpr gid_t kUsersGroup = 4243;  // a group the converting user is in
// An ordinary user with no name on this machine, in the given groups besides its own.
constexpr uid_t kConvertingUser = 4242;
auto asConvertingUser(std::vector<gid_t> groups = {}) {
  return [=] {
    const uid_t id = kConvertingUser;
    return setgroups(groups.size(), groups.data()) == 0 && setresgid(id, id, id) == 0 && setresuid(id, id, id) == 0;
  };
}

// Sets or clears an inode flag (chattr +a, +i) of a file or folder; false where there are none.
bool setInodeFlag(const fs::path& path, int flag, bool on) {
  const int fd = open(path.c_str(), O_RDONLY);
  int flags = 0;
  const bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                    (flags = on ? flags | flag : flags & ~flag, ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
  if (fd >= 0) close(fd);
  return done;
}

// The store's one write, the content given as one piece.
struct Write {
  std::string_view bytes;
  const FileIdentity* read = nullptr;
  bool backup = false;
  WriteSession* session = nullptr;
  const BackupPlace* place = nullptr;
};
StoreResult replace(const fs::path& path, const Write& write) {
  return replaceFile({path, {&write.bytes, 1}, write.read, write.backup, false, nullptr, write.place}, write.session);
}

std::string allBytes() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  return bytes;
}

TEST_F(FileStoreTest, ReadsAndWritesWholeFilesUnderAnyName) {
  const std::string big(3 * 1024 * 1024 + 7, '\x82');
  const struct {
    std::string name, bytes;
  } cases[] = {
      {"empty.html", ""},
      {"new\nline.js", allBytes()},
      {"\x83\x65\x83\x58\x83\x67.html", "\x93\xfa\x96\x7b"},  // not UTF-8
      {"big.js", big},
      {std::string(246, 'n') + ".html", "long"},  // a temporary name must still fit
  };
  for (const auto& c : cases) {
    put(at(c.name), "former content, longer than the new one");
    ASSERT_EQ(replace(at(c.name), {c.bytes}).result, ResultCode::Success) << c.name;
    std::string read = "stale";
    ASSERT_EQ(readFile({at(c.name)}, read), ResultCode::Success) << c.name;
    EXPECT_EQ(read, c.bytes) << c.name;
  }
  EXPECT_EQ(names().size(), std::size(cases));
}

// The run looks at a file before its turn comes; another name of the same file may replace it
// in between (a link converted first). The read then goes by what the name leads to now.
TEST_F(FileStoreTest, AFileReplacedSinceItWasLookedAtIsReadAsItIsNow) {
  put(at("a.css"), "old");
  const struct stat looked = statusOf(at("a.css"));
  put(at("new.css"), "new");
  fs::rename(at("new.css"), at("a.css"));
  ASSERT_NE(inodeOf(at("a.css")), looked.st_ino);
  std::string content;
  ASSERT_EQ(readFile({at("a.css"), NameLink::Followed, &looked}, content), ResultCode::Success);
  EXPECT_EQ(content, "new");
}

TEST_F(FileStoreTest, ContentBeyondMemoryIsOutOfMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than the limit";
#endif
  const fs::path file = at("huge.html");
  put(file, "");
  fs::resize_file(file, std::uintmax_t{1} << 30);  // sparse
  EXPECT_TRUE(inChild(limited(RLIMIT_AS, rlim_t{256} << 20), [&] {
    std::string content;
    return readFile({file}, content) == ResultCode::OutOfMemory && content.empty();
  }));
}

TEST_F(FileStoreTest, WriteKeepsPermissionBitsAndOwner) {
  for (mode_t mode : {0600, 0640, 0755, 0604, 02750}) {
    const fs::path file = at("page" + std::to_string(mode) + ".html");
    put(file, "old");
    ASSERT_EQ(chown(file.c_str(), 1234, 5678), 0);
    ASSERT_EQ(chmod(file.c_str(), mode), 0);
    ASSERT_EQ(replace(file, {"new"}).result, ResultCode::Success);
    struct stat info {};
    stat(file.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, mode);
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 5678u);
    EXPECT_EQ(get(file), "new");
  }
  const mode_t mask = umask(022);  // a new file gets what the umask allows
  EXPECT_EQ(replace(at("new.html"), {"<p>"}).result, ResultCode::Success);
  umask(mask);
  EXPECT_EQ(modeOf(at("new.html")), 0644u);
}

// A name that is no regular file cannot be read, written or backed up, and nothing changes. A
// device or a named pipe named like a document is never even opened: opening can have effects
// (a pipe's writer goes on, a tape rewinds).
TEST_F(FileStoreTest, WhatIsNoRegularFileFailsAndChangesNothing) {
  put(at("plain.txt"), "x");
  fs::create_directory(at("folder.html"));
  ASSERT_EQ(mkfifo(at("pipe.js").c_str(), 0666), 0);
  ASSERT_EQ(mknod(at("null.css").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  fs::create_symlink("loop2.css", at("loop1.css"));
  fs::create_symlink("loop1.css", at("loop2.css"));
  const auto before = names();
  for (const char* name : {"missing.html", "folder.html", "plain.txt/a.html", "missing/a.html", "pipe.js", "null.css",
                           "loop1.css", "sub/"}) {
    SCOPED_TRACE(name);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    inotify_add_watch(watch, at(name).c_str(), IN_OPEN);  // fails where there is nothing to watch
    std::string content = "stale";
    EXPECT_EQ(readFile({at(name)}, content), ResultCode::CannotOpen);
    EXPECT_EQ(content, "");
    EXPECT_FALSE(replace(at(name), {"new", nullptr, true}).ok());
    if (std::string_view(name) != "missing.html") {  // a write without a backup creates that one
      EXPECT_EQ(replace(at(name), {"new"}).result, ResultCode::WriteFailed);
    }
    char events[4096];
    EXPECT_LT(read(watch, events, sizeof events), 0) << "opened";
    close(watch);
  }
  EXPECT_EQ(names(), before);
  EXPECT_EQ(get(at("plain.txt")), "x");
}

// A file replaced by a new one becomes its own backup (the same inode, its modification time
// kept), older generations pushed along; a file written in place (every hard link then shows
// the new content), or reached through links, gets a copy. Through links the backup lies
// beside the name given, and the file the links lead to is replaced in its own folder.
TEST_F(FileStoreTest, WrittenWithItsBackupAFileReplacedByANewOneIsItsOwnBackup) {
  fs::create_directory(at("real"));
  fs::create_symlink("real/c.css", at("link.css"));
  fs::create_symlink("link.css", at("c.css"));
  const struct {
    const char *name, *file;  // the name given, the file it reaches
    const char* hardLink;     // a second name, or none
    bool ownBackup;
  } cases[] = {{"a.html", "a.html", nullptr, true},
               {"b.js", "b.js", "b-too.js", false},
               {"c.css", "real/c.css", nullptr, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = at(c.file);
    put(file, "old");
    put(at(std::string(c.name) + ".bak"), "older");
    if (c.hardLink) fs::create_hard_link(file, at(c.hardLink));
    const struct timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), past, 0), 0);
    const ino_t former = inodeOf(file);
    std::string content;
    FileIdentity identity;
    ASSERT_EQ(readFile({at(c.name)}, content, &identity), ResultCode::Success);
    const std::string_view piece = "new";
    if (c.hardLink) {  // written in place: not without a memory to record the recovery copy in
      EXPECT_EQ(replace(at(c.name), {piece, &identity}).problem, StoreProblem::NotRecorded);
      EXPECT_EQ(get(file), "old");
    }
    RecordingSession recording;
    ASSERT_TRUE(replace(at(c.name), {piece, &identity, true, &recording.session}).ok());
    const fs::path backup = at(std::string(c.name) + ".bak");
    EXPECT_EQ(get(file), "new");
    EXPECT_EQ(get(backup), "old");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(backup)));
    EXPECT_EQ(get(at(std::string(c.name) + ".bak.bak")), "older");
    EXPECT_EQ(inodeOf(backup) == former, c.ownBackup);
    if (c.hardLink) {
      EXPECT_EQ(get(at(c.hardLink)), "new");
      EXPECT_EQ(inodeOf(file), former);
    }
    EXPECT_EQ(statusOf(backup).st_mtim.tv_sec, 1000000000);
  }
  EXPECT_EQ(names(), (std::set<std::string>{"a.html", "a.html.bak", "a.html.bak.bak", "b.js", "b-too.js", "b.js.bak",
                                            "b.js.bak.bak", "c.css", "c.css.bak", "c.css.bak.bak", "link.css", "real",
                                            "real/c.css"}));
  EXPECT_TRUE(fs::is_symlink(at("c.css")) && fs::is_symlink(at("link.css")));
}

// A run stopped between giving the former file its backup's name and renaming the new content
// over it leaves two names of one file. The next backup and write take the .bak for the backup
// it is: nothing is pushed along, and the write does not go in place (the backup would show
// the new content), so another user's file that could only be written in place is refused. One
// left by a run with another suffix is no backup of this run's, but is kept as well.
TEST_F(FileStoreTest, ABackupInFlightIsKeptAndTheFileReplaced) {
  ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);
  const struct {
    const char* inFlight;
    bool othersFile;  // written by the converting user, who may write it only in place
  } cases[] = {{".bak", false}, {".orig", false}, {".bak", true}};
  for (const auto& c : cases) {
    for (const bool withBackup : {true, false}) {
      SCOPED_TRACE(std::string(c.inFlight) + (c.othersFile ? ", another user's" : "") +
                   (withBackup ? ", with a backup" : ""));
      const fs::path second = at(std::string("a.html") + c.inFlight);
      put(at("a.html"), "old");
      if (c.othersFile) {
        ASSERT_EQ(chown(at("a.html").c_str(), kOtherUser, kOtherUser), 0);
        ASSERT_EQ(chmod(at("a.html").c_str(), 0666), 0);
      }
      ASSERT_EQ(link(at("a.html").c_str(), second.c_str()), 0);
      put(at("a.html.bak.bak"), "older");
      const auto write = [&] {
        std::string content;
        FileIdentity identity;
        if (readFile({at("a.html")}, content, &identity) != ResultCode::Success) return false;
        const StoreResult written = replace(at("a.html"), {"new", &identity, withBackup});
        return c.othersFile
                   ? written.result == ResultCode::WriteFailed && written.problem == StoreProblem::BackupInFlight
                   : written.ok();
      };
      EXPECT_TRUE(c.othersFile ? inChild(asConvertingUser(), write) : write());
      EXPECT_EQ(get(at("a.html")), c.othersFile ? "old" : "new");
      EXPECT_EQ(get(second), "old");
      EXPECT_EQ(get(at("a.html.bak.bak")), "older");
      std::set<std::string> expected{"a.html", second.filename(), "a.html.bak.bak"};
      if (withBackup && !c.othersFile) {
        EXPECT_EQ(get(at("a.html.bak")), "old");
        expected.insert("a.html.bak");
      }
      EXPECT_EQ(names(), expected);
      for (const std::string& name : names()) fs::remove(at(name));
    }
  }
}

// Another program that saves the file anew at the moment the write's new file is about to
// take the name (an editor, reacting to our temporary name) keeps its save: the write either
// finds it and leaves it, or comes before it. Never is the save lost under the converted old
// content, nor taken for the backup. Many tries, with and without a backup, and a long chain
// of backups to push along (which widens the moment).
TEST_F(FileStoreTest, ASaveAsTheNewFileTakesTheNameIsKept) {
  for (int trial = 0; trial < 40; ++trial) {
    SCOPED_TRACE(trial);
    put(at("p.css"), "original");
    std::string name = "p.css";
    for (int generation = 0; generation < 40; ++generation) put(at(name += ".bak"), "older");
    std::string content;
    FileIdentity identity;
    ASSERT_EQ(readFile({at("p.css")}, content, &identity), ResultCode::Success);
    const int watch = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(watch, folder_.path().c_str(), IN_CREATE | IN_MOVED_TO), 0);
    std::thread editor([&] {
      pollfd ready{watch, POLLIN, 0};
      alignas(inotify_event) char events[4096];
      for (bool seen = false; !seen && poll(&ready, 1, 2000) > 0;) {
        const ssize_t length = read(watch, events, sizeof events);
        for (ssize_t at = 0; at < length;) {
          const auto* event = reinterpret_cast<const inotify_event*>(events + at);
          seen = seen || (event->len > 0 && std::strstr(event->name, ".sarnavel-") != nullptr);
          at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
      }
      put(at("edit.tmp"), "the editor's");
      fs::rename(at("edit.tmp"), at("p.css"));
    });
    const std::string_view piece = "converted";
    const bool withBackup = trial % 2 == 0;
    const StoreResult written =
        withBackup ? replace(at("p.css"), {piece, &identity, true}) : replace(at("p.css"), {piece, &identity});
    editor.join();
    close(watch);
    EXPECT_EQ(get(at("p.css")), "the editor's");
    EXPECT_EQ(get(at("p.css.bak")), written.ok() && withBackup ? "original" : "older");
    for (const std::string& left : names()) EXPECT_EQ(left.find(".sarnavel-"), std::string::npos) << left;
    for (const std::string& left : names()) fs::remove(at(left));
  }
}

// A backup takes the place and suffix asked for: the generations under their names, one more
// suffix each; in a backup folder of its own (made as needed, for the user alone) a copy named
// after the name given, nothing beside the file. A backup folder that cannot be made, or a link
// below the folder named for backups, fails the backup, the file untouched.
TEST_F(FileStoreTest, BackupsTakeTheirFolderAndSuffix) {
  fs::create_directory(at("real"));
  put(at("real/c.css"), "");
  fs::create_symlink("real/c.css", at("c.css"));
  put(at("blocked"), "a file where a folder would go");
  fs::create_directory(at("mirror"));
  fs::create_directory_symlink(at("real"), at("mirror/linked"));
  const struct {
    const char *name, *file;  // the name given, the file it reaches
    BackupPlace place;
    const char* first;  // the first generation; none: the backup fails
  } cases[] = {
      {"a.html", "a.html", {"~", {}}, "a.html~"},
      {"b.js", "b.js", {".bak", at("backups/sub")}, "backups/sub/b.js.bak"},
      {"c.css", "real/c.css", {".orig", at("backups/deep/er")}, "backups/deep/er/c.css.orig"},
      {"d.js", "d.js", {".bak", at("blocked/sub")}, nullptr},
      // Below the folder named for backups, no link is followed.
      {"e.js", "e.js", {".bak", at("mirror/sub/deep"), at("mirror")}, "mirror/sub/deep/e.js.bak"},
      {"f.js", "f.js", {".bak", at("mirror/linked/x"), at("mirror")}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    put(at(c.file), "v1");
    const auto before = names();
    for (const char* next : {"v2", "v3"}) {
      std::string content;
      FileIdentity identity;
      ASSERT_EQ(readFile({at(c.name)}, content, &identity), ResultCode::Success);
      RecordingSession recording;
      const StoreResult written = replace(at(c.name), {next, &identity, true, &recording.session, &c.place});
      if (!c.first) {
        EXPECT_EQ(written.result, ResultCode::BackupFailed);
        EXPECT_FALSE(fs::exists(at("real/x")));
        EXPECT_EQ(names(), before);
        break;
      }
      ASSERT_TRUE(written.ok());
      EXPECT_EQ(written.backup, at(c.first));
    }
    if (!c.first) continue;
    EXPECT_EQ(get(at(c.file)), "v3");
    EXPECT_EQ(get(at(c.first)), "v2");
    EXPECT_EQ(get(at(c.first + c.place.suffix)), "v1");
    EXPECT_FALSE(fs::exists(at(c.first + c.place.suffix + c.place.suffix)));
    if (!c.place.folder.empty()) {
      EXPECT_EQ(modeOf(c.place.folder), 0700u);
      EXPECT_FALSE(fs::exists(at(std::string(c.name) + ".bak")));
    }
  }
  EXPECT_TRUE(fs::is_symlink(at("c.css")));
}

// The longest chain the file system holds is pushed whole. A chain that cannot be pushed (full,
// or with a folder in it) fails the backup before any older one is moved.
TEST_F(FileStoreTest, TheLongestChainIsPushedWholeAndOneThatCannotBeMovesNothing) {
  std::vector<fs::path> chain;  // every backup name that fits in 255 bytes
  for (std::string name = "a.js.bak"; name.size() <= 255; name += ".bak") chain.push_back(at(name));
  put(at("a.js"), "newest");
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) put(chain[i], std::to_string(i));
  ASSERT_TRUE(replace(at("a.js"), {"new", nullptr, true}).ok());
  EXPECT_EQ(get(chain[0]), "newest");
  for (std::size_t i = 1; i < chain.size(); ++i) EXPECT_EQ(get(chain[i]), std::to_string(i - 1));

  put(at("b.js"), "b");
  put(at("b.js.bak"), "b1");
  fs::create_directory(at("b.js.bak.bak"));
  const testing::FolderState before = testing::snapshot(dir_);
  for (const char* name : {"a.js", "b.js"}) EXPECT_FALSE(replace(at(name), {"newer", nullptr, true}).ok()) << name;
  EXPECT_TRUE(testing::snapshot(dir_) == before) << "a file or backup moved or changed";
}

// Past the file-size limit a write fails (no SIGXFSZ left pending), says so and keeps the
// original; a backup fails and moves no older backup; a write with its backup takes that
// backup back. Also with the signal ignored, as the shells have it, where a write session
// leaves the signal mask alone.
TEST_F(FileStoreTest, PastTheFileSizeLimitNothingIsLost) {
  const struct { bool ignored, session; } cases[] = {{false, false}, {false, true}, {true, true}};
  for (const auto [ignored, withSession] : cases) {
    put(at("a.html"), "original");
    put(at("b.css"), std::string(100000, 'x'));
    put(at("b.css.bak"), "older");
    put(at("c.js"), "small");
    put(at("c.js.bak"), "older");
    const auto before = names();
    EXPECT_TRUE(inChild(limited(RLIMIT_FSIZE, 4096),
                        [&] {
                          if (ignored) signal(SIGXFSZ, SIG_IGN);
                          WriteSession session;
                          WriteSession* used = withSession ? &session : nullptr;
                          std::string content;
                          FileIdentity identity;
                          const std::string big(100000, 'x');
                          const std::string_view piece = big;
                          const bool failed =
                              replace(at("a.html"), {big, nullptr, false, used}).problem ==
                                  StoreProblem::FileTooLarge &&
                              !replace(at("b.css"), {"", nullptr, true, used}).ok() &&
                              readFile({at("c.js")}, content, &identity) == ResultCode::Success &&
                              replace(at("c.js"), {piece, &identity, true, used}).problem == StoreProblem::FileTooLarge;
                          sigset_t pending, blocked;
                          sigpending(&pending);
                          pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
                          return failed && !sigismember(&pending, SIGXFSZ) && !sigismember(&blocked, SIGXFSZ);
                        }))
        << "ignored " << ignored << ", session " << withSession;
    EXPECT_EQ(get(at("a.html")), "original");
    EXPECT_EQ(get(at("b.css.bak")), "older");
    EXPECT_EQ(get(at("c.js.bak")), "older");
    EXPECT_EQ(names(), before);
  }
}

// A write session keeps the folder it last used open, but a folder renamed away and replaced
// under its path meanwhile is not used: a write lands where the path now leads, whether or not
// the session is told where files begin, and a listed read there, of a second link to the same
// file or of a copy, is refused.
TEST_F(FileStoreTest, AWriteSessionGoesOnlyWhereThePathLeads) {
  const struct {
    const char* what;
    bool read, toldOfFiles;
    const char* swap;  // what the path's new folder holds under b.html, or null: no swap
  } cases[] = {
      {"a write", false, false, "copy"},
      {"a write, told of files", false, true, "copy"},
      {"a listed read, no swap", true, true, nullptr},
      {"a listed read of a second link", true, true, "link"},
      {"a listed read of a copy", true, true, "copy"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(at("moved"));
    fs::remove_all(at("site"));
    fs::create_directory(at("site"));
    put(at("site/a.html"), "a");
    put(at("site/b.html"), "b");
    const FolderId listed = folderIdOf(statusOf(at("site")));
    WriteSession session;
    const auto use = [&](const char* name) {  // whether the read or write went through, and why not
      if (c.toldOfFiles) session.beginFile();
      if (!c.read) return std::pair(replace(at(name), {"new", nullptr, false, &session}).ok(), StoreProblem::None);
      const struct stat looked = statusOf(at(name));  // as the run's pool looks, by the full path
      std::string content;
      StoreProblem problem = StoreProblem::None;
      const bool read = readFile({at(name), NameLink::NotFollowed, &looked, listed, &session}, content, nullptr,
                                 &problem) == ResultCode::Success;
      return std::pair(read, problem);
    };
    ASSERT_EQ(use("site/a.html"), std::pair(true, StoreProblem::None));
    if (c.swap) {
      fs::rename(at("site"), at("moved"));
      fs::create_directory(at("site"));
      if (std::string(c.swap) == "link") fs::create_hard_link(at("moved/b.html"), at("site/b.html"));
      else put(at("site/b.html"), "b, another file");
    }
    const bool refused = c.read && c.swap;
    EXPECT_EQ(use("site/b.html"), std::pair(!refused, refused ? StoreProblem::ReplacedBeforeRead : StoreProblem::None));
    if (!c.read) {
      EXPECT_EQ(get(at("site/b.html")), "new");
      EXPECT_EQ(get(at("moved/b.html")), "b");
      EXPECT_EQ(get(at("moved/a.html")), "new");
    }
  }
}

// ---- what a file keeps: attributes, owner, group; changes by others; devices --------------

// An access ACL as the kernel stores it: version 2, then (tag, permissions, id) entries.
std::string acl(std::initializer_list<std::array<unsigned, 3>> entries) {
  std::string bytes{'\x02', '\0', '\0', '\0'};
  for (const auto& [tag, permissions, id] : entries) {
    for (unsigned value : {tag, permissions}) bytes += {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
    for (int k = 0; k < 4; ++k) bytes += static_cast<char>(id >> (8 * k));
  }
  return bytes;
}
constexpr unsigned kUserObject = 0x01, kUser = 0x02, kGroupObject = 0x04, kMask = 0x10, kOther = 0x20,
                   kNoId = 0xFFFFFFFF;

// What the file has, and nothing a folder's default ACL would give a new file.
TEST_F(FileStoreTest, WriteAndBackupCarryExtendedAttributesAndAcls) {
  // An ACL that lets user 65534 read and keeps the owning group out; the mode's group bits
  // show the mask, not the group's own permissions.
  const std::string restrictive = acl({{kUserObject, 6, kNoId},
                                       {kUser, 4, kOtherUser},
                                       {kGroupObject, 0, kNoId},
                                       {kMask, 4, kNoId},
                                       {kOther, 0, kNoId}});
  const struct {
    const char* name;
    std::map<std::string, std::string> attributes;
  } cases[] = {
      {"user.css", {{"user.origin", "site A"}, {"user.empty", ""}}},
      {"acl.html", {{"system.posix_acl_access", restrictive}}},
      {"all.js",
       {{"system.posix_acl_access", restrictive}, {"user.origin", "x"}, {"trusted.mark", "t"}, {"security.mark", "s"}}},
  };
  const std::string inherited = acl({{kUserObject, 7, kNoId},
                                     {kUser, 7, kOtherUser},
                                     {kGroupObject, 7, kNoId},
                                     {kMask, 7, kNoId},
                                     {kOther, 7, kNoId}});
  ASSERT_EQ(setxattr(dir_.c_str(), "system.posix_acl_default", inherited.data(), inherited.size(), 0), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = at(c.name);
    put(file, "old");
    ASSERT_EQ(removexattr(file.c_str(), "system.posix_acl_access"), 0);  // the folder's default, not the file's
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    for (const auto& [name, value] : c.attributes)
      ASSERT_EQ(setxattr(file.c_str(), name.c_str(), value.data(), value.size(), 0), 0) << name;
    const auto before = attributesOf(file);
    const mode_t mode = modeOf(file);
    ASSERT_EQ(replace(file, {"new", nullptr, true}).result, ResultCode::Success);
    EXPECT_EQ(get(file), "new");
    // And in a backup folder of its own, where the backup is a copy.
    const BackupPlace away{".bak", at("backups/sub")};
    ASSERT_EQ(replace(file, {"newer", nullptr, true, nullptr, &away}).result, ResultCode::Success);
    for (const fs::path& written :
         {file, fs::path(file.native() + ".bak"), at("backups/sub") / (std::string(c.name) + ".bak")}) {
      EXPECT_EQ(attributesOf(written), before) << written;
      EXPECT_EQ(modeOf(written), mode) << written;
    }
  }
}

// An ordinary user may read an attribute of the security namespace but not set one: the file
// is then written in place (same inode, the attribute kept), and no backup is made without it.
TEST_F(FileStoreTest, AnAttributeThatCannotBeCarriedMeansWritingInPlace) {
  ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);
  const fs::path file = at("a.html");
  put(file, "old content");
  ASSERT_EQ(chown(file.c_str(), kConvertingUser, kConvertingUser), 0);
  ASSERT_EQ(setxattr(file.c_str(), "security.mark", "s", 1, 0), 0);
  const ino_t inode = inodeOf(file);
  const fs::path memory = testing::memoryFolderOf(kConvertingUser);
  EXPECT_TRUE(inChild(asConvertingUser(), [&] {
    RecordingSession recording(memory);
    const StoreResult backup = replace(file, {"new", nullptr, true, &recording.session});
    return !backup.ok() && backup.problem == StoreProblem::AttributesNotCarried &&
           replace(file, {"new", nullptr, false, &recording.session}).ok();
  }));
  EXPECT_EQ(get(file), "new");
  EXPECT_EQ(inodeOf(file), inode);
  EXPECT_EQ(attributesOf(file), (std::map<std::string, std::string>{{"security.mark", "s"}}));
  EXPECT_EQ(names(), (std::set<std::string>{"a.html"}));
}

// Converted by an ordinary user, a file keeps its owner and group: where a new file could
// not have them, the content is written into the file itself.
TEST_F(FileStoreTest, AnOrdinaryUserKeepsOwnerAndGroup) {
  ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);
  const struct {
    const char* name;
    uid_t owner;
    gid_t group;
    bool sameInode;  // written in place
  } cases[] = {
      {"others.html", kOtherUser, kOtherUser, true},                 // another user's file
      {"own-foreign-group.css", kConvertingUser, kOtherUser, true},  // a group the user is not in
      {"own-own-group.js", kConvertingUser, kUsersGroup, false},     // a group the user is in: replaced
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = at(c.name);
    put(file, "old content");
    ASSERT_EQ(chown(file.c_str(), c.owner, c.group), 0);
    ASSERT_EQ(chmod(file.c_str(), 0666), 0);
    const ino_t inode = inodeOf(file);
    const fs::path memory = testing::memoryFolderOf(kConvertingUser);
    EXPECT_TRUE(inChild(asConvertingUser({kUsersGroup}), [&] {
      RecordingSession recording(memory);
      return replace(file, {"new", nullptr, true, &recording.session}).ok();
    }));
    const struct stat info = statusOf(file);
    EXPECT_EQ(get(file), "new");
    EXPECT_EQ(info.st_uid, c.owner);
    EXPECT_EQ(info.st_gid, c.group);
    EXPECT_EQ(info.st_mode & 07777, 0666u);
    EXPECT_EQ(info.st_ino == inode, c.sameInode);
    // The backup is the user's; the group's bits only where the group is the file's.
    const struct stat backup = statusOf(file.native() + ".bak");
    EXPECT_EQ(get(file.native() + ".bak"), "old content");
    EXPECT_EQ(backup.st_mode & 07777, backup.st_gid == c.group ? 0666u : 0606u);
  }
  EXPECT_EQ(names().size(), 2 * std::size(cases));
}

// What the user may not write, or the system keeps from changing, is neither replaced nor
// backed up, and nothing is begun: a backup of a file that stays as it is would only grow a chain
// of copies run by run. A link's file is replaced in the folder it lies in, so that folder's
// refusal counts; an append-only folder (chattr +a) takes new names but lets none go.
TEST_F(FileStoreTest, WhatMayNotBeChangedIsNeitherReplacedNorBackedUp) {
  ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);
  const StoreProblem file = StoreProblem::FileNotWritable, folder = StoreProblem::FolderNotWritable;
  const struct {
    const char* what;
    bool asUser, throughLink;  // as the converting user; through the link s.css
    uid_t owner;
    mode_t fileMode, folderMode;
    int flag;  // chattr'd on the file, or its folder (the rows with one last: they may be skipped)
    bool onFolder;
    StoreProblem problem;
  } cases[] = {
      {"own read-only file", true, false, kConvertingUser, 0444, 0777, 0, false, file},
      {"another user's file", true, false, kOtherUser, 0644, 0777, 0, false, file},
      {"link into a read-only folder", true, true, kConvertingUser, 0644, 0555, 0, false, folder},
      {"link into an append-only folder", true, true, kConvertingUser, 0644, 0777, FS_APPEND_FL, true, folder},
      {"append-only folder", false, false, 0, 0644, 0755, FS_APPEND_FL, true, folder},
      {"append-only file", false, false, 0, 0644, 0755, FS_APPEND_FL, false, file},
      {"immutable file", false, false, 0, 0644, 0755, FS_IMMUTABLE_FL, false, file},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path real = at("real/s.css"), flagged = c.onFolder ? at("real") : real;
    fs::create_directory(at("real"));
    put(real, "old content");
    ASSERT_EQ(chown(real.c_str(), c.owner, c.owner), 0);
    ASSERT_EQ(chmod(real.c_str(), c.fileMode), 0);
    ASSERT_EQ(chmod(at("real").c_str(), c.folderMode), 0);
    fs::create_symlink("real/s.css", at("s.css"));
    if (c.flag && !setInodeFlag(flagged, c.flag, true)) GTEST_SKIP() << "no such attributes here";
    const auto before = names();
    const std::function<bool()> asWho = c.asUser ? std::function<bool()>(asConvertingUser()) : [] { return true; };
    EXPECT_TRUE(inChild(asWho, [&] {
      for (const bool backup : {true, false}) {
        const StoreResult written = replace(c.throughLink ? at("s.css") : real, {"new content", nullptr, backup});
        if (written.result != ResultCode::WriteFailed || written.problem != c.problem) return false;
      }
      return true;
    }));
    if (c.flag) setInodeFlag(flagged, c.flag, false);
    EXPECT_EQ(names(), before);
    EXPECT_EQ(get(real), "old content");
    fs::remove_all(at("real"));
    fs::remove(at("s.css"));
  }
}

TEST_F(FileStoreTest, AFileChangedSinceItWasReadIsNeitherBackedUpNorWritten) {
  const struct {
    const char* name;
    void (*change)(const fs::path& file);
  } cases[] = {
      {"appended", [](const fs::path& f) { std::ofstream(f, std::ios::binary | std::ios::app) << " and more"; }},
      {"rewritten, same size", [](const fs::path& f) { std::ofstream(f, std::ios::binary) << "OLD CONTENT"; }},
      {"replaced by another file",
       [](const fs::path& f) {
         std::ofstream(f.native() + ".x", std::ios::binary) << "other";
         fs::rename(f.native() + ".x", f);
       }},
      {"mode changed", [](const fs::path& f) { chmod(f.c_str(), 0600); }},
      {"attribute added", [](const fs::path& f) { setxattr(f.c_str(), "user.new", "1", 1, 0); }},
      {"removed", [](const fs::path& f) { fs::remove(f); }},
      {"swapped for a link to a copy",
       [](const fs::path& f) {
         fs::copy_file(f, f.native() + ".copy");
         fs::remove(f);
         fs::create_symlink(f.filename().native() + ".copy", f);
       }},
  };
  // Plain, hard-linked, read as a regular file (as a run reads a listed file: the write then
  // takes the read's look for its own).
  for (int way = 0; way < 3; ++way) {
    const bool hardLinked = way == 1, asFile = way == 2;
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (hardLinked ? ", hard-linked" : "") +
                   (asFile ? ", read as a regular file" : ""));
      const fs::path file = at("a.html");
      put(file, "old content");
      if (hardLinked) fs::create_hard_link(file, at("link.html"));
      std::string content;
      FileIdentity identity;
      const struct stat looked = statusOf(file);
      ASSERT_EQ(readFile({file, asFile ? NameLink::NotFollowed : NameLink::Followed, asFile ? &looked : nullptr},
                         content, &identity),
                ResultCode::Success);
      c.change(file);
      const auto before = names();
      const std::string changed = fs::exists(file) ? get(file) : "";
      const StoreResult backup = replace(file, {"new", &identity, true}), write = replace(file, {"new", &identity});
      EXPECT_EQ(write.result, ResultCode::WriteFailed);
      EXPECT_EQ(write.problem, StoreProblem::ChangedSinceRead);
      EXPECT_FALSE(backup.ok());
      EXPECT_EQ(names(), before);
      if (fs::exists(file)) {
        EXPECT_EQ(get(file), changed);
      }
      fs::remove(file);
      fs::remove(at("link.html"));
      fs::remove(at("a.html.copy"));
    }
  }
}

// A name read as a regular file is not followed when it is a link: the read fails, and says
// why when the name has become a link to a file.
TEST_F(FileStoreTest, ANameReadAsARegularFileIsNotFollowedAsALink) {
  put(at("real.css"), "real");
  fs::create_symlink("real.css", at("link.css"));
  fs::create_symlink("nowhere.css", at("dangling.css"));
  ASSERT_EQ(mkfifo(at("pipe.css").c_str(), 0600), 0);
  const struct {
    const char* name;
    ResultCode read;
    StoreProblem why;
  } cases[] = {
      {"real.css", ResultCode::Success, StoreProblem::None},
      {"link.css", ResultCode::CannotOpen, StoreProblem::ReplacedBeforeRead},
      {"dangling.css", ResultCode::CannotOpen, StoreProblem::None},
      {"pipe.css", ResultCode::CannotOpen, StoreProblem::None},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const struct stat looked = statusOf(at(c.name));  // as the run's pool looks, links followed
    std::string content;
    EXPECT_EQ(readFile({at(c.name), NameLink::NotFollowed, &looked}, content), c.read);
    if (c.read != ResultCode::Success) {
      EXPECT_EQ(whyNotReadAsFile(at(c.name)), c.why);
    }
  }
}

// A file written where the file system has unnamed temporary files and where it has not: the
// same result, nothing left behind; with them, no name in the folder ever shows content that
// is still being written (inotify sees no write under any name but the final rename).
TEST_F(FileStoreTest, WritesAndBackupsWithAndWithoutUnnamedTemporaryFiles) {
  for (bool unnamedRefused : {false, true}) {
    for (bool backup : {false, true}) {
      SCOPED_TRACE(std::string(backup ? "backup" : "replace") +
                   (unnamedRefused ? ", O_TMPFILE refused" : ", O_TMPFILE"));
      const fs::path file =
          at(std::string(backup ? "backup" : "replace") + (unnamedRefused ? "-named.js" : "-unnamed.js"));
      put(file, "old");
      ASSERT_EQ(chmod(file.c_str(), 0640), 0);
      const std::set<std::string> before = names();
      const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
      ASSERT_GE(watch, 0);
      ASSERT_GE(inotify_add_watch(watch, dir_.c_str(), IN_CREATE | IN_MODIFY | IN_MOVED_TO), 0);
      std::fflush(nullptr);
      const pid_t child = fork();
      if (child == 0) {
        if (unnamedRefused && !testing::refuseUnnamedFiles()) _exit(3);
        _exit(replace(file, {"new content", nullptr, backup}).ok() ? 0 : 2);
      }
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status));
      if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "no seccomp filter here";
      EXPECT_EQ(WEXITSTATUS(status), 0);
      std::set<std::string> expected = before;
      if (backup) {
        expected.insert(file.filename().string() + ".bak");
        EXPECT_EQ(get(file.string() + ".bak"), "old");
        EXPECT_EQ(fs::status(file.string() + ".bak").permissions(), fs::perms(0640));
      }
      expected.insert(file.filename().string());
      EXPECT_EQ(get(file), "new content");
      EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640));
      EXPECT_EQ(names(), expected) << "a temporary file left behind";
      // Which names were written to while they had that name.
      std::set<std::string> writtenUnderName;
      alignas(inotify_event) char events[16384];
      for (ssize_t got; (got = read(watch, events, sizeof events)) > 0;) {
        for (char* at = events; at < events + got;) {
          const auto* event = reinterpret_cast<const inotify_event*>(at);
          // The kernel reports a write to an unnamed file under "#INODE", which names nothing.
          if ((event->mask & IN_MODIFY) && event->len > 0 && event->name[0] != '#')
            writtenUnderName.insert(event->name);
          at += sizeof(inotify_event) + event->len;
        }
      }
      close(watch);
      EXPECT_EQ(!writtenUnderName.empty(), unnamedRefused) << "names written to: " << writtenUnderName.size();
    }
  }
}

// Each file's own changes are flushed however many folders they touch (a link's backup and
// its file), and a change noted after a flush gets a flush of its own.
TEST(FolderFlushes, EveryChangeOfAFileIsFlushed) {
  const FolderId a{1, 1}, b{1, 2};
  const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  FolderFlushes flushes;
  flushes.changed(a, fd, "x.css");
  flushes.changed(b, fd, "x.css");
  flushes.durableFor("x.css");
  EXPECT_EQ(flushes.flushCount(), 2u);
  for (int k = 0; k < 3; ++k) {
    flushes.changed(a, fd, "f");
    flushes.durableFor("f");
  }
  EXPECT_EQ(flushes.flushCount(), 5u);
  close(fd);
}

// A flush that fails (here: of a descriptor that cannot be flushed, a pipe's) is said to each
// file whose change it was to cover, and to no other: the change took effect, but whether it
// is on disk is not known.
TEST(FolderFlushes, AFailedFlushIsSaidToTheFilesItWasToCover) {
  const FolderId a{1, 1}, b{1, 2};
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const int folder = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  FolderFlushes flushes;
  flushes.changed(a, folder, "before");
  EXPECT_TRUE(flushes.durableFor("before"));
  flushes.changed(b, pipeEnds[0], "x");
  flushes.changed(b, pipeEnds[0], "y");
  flushes.changed(a, folder, "y");
  EXPECT_FALSE(flushes.durableFor("x"));
  EXPECT_FALSE(flushes.durableFor("y"));  // covered by the same failed flush, and by a good one
  flushes.changed(a, folder, "after");
  EXPECT_TRUE(flushes.durableFor("after"));
  close(folder);
  close(pipeEnds[0]);
  close(pipeEnds[1]);
}

}  // namespace
}  // namespace sarnavel
