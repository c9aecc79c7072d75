// sarnavel-cli under faults: each test builds a tree of Shift_JIS documents, breaks something,
// runs the program on the tree (to UTF-8, backups on unless said otherwise) and checks the
// invariant: every document is either completely converted or byte for byte as before, every
// backup holds the exact former bytes, nothing else in the tree changed, no temporary file is
// left, and the log names each failure with its message.
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <algorithm>

#include "fault/fault_support.h"

namespace sarnavel::fault {
namespace {

class CliFault : public ::testing::Test {
 protected:
  fs::path tree() const { return temp_.path() / "tree"; }

  // Puts a Shift_JIS document of about `size` bytes at tree/name and records it.
  void document(const std::string& name, std::size_t size, int seed = 0, const fs::path& root = {}) {
    const fs::path path = (root.empty() ? tree() : root) / name;
    const std::string bytes = sjisDocument(classifyExtension(path), size, seed);
    putFile(path, bytes);
    documents_[fs::path(name).native()] = {bytes, convertedContent(path, bytes, toUtf8())};
  }

  CliResult run(std::vector<std::string> options, const Limits& limits = {}, const fs::path& root = {}) {
    options.insert(options.begin(), {"-t", "utf-8"});
    options.push_back((root.empty() ? tree() : root).native());
    CliResult result = runCli(options, limits);
    EXPECT_EQ(result.signal, 0) << "the program was killed by signal " << result.signal << "\n" << result.err;
    return result;
  }

  TempFolder temp_;
  Documents documents_;
};

// Write fails part-way: a file-size limit (RLIMIT_FSIZE) on the program. A file whose backup
// fits but whose converted form does not fails with 103 and keeps its old bytes beside a
// backup of them; a file too large even for its backup fails with 104 and gets nothing.
TEST_F(CliFault, FileSizeLimitFailsTheWriteOrTheBackup) {
  const rlim_t limit = 8192;
  document("small.js", 500);
  document("grows.css", 6000);
  document("big.html", 12000);
  ASSERT_LT(documents_["grows.css"].before.size(), limit);
  ASSERT_GT(documents_["grows.css"].after.size(), limit);
  ASSERT_GT(documents_["big.html"].before.size(), limit);
  ASSERT_LT(documents_["small.js"].after.size(), limit);

  const Snapshot before = snapshot(tree());
  CliResult result = run({}, Limits{.fileSize = limit});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.out.find(success(tree() / "small.js")), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(failure(tree() / "grows.css", ResultCode::WriteFailed)), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(failure(tree() / "big.html", ResultCode::BackupFailed)), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(summary(1, 2)), std::string::npos) << result.out;
  expectRunInvariant(
      before, snapshot(tree()), documents_,
      {{"small.js", Outcome::Converted}, {"grows.css", Outcome::WriteFailed}, {"big.html", Outcome::Untouched}}, true);
}

TEST_F(CliFault, FileSizeLimitWithoutBackupsFailsTheWrite) {
  const rlim_t limit = 8192;
  document("small.js", 500);
  document("grows.css", 6000);
  document("big.html", 12000);
  const Snapshot before = snapshot(tree());
  CliResult result = run({"--no-backup"}, Limits{.fileSize = limit});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.out.find(success(tree() / "small.js")), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(failure(tree() / "grows.css", ResultCode::WriteFailed)), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(failure(tree() / "big.html", ResultCode::WriteFailed)), std::string::npos) << result.out;
  expectRunInvariant(
      before, snapshot(tree()), documents_,
      {{"small.js", Outcome::Converted}, {"grows.css", Outcome::Untouched}, {"big.html", Outcome::Untouched}}, false);
}

