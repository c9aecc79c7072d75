#include "run/file_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace sarnavel {
namespace {

namespace fs = std::filesystem;

class FileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sarnavel-store-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  fs::path at(const std::string& name) const { return dir_ / name; }
  static void put(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string get(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // Every name below the test folder, links not followed: a temporary file left behind
  // shows up here.
  std::set<std::string> names() const {
    std::set<std::string> result;
    std::vector<fs::path> folders{dir_};
    while (!folders.empty()) {
      const fs::path folder = folders.back();
      folders.pop_back();
      for (const auto& entry : fs::directory_iterator(folder)) {
        result.insert(entry.path().lexically_relative(dir_).string());
        if (fs::is_directory(entry.symlink_status())) folders.push_back(entry.path());
      }
    }
    return result;
  }
  static mode_t modeOf(const fs::path& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 07777;
  }

  // A file, a folder, a named pipe and a loop of links, named like documents.
  void makeAwkwardNames() {
    put(at("plain.txt"), "x");
    fs::create_directory(at("folder.html"));
    ASSERT_EQ(mkfifo(at("pipe.js").c_str(), 0600), 0);
    fs::create_symlink("loop2.css", at("loop1.css"));
    fs::create_symlink("loop1.css", at("loop2.css"));
  }

  fs::path dir_;
};

// Runs `body` in a child process with the given limit (RLIMIT_FSIZE or RLIMIT_AS), so this
// process keeps its own; true when the child ended normally with body's true.
template <class Body>
bool inLimitedChild(int resource, rlim_t limit, Body body) {
  const pid_t child = fork();
  if (child == 0) {
    const rlimit bound{limit, limit};
    _exit(setrlimit(resource, &bound) == 0 && body() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
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
      {"with space.css", "a{}"},
      {"new\nline.js", allBytes()},
      {"\x83\x65\x83\x58\x83\x67.html", "\x93\xfa\x96\x7b"},  // not UTF-8
      {"big.js", big},
      {std::string(246, 'n') + ".html", "long"},  // a temporary name must still fit
  };
  for (const auto& c : cases) {
    put(at(c.name), "former content, longer than the new one");
    ASSERT_EQ(writeWholeFile(at(c.name), c.bytes), ResultCode::Success) << c.name;
    std::string read = "stale";
    ASSERT_EQ(readWholeFile(at(c.name), read), ResultCode::Success) << c.name;
    EXPECT_EQ(read, c.bytes) << c.name;
  }
  EXPECT_EQ(names().size(), std::size(cases));
}

TEST_F(FileStoreTest, ReadFailuresOnRealFiles) {
  makeAwkwardNames();
  for (const char* name : {"missing.html", "folder.html", "plain.txt/a.html", "pipe.js", "loop1.css"}) {
    std::string content = "stale";
    EXPECT_EQ(readWholeFile(at(name), content), ResultCode::CannotOpen) << name;
    EXPECT_EQ(content, "") << name;
  }
}

TEST_F(FileStoreTest, ContentBeyondMemoryIsOutOfMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than the limit";
#endif
  const fs::path file = at("huge.html");
  put(file, "");
  fs::resize_file(file, std::uintmax_t{1} << 30);  // sparse
  EXPECT_TRUE(inLimitedChild(RLIMIT_AS, rlim_t{256} << 20, [&] {
    std::string content;
    return readWholeFile(file, content) == ResultCode::OutOfMemory && content.empty();
  }));
}

// Touches 4 GiB of memory for some seconds; run with --gtest_also_run_disabled_tests.
TEST_F(FileStoreTest, DISABLED_ReadsFilesBeyondFourGibibytes) {
  const fs::path file = at("huge.html");
  put(file, "");
  const std::uintmax_t size = (std::uintmax_t{1} << 32) + 3;
  fs::resize_file(file, size - 3);  // sparse
  std::ofstream(file, std::ios::binary | std::ios::app) << "end";
  std::string content;
  ASSERT_EQ(readWholeFile(file, content), ResultCode::Success);
  ASSERT_EQ(content.size(), size);
  EXPECT_EQ(content.substr(content.size() - 4), std::string("\0end", 4));
}

TEST_F(FileStoreTest, WriteCreatesANewFileAsTheUmaskAllows) {
  const mode_t mask = umask(022);
  EXPECT_EQ(writeWholeFile(at("new.html"), "<p>"), ResultCode::Success);
  umask(mask);
  EXPECT_EQ(get(at("new.html")), "<p>");
  EXPECT_EQ(modeOf(at("new.html")), 0644u);
}

TEST_F(FileStoreTest, WriteKeepsPermissionBitsAndOwner) {
  for (mode_t mode : {0600, 0640, 0755, 0604, 02750}) {
    const fs::path file = at("page" + std::to_string(mode) + ".html");
    put(file, "old");
    ASSERT_EQ(chown(file.c_str(), 1234, 5678), 0);
    ASSERT_EQ(chmod(file.c_str(), mode), 0);
    ASSERT_EQ(writeWholeFile(file, "new"), ResultCode::Success);
    struct stat info {};
    stat(file.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, mode);
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 5678u);
    EXPECT_EQ(get(file), "new");
  }
}

TEST_F(FileStoreTest, WriteThroughLinksReplacesTheTargetAndKeepsTheLinks) {
  fs::create_directories(at("real/css"));
  fs::create_directory(at("site"));
  put(at("real/css/s.css"), "old");
  fs::create_symlink("../real/css/s.css", at("site/link.css"));
  fs::create_symlink("link.css", at("site/second.css"));
  const auto before = names();
  ASSERT_EQ(writeWholeFile(at("site/second.css"), "new"), ResultCode::Success);
  EXPECT_TRUE(fs::is_symlink(at("site/link.css")));
  EXPECT_TRUE(fs::is_symlink(at("site/second.css")));
  EXPECT_EQ(get(at("real/css/s.css")), "new");
  EXPECT_EQ(names(), before);
}

TEST_F(FileStoreTest, OtherHardLinksKeepTheFormerContent) {
  put(at("a.html"), "old");
  fs::create_hard_link(at("a.html"), at("b.html"));
  ASSERT_EQ(writeWholeFile(at("a.html"), "new"), ResultCode::Success);
  EXPECT_EQ(get(at("a.html")), "new");
  EXPECT_EQ(get(at("b.html")), "old");
}

TEST_F(FileStoreTest, WriteFailuresLeaveEverythingAsItWas) {
  makeAwkwardNames();
  const auto before = names();
  for (const char* name : {"folder.html", "plain.txt/a.html", "missing/a.html", "pipe.js", "loop1.css", "sub/"}) {
    EXPECT_EQ(writeWholeFile(at(name), "new"), ResultCode::WriteFailed) << name;
  }
  EXPECT_EQ(names(), before);
  EXPECT_EQ(get(at("plain.txt")), "x");
}

TEST_F(FileStoreTest, WritePastTheFileSizeLimitFailsAndKeepsTheOriginal) {
  put(at("a.html"), "original");
  const auto before = names();
  EXPECT_TRUE(inLimitedChild(RLIMIT_FSIZE, 4096, [&] {
    const bool failed = writeWholeFile(at("a.html"), std::string(100000, 'x')) == ResultCode::WriteFailed;
    sigset_t pending, blocked;
    sigpending(&pending);
    pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
    return failed && !sigismember(&pending, SIGXFSZ) && !sigismember(&blocked, SIGXFSZ);
  }));
  EXPECT_EQ(get(at("a.html")), "original");
  EXPECT_EQ(names(), before);
}

TEST_F(FileStoreTest, BackupsPushOlderGenerationsFurther) {
  const fs::path file = at("a.js");
  for (const char* content : {"one", "two", "three"}) {
    put(file, content);
    ASSERT_TRUE(backupFile(file));
  }
  EXPECT_EQ(get(at("a.js.bak")), "three");
  EXPECT_EQ(get(at("a.js.bak.bak")), "two");
  EXPECT_EQ(get(at("a.js.bak.bak.bak")), "one");
  EXPECT_EQ(names().size(), 4u);

  put(at("empty.css"), "");
  ASSERT_EQ(chmod(at("empty.css").c_str(), 0640), 0);
  ASSERT_TRUE(backupFile(at("empty.css")));
  EXPECT_EQ(get(at("empty.css.bak")), "");
  EXPECT_EQ(modeOf(at("empty.css.bak")), 0640u);
}

TEST_F(FileStoreTest, BackupOfALinkIsARegularFileBesideTheLink) {
  fs::create_directory(at("real"));
  put(at("real/s.css"), "content");
  fs::create_symlink("real/s.css", at("s.css"));
  ASSERT_TRUE(backupFile(at("s.css")));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(at("s.css.bak"))));
  EXPECT_EQ(get(at("s.css.bak")), "content");
  EXPECT_FALSE(fs::exists(at("real/s.css.bak")));
}

