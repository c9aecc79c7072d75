// sarnavel-cli end to end: options, the log on standard output, notices on standard error,
// exit statuses, and the dry run, on real files in temporary folders.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "support/bytes.h"
#include "support/targets.h"
#include "support/temp_folder.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using testing::CliResult;
using testing::runCli;
using testing::sameBytes;
using testing::TempFolder;

const std::string kStart = "変換を開始しました。\n---\n";
std::string success(const fs::path& p) { return "成功: " + p.string() + "\n"; }
std::string finished(int successes, int failures) {
  return "\n---\n" + std::to_string(successes) + "個の成功、" + std::to_string(failures) +
         "個の失敗。\n変換処理を終了しました。\n";
}

// A script in UTF-8 and what it becomes in each target.
const std::string kScript = "var s = '\xE6\x97\xA5\xE6\x9C\xAC';\n";  // 日本
const std::string kScriptIn[4] = {
    "var s = '\x93\xFA\x96\x7B';\n",
    "var s = '\xC6\xFC\xCB\xDC';\n",
    "var s = '\x1B$BF|K\\\x1B(B';\n",
    kScript,
};
const char* const kCharsetName[4] = {"Shift_JIS", "EUC-JP", "ISO-2022-JP", "UTF-8"};

const std::string kPage =
    "<html><head><title>\xE6\x97\xA5</title><link rel=\"stylesheet\" href=\"a.css\"><script "
    "src=\"b.js\"></script></head>"
    "<body>\xE6\x9C\xAC</body></html>\n";
const std::string kSheet = "p{}\n";

class Cli : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fs::exists(testing::cliPath())) << testing::cliMissingMessage(); }
};

TEST_F(Cli, IsBuiltNextToTheTests) {
  EXPECT_TRUE(fs::is_regular_file(testing::cliPath())) << testing::cliMissingMessage();
}

TEST_F(Cli, HelpAndVersion) {
  for (const char* option : {"--help", "-h"}) {
    CliResult r = runCli({option});
    EXPECT_EQ(r.status, 0) << option;
    EXPECT_TRUE(r.out.starts_with("Usage: sarnavel-cli")) << option;
    for (const char* word : {"--to", "--newline", "--no-follow-css", "--no-follow-js", "--no-backup", "--dry-run",
                             "--keep-characters", "--version"}) {
      EXPECT_NE(r.out.find(word), std::string::npos) << word;
    }
    EXPECT_EQ(r.err, "") << option;
  }
  for (const char* option : {"--version", "-V"}) {
    CliResult r = runCli({option});
    EXPECT_EQ(r.status, 0) << option;
    EXPECT_TRUE(r.out.starts_with("sarnavel-cli ")) << option;
    EXPECT_TRUE(r.out.ends_with("\n")) << option;
    EXPECT_EQ(r.err, "") << option;
  }
}

TEST_F(Cli, UsageErrorsExitWith2AndTouchNothing) {
  TempFolder folder;
  fs::path script = folder.put("a.js", kScript);
  const std::string path = script.string();
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--dry-run"},
      {"--bogus", path},
      {"-x", path},
      {"-t"},
      {path, "-t"},
      {"-t", "latin1", path},
      {"--to=koi8-r", path},
      {"-t", "", path},
      {"-n"},
      {"-n", "dos", path},
      {"--newline=crcr", path},
      {"--no-backup=yes", path},
      {"--keep-characters", path},  // the default target is Shift_JIS
      {"-t", "euc-jp", "--keep-characters", path},
      {"-t", "utf-8", "--keep-characters=yes", path},
  };
  for (const auto& arguments : cases) {
    std::string shown;
    for (const auto& a : arguments) shown += "[" + a + "]";
    CliResult r = runCli(arguments);
    EXPECT_EQ(r.status, 2) << shown;
    EXPECT_EQ(r.out, "") << shown;
    EXPECT_TRUE(r.err.starts_with("sarnavel-cli: ")) << shown << ": " << r.err;
  }
  EXPECT_EQ(TempFolder::read(script), kScript);
  EXPECT_FALSE(fs::exists(path + ".bak"));
}