// Write fails part-way: a small file system that fills up. Three tmpfs mounts, each left
// with just so much room: for the backup but not the converted text (103, backup kept), not
// even for the backup (104), and, without backups, not for the converted text (103).
TEST_F(CliFault, FullFileSystemFailsTheWriteOrTheBackup) {
  struct Case {
    const char* folder;
    bool backups;
    double roomInFileSizes;  // free space left, in multiples of the document's size
    ResultCode expected;
    Outcome outcome;
  };
  const Case cases[] = {{"write", true, 1.3, ResultCode::WriteFailed, Outcome::WriteFailed},
                        {"backup", true, 0.5, ResultCode::BackupFailed, Outcome::Untouched},
                        {"nobackup", false, 1.1, ResultCode::WriteFailed, Outcome::Untouched}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    const fs::path root = temp_.path() / c.folder;
    fs::create_directories(root);
    Mount mount = Mount::tmpfs(root, "2m");
    if (!mount.ok()) GTEST_SKIP() << "cannot mount a small file system here (" << mount.error() << ")";
    documents_.clear();
    document("a.js", 300 * 1024, 0, root);
    const std::size_t size = documents_["a.js"].before.size();
    ASSERT_GT(documents_["a.js"].after.size(), size * 14 / 10);
    struct statvfs fsInfo {};
    ASSERT_EQ(::statvfs(root.c_str(), &fsInfo), 0);
    const std::size_t free = fsInfo.f_bavail * fsInfo.f_frsize;
    const auto room = static_cast<std::size_t>(static_cast<double>(size) * c.roomInFileSizes);
    ASSERT_GT(free, room + 8192);
    putFile(root / "ballast.bin", std::string(free - room, 'x'));

    const Snapshot before = snapshot(root);
    CliResult result = run(c.backups ? std::vector<std::string>{} : std::vector<std::string>{"--no-backup"}, {}, root);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find(failure(root / "a.js", c.expected)), std::string::npos) << result.out;
    expectRunInvariant(before, snapshot(root), documents_, {{"a.js", c.outcome}}, c.backups);
  }
}

// A read-only folder (a read-only bind mount of it): nothing in it can be backed up (104) or,
// without backups, written (103); the files beside it are converted.
TEST_F(CliFault, ReadOnlyFolder) {
  for (bool backups : {true, false}) {
    SCOPED_TRACE(backups ? "with backups" : "without backups");
    fs::remove_all(tree());
    documents_.clear();
    document("a.js", 400);
    document("ro/b.js", 400, 1);
    document("ro/sub/c.css", 400, 2);
    Mount mount = Mount::readOnlyBind(tree() / "ro", tree() / "ro");
    if (!mount.ok()) GTEST_SKIP() << "cannot make a read-only folder here (" << mount.error() << ")";
    ASSERT_NE(::access((tree() / "ro/b.js").c_str(), W_OK), 0) << "the folder is not read-only";

    const Snapshot before = snapshot(tree());
    CliResult result = run(backups ? std::vector<std::string>{} : std::vector<std::string>{"--no-backup"});
    const ResultCode expected = backups ? ResultCode::BackupFailed : ResultCode::WriteFailed;
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find(success(tree() / "a.js")), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(failure(tree() / "ro/b.js", expected)), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(failure(tree() / "ro/sub/c.css", expected)), std::string::npos) << result.out;
    expectRunInvariant(
        before, snapshot(tree()), documents_,
        {{"a.js", Outcome::Converted}, {"ro/b.js", Outcome::Untouched}, {"ro/sub/c.css", Outcome::Untouched}}, backups);
  }
}

// Files that cannot be read although they carry a document's name: a named pipe, a dangling
// link, a link to itself (102 each, nothing touched); a folder with a document's name is
// walked like any folder.
TEST_F(CliFault, UnreadableFiles) {
  document("ok.js", 400);
  document("folder.css/inner.js", 400, 1);
  ASSERT_EQ(::mkfifo((tree() / "pipe.css").c_str(), 0644), 0);
  fs::create_symlink("missing.js", tree() / "dangling.js");
  fs::create_symlink("loop.html", tree() / "loop.html");

  const Snapshot before = snapshot(tree());
  CliResult result = run({});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.out.find(success(tree() / "ok.js")), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(success(tree() / "folder.css/inner.js")), std::string::npos) << result.out;
  for (const char* name : {"pipe.css", "dangling.js", "loop.html"}) {
    EXPECT_NE(result.out.find(failure(tree() / name, ResultCode::CannotOpen)), std::string::npos) << name << "\n"
                                                                                                  << result.out;
  }
  EXPECT_NE(result.out.find(summary(2, 3)), std::string::npos) << result.out;
  expectRunInvariant(before, snapshot(tree()), documents_,
                     {{"ok.js", Outcome::Converted}, {"folder.css/inner.js", Outcome::Converted}}, true);
}