TEST_F(FileStoreTest, TheLongestChainTheFileSystemHoldsIsPushedWhole) {
  std::vector<fs::path> chain;  // every backup name that fits in 255 bytes
  for (std::string name = "a.js.bak"; name.size() <= 255; name += ".bak") chain.push_back(at(name));
  put(at("a.js"), "newest");
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) put(chain[i], std::to_string(i));
  ASSERT_TRUE(backupFile(at("a.js")));
  EXPECT_EQ(get(chain[0]), "newest");
  for (std::size_t i = 1; i < chain.size(); ++i) EXPECT_EQ(get(chain[i]), std::to_string(i - 1));

  // Now the chain is full: the next backup fails and moves nothing.
  const auto before = names();
  EXPECT_FALSE(backupFile(at("a.js")));
  EXPECT_EQ(names(), before);
  EXPECT_EQ(get(chain.back()), std::to_string(chain.size() - 2));
}

TEST_F(FileStoreTest, BackupFailuresChangeNothing) {
  put(at("a.js"), "a");
  fs::create_directory(at("a.js.bak"));
  put(at("b.js"), "b");
  put(at("b.js.bak"), "b1");
  put(at("b.js.bak.bak"), "b2");
  fs::create_directory(at("b.js.bak.bak.bak"));
  fs::create_directory(at("folder.css"));
  const auto before = names();
  for (const char* name : {"a.js", "b.js", "missing.css", "folder.css", "a.js/x.css"}) {
    EXPECT_FALSE(backupFile(at(name))) << name;
  }
  EXPECT_EQ(names(), before);
  EXPECT_EQ(get(at("b.js.bak")), "b1");
  EXPECT_EQ(get(at("b.js.bak.bak")), "b2");
}

TEST_F(FileStoreTest, BackupPastTheFileSizeLimitFailsAndMovesNothing) {
  put(at("a.css"), std::string(100000, 'x'));
  put(at("a.css.bak"), "older");
  const auto before = names();
  EXPECT_TRUE(inLimitedChild(RLIMIT_FSIZE, 4096, [&] { return !backupFile(at("a.css")); }));
  EXPECT_EQ(names(), before);
  EXPECT_EQ(get(at("a.css.bak")), "older");
}

}  // namespace
}  // namespace sarnavel