TEST_F(Cli, TargetEncodingsByNameWithoutRegardToCase) {
  const struct {
    std::vector<std::string> options;
    int target;
  } cases[] = {
      {{}, 0},
      {{"-t", "shift_jis"}, 0},
      {{"-t", "SJIS"}, 0},
      {{"--to", "cp932"}, 0},
      {{"--to=Shift_JIS"}, 0},
      {{"-t", "euc-jp"}, 1},
      {{"-t", "EUCJP"}, 1},
      {{"--to=EUC-JP"}, 1},
      {{"-t", "iso-2022-jp"}, 2},
      {{"--to", "ISO-2022-JP"}, 2},
      {{"-t", "utf-8"}, 3},
      {{"-t", "UTF8"}, 3},
      {{"--to=Utf-8"}, 3},
      {{"-t", "sjis", "-t", "utf8"}, 3},  // the last one counts
  };
  for (const auto& c : cases) {
    TempFolder folder;
    fs::path script = folder.put("b.js", kScript);
    fs::path page = folder.put("index.html", kPage);
    std::vector<std::string> arguments = c.options;
    arguments.push_back(page.string());
    std::string shown;
    for (const auto& a : c.options) shown += "[" + a + "]";
    CliResult r = runCli(arguments);
    EXPECT_EQ(r.status, 0) << shown << r.err;
    EXPECT_TRUE(sameBytes(TempFolder::read(script), kScriptIn[c.target])) << shown;
    const std::string converted = TempFolder::read(page);
    EXPECT_NE(converted.find(std::string("content=\"text/html; charset=") + kCharsetName[c.target] + "\""),
              std::string::npos)
        << shown;
    EXPECT_NE(converted.find(std::string("<script charset=\"") + kCharsetName[c.target] + "\" src=\"b.js\">"),
              std::string::npos)
        << shown;
  }
}

// With the UTF-8 target a character Shift_JIS lacks is escaped unless the characters are kept;
// a reference the file already had stays as written either way.
TEST_F(Cli, KeepCharacters) {
  const std::string in = "var s = \"caf\xC3\xA9 \xF0\x9F\x98\x80 \\u00E9\";\n";
  const struct {
    std::vector<std::string> options;
    std::string out;
  } cases[] = {
      {{"-t", "utf-8"}, "var s = \"caf\\u00E9 \\uD83D\\uDE00 \\u00E9\";\n"},
      {{"-t", "utf-8", "--keep-characters"}, in},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    fs::path script = folder.put("a.js", in);
    std::vector<std::string> arguments = c.options;
    arguments.push_back(script.string());
    CliResult r = runCli(arguments);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(sameBytes(TempFolder::read(script), c.out)) << ::testing::PrintToString(c.options);
  }
}

TEST_F(Cli, LineEndings) {
  const struct {
    std::vector<std::string> options;
    std::string in, out;
  } cases[] = {
      {{}, "a;\r\nb;\r\n", "a;\r\nb;\r\n"},
      {{"-n", "keep"}, "a;\nb;\n", "a;\nb;\n"},
      {{"-n", "keep"}, "a;\rb;\r", "a;\rb;\r"},
      {{"-n", "lf"}, "a;\r\nb;\r\n", "a;\nb;\n"},
      {{"--newline", "LF"}, "a;\rb;\r", "a;\nb;\n"},
      {{"-n", "crlf"}, "a;\nb;\n", "a;\r\nb;\r\n"},
      {{"--newline=CrLf"}, "a;\rb;\r", "a;\r\nb;\r\n"},
      {{"-n", "cr"}, "a;\r\nb;\r\n", "a;\rb;\r"},
      {{"-n", "CR"}, "a;\nb;\n", "a;\rb;\r"},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    fs::path script = folder.put("a.js", c.in);
    std::vector<std::string> arguments = c.options;
    arguments.push_back(script.string());
    CliResult r = runCli(arguments);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(sameBytes(TempFolder::read(script), c.out)) << ::testing::PrintToString(c.options);
  }
}