// Permission bits, for a user they bind: the program runs as `nobody`. A file it may not
// read fails with 102; a file it may read but not write is backed up and then refused (103),
// its old bytes kept.
TEST_F(CliFault, PermissionsOfAnUnprivilegedUser) {
  const uid_t nobody = 65534;
  document("ok.js", 400);
  document("secret.js", 400, 1);
  document("locked.css", 400, 2);
  for (const auto& item : fs::recursive_directory_iterator(temp_.path()))
    ASSERT_EQ(::lchown(item.path().c_str(), nobody, nobody), 0);
  ASSERT_EQ(::chown(tree().c_str(), nobody, nobody), 0);
  ASSERT_EQ(::chmod(temp_.path().c_str(), 0755), 0);
  ASSERT_EQ(::chown((tree() / "secret.js").c_str(), 0, 0), 0);
  ASSERT_EQ(::chmod((tree() / "secret.js").c_str(), 0600), 0);
  ASSERT_EQ(::chown((tree() / "locked.css").c_str(), 0, 0), 0);
  ASSERT_EQ(::chmod((tree() / "locked.css").c_str(), 0644), 0);

  const Snapshot before = snapshot(tree());
  CliResult result = run({}, Limits{.uid = nobody});
  if (result.exitCode == 122) GTEST_SKIP() << "cannot run a program as an unprivileged user here";
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_NE(result.out.find(success(tree() / "ok.js")), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(failure(tree() / "secret.js", ResultCode::CannotOpen)), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(failure(tree() / "locked.css", ResultCode::WriteFailed)), std::string::npos) << result.out;
  expectRunInvariant(
      before, snapshot(tree()), documents_,
      {{"ok.js", Outcome::Converted}, {"secret.js", Outcome::Untouched}, {"locked.css", Outcome::WriteFailed}}, true);
}

// A symbolic link to a file outside the tree, named on the command line (so followed): the
// target is converted in its own folder, the link stays a link to it, and the backup lies next
// to the link.
TEST_F(CliFault, SymbolicLinkToAFile) {
  const fs::path outside = temp_.path() / "outside";
  const std::string old = sjisDocument(FileKind::JavaScript, 400);
  putFile(outside / "target.js", old);
  fs::create_directories(tree());
  fs::create_symlink("../outside/target.js", tree() / "link.js");
  document("plain.css", 300);

  const Snapshot treeBefore = snapshot(tree()), outsideBefore = snapshot(outside);
  CliResult result = run({(tree() / "link.js").native()});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_NE(result.out.find(success(tree() / "link.js")), std::string::npos) << result.out;

  const Snapshot treeAfter = snapshot(tree()), outsideAfter = snapshot(outside);
  ASSERT_EQ(treeAfter.at("link.js").type, Entry::Link);
  EXPECT_EQ(treeAfter.at("link.js").content, "../outside/target.js");
  ASSERT_TRUE(treeAfter.count("link.js.bak"));
  EXPECT_EQ(treeAfter.at("link.js.bak").type, Entry::File);
  EXPECT_TRUE(treeAfter.at("link.js.bak").content == old);
  EXPECT_TRUE(outsideAfter.at("target.js").content == convertedContent(outside / "target.js", old, toUtf8()));
  EXPECT_EQ(outsideAfter.size(), outsideBefore.size()) << "a new name beside the target";
  documents_["link.js"] = {old, old};  // checked above; the link itself must stay
  expectRunInvariant(treeBefore, treeAfter, documents_, {{"plain.css", Outcome::Converted}}, true);
}

// Hard links: a file with several names is written in place, so a name of it outside the run
// shows the converted content too; two names of one file that are both converted each end
// converted.
TEST_F(CliFault, HardLinks) {
  const fs::path outside = temp_.path() / "outside";
  document("a.js", 400);
  document("b.css", 400, 1);
  fs::create_directories(outside);
  ASSERT_EQ(::link((tree() / "a.js").c_str(), (outside / "keep.js").c_str()), 0);
  ASSERT_EQ(::link((tree() / "b.css").c_str(), (tree() / "c.css").c_str()), 0);
  documents_["c.css"] = documents_["b.css"];
  const Snapshot before = snapshot(tree()), outsideBefore = snapshot(outside);

  CliResult result = run({});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  // One file under several names is written in place: every name shows the new content.
  const Snapshot after = snapshot(tree()), outsideAfter = snapshot(outside);
  EXPECT_EQ(after.at("a.js").inode, before.at("a.js").inode);
  EXPECT_EQ(after.at("b.css").inode, after.at("c.css").inode);
  EXPECT_TRUE(after.at("a.js").content == documents_["a.js"].after);
  EXPECT_TRUE(outsideAfter.at("keep.js").content == documents_["a.js"].after);
  EXPECT_TRUE(after.at("b.css").content == documents_["b.css"].after);
  EXPECT_TRUE(after.at("a.js.bak").content == documents_["a.js"].before);
  EXPECT_TRUE(after.at("b.css.bak").content == documents_["b.css"].before);
  // c.css, the same file as b.css, is converted again after it: the second conversion gives
  // back what b.css had become, so c.css is neither backed up nor written again.
  EXPECT_FALSE(after.count("c.css.bak"));
  EXPECT_EQ(after.size(), 5u);
  EXPECT_EQ(outsideAfter.size(), 1u);
}

// File names with bytes that are not UTF-8, with a newline, with spaces, in folders named so:
// each converted, and each logged on one line, its control characters and stray bytes written
// as escapes.
TEST_F(CliFault, OddFileNames) {
  const struct {
    std::string name, logged;
  } names[] = {
      {"\x82\xa0\x82\xa2.js", "\\x82\\xa0\\x82\\xa2.js"},  // Shift_JIS bytes
      {"\xff\xfe bad.css", "\\xff\\xfe bad.css"},          // bytes no encoding uses
      {"new\nline.html", "new\\nline.html"},               // a newline
      {"with space.css", "with space.css"},
      {" leading space.js", " leading space.js"},
      {"tab\there.js", "tab\\there.js"},
      {"\xe6\x97\xa5\xe6\x9c\xac.html", "\xe6\x97\xa5\xe6\x9c\xac.html"},  // UTF-8, kept
      {"folder \x8a\xbf\n/inner name.css", "folder \\x8a\\xbf\\n/inner name.css"},
  };
  int seed = 0;
  for (const auto& n : names) document(n.name, 300, seed++);
  const Snapshot before = snapshot(tree());
  CliResult result = run({});
  EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
  std::map<std::string, Outcome> expected;
  for (const auto& n : names) {
    EXPECT_NE(result.out.find(success(tree() / n.logged)), std::string::npos) << shown(n.name) << "\n"
                                                                              << shown(result.out);
    expected[n.name] = Outcome::Converted;
  }
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 2 + std::ssize(names) + 4) << "one line per file";
  EXPECT_NE(result.out.find(summary(static_cast<int>(std::size(names)), 0)), std::string::npos) << result.out;
  expectRunInvariant(before, snapshot(tree()), documents_, expected, true);
}