TEST_F(Cli, FollowSwitchesAndBackups) {
  const struct {
    std::vector<std::string> options;
    bool sheet, script, backups;
  } cases[] = {
      {{}, true, true, true},
      {{"--no-follow-css"}, false, true, true},
      {{"--no-follow-js"}, true, false, true},
      {{"--no-follow-css", "--no-follow-js"}, false, false, true},
      {{"--no-backup"}, true, true, false},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    fs::path page = folder.put("index.html", kPage);
    fs::path sheet = folder.put("a.css", kSheet);
    fs::path script = folder.put("b.js", kScript);
    std::vector<std::string> arguments = c.options;
    arguments.push_back(page.string());
    const std::string shown = ::testing::PrintToString(c.options);
    CliResult r = runCli(arguments);
    EXPECT_EQ(r.status, 0) << shown;
    std::string log = kStart + success(page);
    if (c.sheet) log += success(sheet);
    if (c.script) log += success(script);
    EXPECT_EQ(r.out, log + finished(1 + c.sheet + c.script, 0)) << shown;
    EXPECT_EQ(TempFolder::read(sheet) == kSheet, !c.sheet) << shown;
    EXPECT_EQ(TempFolder::read(script) == kScript, !c.script) << shown;
    EXPECT_EQ(fs::exists(page.string() + ".bak"), c.backups) << shown;
    EXPECT_EQ(fs::exists(sheet.string() + ".bak"), c.backups && c.sheet) << shown;
    EXPECT_EQ(fs::exists(script.string() + ".bak"), c.backups && c.script) << shown;
    if (c.backups) {
      EXPECT_EQ(TempFolder::read(page.string() + ".bak"), kPage) << shown;
    }
  }
}

// The whole log of a small run, byte for byte: UTF-8, LF line ends, full paths made from
// the relative paths given.
TEST_F(Cli, TheExactLogOfASmallRun) {
  TempFolder folder;
  fs::path page = folder.put("site/index.html", kPage);
  fs::path sheet = folder.put("site/a.css", kSheet);
  fs::path script = folder.put("site/b.js", kScript);
  CliResult r = runCli({"-t", "utf-8", "--no-follow-js", "site/index.html"}, folder.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "変換を開始しました。\n---\n"
            "成功: " +
                page.string() +
                "\n"
                "成功: " +
                sheet.string() +
                "\n"
                "\n---\n2個の成功、0個の失敗。\n変換処理を終了しました。\n");
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
}