// The backup chain. Each generation adds 4 bytes to the name and a name has at most 255 bytes,
// so "a.js" can have 62 generations (a.js + 62 x ".bak" is 252 bytes) and no more: a chain of
// 200 generations cannot exist on Linux. The longest chain moves every generation exactly one
// step; the next backup, which would need a 256-byte name, fails (104) and nothing is lost.
TEST_F(CliFault, LongestBackupChainMovesOneStepThenFailsWithNothingLost) {
  const int longest = static_cast<int>((255 - std::string("a.js").size()) / 4);
  ASSERT_EQ(longest, 62);
  document("a.js", 400);
  auto generation = [&](int k) {
    std::string name = "a.js";
    for (int i = 0; i < k; ++i) name += ".bak";
    return name;
  };
  for (int k = 1; k < longest; ++k) putFile(tree() / generation(k), "generation " + std::to_string(k) + "\n");

  CliResult first = run({});
  EXPECT_EQ(first.exitCode, 0) << first.out;
  Snapshot after = snapshot(tree());
  EXPECT_TRUE(after.at("a.js").content == documents_["a.js"].after) << "not converted";
  EXPECT_TRUE(after.at(generation(1)).content == documents_["a.js"].before) << "the newest backup";
  for (int k = 1; k < longest; ++k) {
    EXPECT_EQ(after.at(generation(k + 1)).content, "generation " + std::to_string(k) + "\n")
        << "generation " << k << " did not move one step";
  }
  EXPECT_EQ(after.size(), static_cast<std::size_t>(longest + 1)) << "names left beside the chain";

  // The file as it was, so that the second run has something to convert (a converted file
  // converts to itself and needs no backup).
  putFile(tree() / "a.js", documents_["a.js"].before);
  const Snapshot restored = snapshot(tree());
  CliResult second = run({});
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_NE(second.out.find(failure(tree() / "a.js", ResultCode::BackupFailed)), std::string::npos) << second.out;
  const Snapshot final = snapshot(tree());
  EXPECT_TRUE(final == restored) << "the failed backup changed the tree";
}

// A name so long that its backup name would not fit: 104 with backups, converted without.
TEST_F(CliFault, NameWithNoRoomForABackup) {
  const std::string name = std::string(252 - 3, 'n') + ".js";
  ASSERT_EQ(name.size(), 252u);
  document(name, 400);
  const Snapshot before = snapshot(tree());
  CliResult withBackup = run({});
  EXPECT_EQ(withBackup.exitCode, 1);
  EXPECT_NE(withBackup.out.find(failure(tree() / name, ResultCode::BackupFailed)), std::string::npos) << withBackup.out;
  expectRunInvariant(before, snapshot(tree()), documents_, {{name, Outcome::Untouched}}, true);

  CliResult without = run({"--no-backup"});
  EXPECT_EQ(without.exitCode, 0) << without.out;
  expectRunInvariant(before, snapshot(tree()), documents_, {{name, Outcome::Converted}}, false);
}

// A file too large for the memory the program may use (RLIMIT_AS): 101, the file untouched,
// the next file converted.
TEST_F(CliFault, FileTooLargeForMemory) {
#ifdef SARNAVEL_FAULT_ASAN
  GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit this test could set";
#endif
  const rlim_t limit = 512ull << 20;
  const off_t size = 300ll << 20;
  document("a.css", 400);
  fs::create_directories(tree());
  {
    const int fd = ::open((tree() / "big.js").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);  // 300 MB of zero bytes
    ::close(fd);
  }
  struct stat info {};
  ASSERT_EQ(::stat((tree() / "big.js").c_str(), &info), 0);
  const auto modified = info.st_mtim;

  CliResult result = run({}, Limits{.addressSpace = limit});
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_NE(result.out.find(failure(tree() / "big.js", ResultCode::OutOfMemory)), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(success(tree() / "a.css")), std::string::npos) << result.out;
  ASSERT_EQ(::stat((tree() / "big.js").c_str(), &info), 0);
  EXPECT_EQ(info.st_size, size);
  EXPECT_TRUE(info.st_mtim.tv_sec == modified.tv_sec && info.st_mtim.tv_nsec == modified.tv_nsec)
      << "the large file was written";
  EXPECT_FALSE(fs::exists(tree() / "big.js.bak"));
  // Every byte is still zero.
  const int fd = ::open((tree() / "big.js").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  std::string chunk(1 << 20, '\0');
  bool zeros = true;
  for (ssize_t n; (n = ::read(fd, chunk.data(), chunk.size())) > 0;) {
    zeros = zeros && chunk.find_first_not_of('\0', 0) >= static_cast<std::size_t>(n);
  }
  ::close(fd);
  EXPECT_TRUE(zeros);
  for (const auto& item : fs::directory_iterator(tree()))
    EXPECT_FALSE(isToolTemporary(item.path().native())) << item.path();
}

}  // namespace
}  // namespace sarnavel::fault