TEST_F(Cli, FoldersAreWalkedAndOtherKindsPassedOverWithANotice) {
  TempFolder folder;
  fs::path notes = folder.put("notes.txt", "notes");
  fs::path image = folder.put("photo.png", "png");
  fs::path top = folder.put("top.js", kScript);
  fs::path inside = folder.put("site/a.css", kSheet);
  folder.put("site/readme.txt", "inside a folder: passed over silently");
  fs::path deeper = folder.put("site/sub/c.js", kScript);
  CliResult r = runCli({"notes.txt", "top.js", "photo.png", "site"}, folder.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kStart + success(inside) + success(deeper) + success(top) + finished(3, 0));
  EXPECT_NE(r.err.find("notes.txt"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("photo.png"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("readme.txt"), std::string::npos) << r.err;
  EXPECT_EQ(TempFolder::read(notes), "notes");
  EXPECT_FALSE(fs::exists(notes.string() + ".bak"));
  EXPECT_FALSE(fs::exists(image.string() + ".bak"));
}

TEST_F(Cli, AMissingPathIsNamedTheRestRunsAndTheStatusIs1) {
  TempFolder folder;
  fs::path script = folder.put("a.js", kScript);
  CliResult r = runCli({"gone.html", "a.js", "also-gone"}, folder.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kStart + success(script) + finished(1, 0));
  EXPECT_NE(r.err.find("gone.html"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("also-gone"), std::string::npos) << r.err;
  EXPECT_EQ(TempFolder::read(script), kScriptIn[0]);
}

TEST_F(Cli, ADoubleDashEndsTheOptions) {
  TempFolder folder;
  fs::path script = folder.put("-a.js", kScriptIn[0]);
  CliResult r = runCli({"-t", "utf8", "--", "-a.js"}, folder.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kStart + success(script) + finished(1, 0));
  EXPECT_EQ(TempFolder::read(script), kScript);
  EXPECT_EQ(TempFolder::read(script.string() + ".bak"), kScriptIn[0]);
}

// Every failure code, provoked for real; the status is 1 and the file stays as it was.
TEST_F(Cli, AFailingFileIsLoggedAndTheStatusIs1) {
  const std::string cannotOpen = "エラー - ファイルが開けませんでした。\n";
  const std::string backupFailed = "エラー - バックアップ作成に失敗。\n";
  const std::string writeFailed = "エラー - ファイル書き込みに失敗。\n";
  {
    TempFolder folder;  // a named pipe given as a sheet
    fs::path pipe = folder / "x.css";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    fs::path good = folder.put("y.css", kSheet);
    CliResult r = runCli({pipe.string(), good.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kStart + "失敗: " + pipe.string() + "\n" + cannotOpen + success(good) + finished(1, 1));
  }
  {
    TempFolder folder;  // the backup's name is taken by a folder
    fs::path script = folder.put("a.js", kScript);
    fs::create_directory(script.string() + ".bak");
    CliResult r = runCli({script.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kStart + "失敗: " + script.string() + "\n" + backupFailed + finished(0, 1));
    EXPECT_EQ(TempFolder::read(script), kScript);
    // without backups the same file converts
    r = runCli({"--no-backup", script.string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(TempFolder::read(script), kScriptIn[0]);
  }
  {
    TempFolder folder;  // the new content does not fit under the file-size limit
    const std::string in = "p{}";
    fs::path sheet = folder.put("a.css", in);
    CliResult r = runCli({sheet.string()}, {}, [] {
      rlimit small{16, 16};
      setrlimit(RLIMIT_FSIZE, &small);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kStart + "失敗: " + sheet.string() + "\n" + writeFailed + finished(0, 1));
    EXPECT_EQ(TempFolder::read(sheet), in);
    EXPECT_EQ(TempFolder::read(sheet.string() + ".bak"), in);
  }
  {
    TempFolder folder;  // a dangling link given directly is a path that does not exist
    fs::create_symlink(folder / "nowhere.css", folder / "link.css");
    CliResult r = runCli({(folder / "link.css").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("link.css"), std::string::npos);
    EXPECT_EQ(r.out, kStart + finished(0, 0));
  }
}

// A dry run reads and converts every file, logs what would happen, and changes nothing on
// disk: no byte, no backup, no modification time, no entry of any folder.
TEST_F(Cli, ADryRunChangesNothingOnDisk) {
  TempFolder folder;
  fs::path page = folder.put("site/index.html", kPage);
  fs::path sheet = folder.put("site/a.css", kSheet);
  fs::path script = folder.put("site/b.js", kScript);
  fs::path other = folder.put("site/sub/c.css", "q{}\r\n");
  fs::path utf16 = folder.put("site/sub/d.js", std::string("\xFF\xFE"
                                                           "a\0=\0"
                                                           "1\0;\0",
                                                           10));
  testing::ageEverything(folder.path());
  const auto before = testing::snapshot(folder.path());
  CliResult r = runCli({"--dry-run", "-t", "euc-jp", "-n", "lf", "site"}, folder.path());
  EXPECT_EQ(r.status, 0) << r.err;
  // pages, listed sheets, listed scripts, then the sheets and scripts the page loads
  EXPECT_EQ(r.out, kStart + success(page) + success(sheet) + success(other) + success(script) + success(utf16) +
                       success(sheet) + success(script) + finished(7, 0));
  EXPECT_NE(r.err.find("dry run"), std::string::npos) << r.err;
  EXPECT_TRUE(testing::snapshot(folder.path()) == before);
  struct stat info {};
  ASSERT_EQ(stat(folder.path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mtim.tv_sec, 1000000000);
  // the same run for real changes the files
  r = runCli({"-t", "euc-jp", "-n", "lf", "site"}, folder.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(testing::snapshot(folder.path()) == before);
}

TEST_F(Cli, ADryRunStillReportsFilesThatCannotBeRead) {
  TempFolder folder;
  fs::path pipe = folder / "x.js";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
  CliResult r = runCli({"--dry-run", pipe.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kStart + "失敗: " + pipe.string() + "\nエラー - ファイルが開けませんでした。\n" + finished(0, 1));
}

// Hands a whole folder to a user: everything in it becomes theirs.
void giveTo(const fs::path& folder, uid_t user) {
  ASSERT_EQ(lchown(folder.c_str(), user, user), 0);
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    ASSERT_EQ(lchown(entry.path().c_str(), user, user), 0);
}

// Runs as `user` in the child, under `processes` processes for that user when given.
std::function<void()> asUser(uid_t user, rlim_t processes = RLIM_INFINITY) {
  return [=] {
    const rlimit limit{processes, processes};
    if ((processes != RLIM_INFINITY && setrlimit(RLIMIT_NPROC, &limit) != 0) || setgid(user) != 0 || setuid(user) != 0)
      _exit(122);
    // LeakSanitizer needs a thread of its own at exit, which the limit refuses.
    const char* asan = getenv("ASAN_OPTIONS");
    if (processes != RLIM_INFINITY)
      setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
  };
}

// The walk stays in the tree it is given (`ln -s .. site/up` must not reach the siblings of
// site) and names what it leaves out; a folder it cannot read makes the status 1.
TEST_F(Cli, TheWalkStaysInTheTreeAndNamesWhatItLeavesOut) {
  const uid_t nobody = 65534;
  TempFolder folder;
  const fs::path sibling = folder.put("sibling.js", kScriptIn[0]);
  const fs::path inside = folder.put("site/a.js", kScriptIn[0]);
  const fs::path locked = folder.put("site/locked/b.js", kScriptIn[0]);
  fs::create_directory_symlink("..", folder / "site/up");
  giveTo(folder.path(), nobody);
  fs::permissions(folder / "site/locked", fs::perms::none);
  CliResult r = runCli({"-t", "utf-8", (folder / "site").string()}, {}, asUser(nobody));
  fs::permissions(folder / "site/locked", fs::perms::owner_all);
  if (r.status == 122) GTEST_SKIP() << "cannot run as an unprivileged user here";
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out, kStart + success(inside) + finished(1, 0));
  EXPECT_EQ(r.err, "sarnavel-cli: " + (folder / "site/up").string() +
                       ": a link to a folder; not followed (name the folder itself to convert it)\n"
                       "sarnavel-cli: " +
                       (folder / "site/locked").string() +
                       ": cannot be read (Permission denied); its files are left out\n");
  EXPECT_EQ(TempFolder::read(sibling), kScriptIn[0]);
  EXPECT_EQ(TempFolder::read(locked), kScriptIn[0]);
  EXPECT_EQ(TempFolder::read(inside), kScript);
}

// A user whose process limit allows no further thread (`ulimit -u`) still gets every file
// converted, on the one thread there is.
TEST_F(Cli, WithoutRoomForAThreadTheRunGoesOnOnItsOwnThread) {
  const uid_t unused = 0x7EAE0000u + static_cast<uid_t>(getpid() & 0xFFFF);
  TempFolder folder;
  std::vector<fs::path> files;
  for (int k = 0; k < 6; ++k) files.push_back(folder.put("site/f" + std::to_string(k) + ".js", kScriptIn[0]));
  giveTo(folder.path(), unused);
  CliResult r = runCli({"-t", "utf-8", (folder / "site").string()}, {}, asUser(unused, 1));
  if (r.status == 122) GTEST_SKIP() << "cannot run as an unprivileged user under a process limit here";
  EXPECT_EQ(r.status, 0) << r.err;
  std::string log = kStart;
  for (const fs::path& file : files) log += success(file);
  EXPECT_EQ(r.out, log + finished(6, 0));
  for (const fs::path& file : files) EXPECT_EQ(TempFolder::read(file), kScript) << file;
}

}  // namespace
}  // namespace sarnavel
