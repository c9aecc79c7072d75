// sarnavel-cli end to end on real files: the log on standard output, notices on standard
// error, exit statuses, a log nobody can read, names that could forge a line, stop signals,
// the progress line and two runs at once.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "cli/progress_line.h"
#include "store/lock_holders.h"
#include "support/cli_process.h"
#include "support/killed_in_place_write.h"
#include "support/temp_folder.h"

namespace sarnavel::testing {
namespace {

namespace fs = std::filesystem;

const std::string kScript = "var s = '\xE6\x97\xA5\xE6\x9C\xAC';\n";  // 日本, UTF-8
const std::string kSjisScript = "var s = '\x93\xFA\x96\x7B';\n";
const std::string kPage =
    "<html><head><title>\xE6\x97\xA5</title><link rel=\"stylesheet\" href=\"a.css\"></head><body></body></html>\n";

TEST(Cli, HelpVersionAndAUsageError) {
  const CliResult version = runCli({"-V"}), wrong = runCli({"-t", "latin1", "a.js"});
  // --help follows the locale as the messages do: LC_ALL, then LC_MESSAGES, then LANG.
  for (const auto& [all, head, statuses] : {std::tuple("C", "Usage: sarnavel-cli", "\nExit status: 0 when"),
                                            std::tuple("", "使い方: sarnavel-cli", "\n終了ステータス: ")}) {
    const CliResult help = runCli({"--help"}, {}, [all] {
      setenv("LC_ALL", all, 1);
      setenv("LANG", "ja_JP.UTF-8", 1);
      unsetenv("LC_MESSAGES");
    });
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with(head) && help.out.find(statuses) != std::string::npos) << help.out;
  }
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(version.out.starts_with("sarnavel-cli ") && version.out.ends_with("\n")) << version.out;
  EXPECT_EQ(wrong.status, 2);
  EXPECT_EQ(wrong.out, "");
  EXPECT_TRUE(wrong.err.starts_with("sarnavel-cli: ")) << wrong.err;
}

// Relative paths become full ones in the log (notices keep the name given); folders are walked; a file of another kind named on the
// line, a folder holding none of the kinds taken, and a missing path, are told on standard error
// (the last makes the status 1); a sheet the page loads comes after the listed files; no -t means
// Shift_JIS, said once.
TEST(Cli, TheExactLogOfARun) {
  TempFolder folder;
  const fs::path notes = folder.put("notes.txt", "notes"), top = folder.put("top.js", kScript);
  const fs::path page = folder.put("site/index.html", kPage), sheet = folder.put("site/a.css", "p{}\n");
  folder.put("site/readme.txt", "passed over silently");
  const fs::path deeper = folder.put("site/sub/c.js", kScript);
  folder.put("docs/notes.txt", "");
  const CliResult r = runCli({"notes.txt", "top.js", "gone.html", "site", "docs"}, folder.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kLogStart + success(page) + success(sheet) + success(deeper) + success(top) + success(sheet) +
                       finished(5, 0));
  EXPECT_EQ(r.err,
            "sarnavel-cli: gone.html: no such file or folder\n"
            "sarnavel-cli: notes.txt: not a page, style sheet or script; passed over\n"
            "sarnavel-cli: no .html, .htm, .css or .js file in docs; --kinds adds others\n"
            "sarnavel-cli: no target encoding given (-t): converting to Shift_JIS\n");
  EXPECT_EQ(TempFolder::read(top), kSjisScript);
  EXPECT_EQ(TempFolder::read(top.native() + ".bak"), kScript);
  EXPECT_EQ(TempFolder::read(notes), "notes");
  // Quiet: the summary alone when every file went well; the notice of the default target goes too.
  const CliResult quiet = runCli({"-q", "site", "gone.html"}, folder.path());
  EXPECT_EQ(quiet.status, 1);
  EXPECT_EQ(quiet.out, finished(4, 0));
  EXPECT_EQ(quiet.err, "sarnavel-cli: gone.html: no such file or folder\n");
  // Verbose: each file's decision first under its line, in the report's names.
  const fs::path sjis = folder.put("v.js", kSjisScript), euc = folder.put("w.js", "var s = '\xC6\xFC\xCB\xDC';\n");
  EXPECT_EQ(runCli({"-v", "-t", "utf-8", "v.js"}, folder.path()).out,
            kLogStart + success(sjis) + "  encoding: shift_jis (detection)\n" + finished(1, 0));
  EXPECT_EQ(runCli({"-vtutf-8", "--from", "euc-jp", "w.js"}, folder.path()).out,
            kLogStart + success(euc) + "  encoding: euc-jp (named)\n" + finished(1, 0));
  EXPECT_EQ(TempFolder::read(euc), kScript);
}

// User A's run was killed while it wrote user B's script in place: root's run leaves the torn
// file alone (its copy is A's), names the copy and fails the file; A's next run puts the former
// content back and converts it. Neither removes another user's file named like a temporary
// file of ours.
TEST(Cli, ATornFileWaitsForTheUserWhoseRecoveryCopyItIs) {
  TempFolder folder;
  ASSERT_EQ(chmod(folder.path().c_str(), 0777), 0);
  const fs::path lookalike = folder.put(".notes.sarnavel-abcdef.tmp", "someone's notes");
  ASSERT_EQ(chown(lookalike.c_str(), 4245, 4245), 0);
  const std::string former = std::string(4096, ' ') + kSjisScript;
  const fs::path torn = folder.put("a.js", former);
  ASSERT_EQ(chown(torn.c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(torn.c_str(), 0666), 0);
  constexpr uid_t kUserA = 4242;
  const fs::path memoryOfA = memoryFolderOf(kUserA);
  const pid_t a = fork();
  if (a == 0)
    _exit(setresgid(kUserA, kUserA, kUserA) == 0 && setresuid(kUserA, kUserA, kUserA) == 0 &&
                  killedInPlaceWrite(torn, std::string(8192, 'n'), memoryOfA)
              ? 0
              : 1);
  int status = 0;
  ASSERT_TRUE(waitpid(a, &status, 0) == a && WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::string tornBytes = TempFolder::read(torn);

  const CliResult root = runCli({"-t", "utf-8", torn.native()});
  EXPECT_EQ(root.status, 1);
  EXPECT_NE(root.out.find(failure(torn, 103)), std::string::npos) << root.out;
  EXPECT_NE(root.out.find(".a.js.sarnavel-"), std::string::npos) << root.out;
  EXPECT_EQ(TempFolder::read(torn), tornBytes);

  const CliResult userA = runCli({"-t", "utf-8", torn.native()}, {}, asUser(kUserA));
  EXPECT_EQ(userA.status, 0) << userA.out << userA.err;
  EXPECT_NE(userA.err.find("its former content is put back"), std::string::npos) << userA.err;
  EXPECT_EQ(TempFolder::read(torn), std::string(4096, ' ') + kScript);
  EXPECT_EQ(TempFolder::read(lookalike), "someone's notes");
}

// A page of user C's names a script in user B's private folder: root's run over the page's site
// leaves B's file alone (no backup beside it either) and says why under the page's line.
TEST(Cli, APageChoosesNoneOfAnotherUsersFiles) {
  TempFolder folder;
  const fs::path secret = folder.put("b/private/app.js", kSjisScript);
  ASSERT_EQ(chown(secret.c_str(), 4243, 4243), 0);
  ASSERT_EQ(chmod(secret.parent_path().c_str(), 0700), 0);
  const fs::path page = folder.put("c/site/index.html", "<script src=\"" + secret.native() + "\"></script>\n");
  ASSERT_EQ(chown(page.c_str(), 4244, 4244), 0);
  const CliResult r = runCli({"-t", "utf-8", page.parent_path().native()}, {}, inJapanese);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("持ち主がこのページと違うため変換しません: " + secret.native()), std::string::npos) << r.out;
  EXPECT_EQ(TempFolder::read(secret), kSjisScript);
  EXPECT_EQ(TempFolder::namesIn(secret.parent_path()), std::set<std::string>{"app.js"});
  EXPECT_NE(TempFolder::read(page).find("<script src=\"" + secret.native() + "\"></script>"), std::string::npos);
}

// Started with standard output closed, the program would hand descriptor 1 to a file it
// converts and write the log into it. It refuses instead: nothing converted, status 1. So it
// does when the report takes standard output and the log's standard error is closed.
TEST(Cli, AClosedStandardOutputConvertsNothing) {
  const struct {
    bool reportOnOutput;
    int closed;
    const char* said;  // on standard error, when it is open
  } cases[] = {
      {false, STDOUT_FILENO, "sarnavel-cli: standard output is closed: there is nowhere to write the log"},
      {true, STDOUT_FILENO, "sarnavel-cli: standard output is closed: there is nowhere to write the report"},
      {true, STDERR_FILENO, ""},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    const fs::path file = folder.put("site/a.js", kSjisScript);
    std::vector<std::string> arguments = {"-t", "utf-8", (folder / "site").native()};
    if (c.reportOnOutput) arguments.insert(arguments.begin(), {"--report", "-"});
    const int closed = c.closed;
    const CliResult r = runCli(arguments, {}, [closed] { close(closed); });
    EXPECT_EQ(r.status, 1) << c.closed;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(TempFolder::read(file), kSjisScript) << c.closed;
    EXPECT_FALSE(fs::exists(file.native() + ".bak")) << c.closed;
  }
}

// A log redirected into a file the run converts would be converted under the writer's feet
// (and the rest of it written to a file no longer there): a usage error, nothing touched;
// also when the run reaches the log's file under another name, through a link or a hard link,
// and when a page may load it (named like a page, sheet or script, or of several names).
TEST(Cli, ALogWrittenIntoAFileOfTheRunIsAUsageError) {
  const struct {
    const char* log;    // where the log goes
    const char* other;  // another name for it, "" for none
    bool hardLink;
  } cases[] = {
      {"site/log.html", "", false},  {"site/log.txt", "site/l.js", false}, {"out.txt", "site/h.css", true},
      {"shared/log.css", "", false}, {"out.txt", "out-too.txt", true},
  };
  for (const auto& c : cases) {
    for (int stream : {STDOUT_FILENO, STDERR_FILENO}) {
      SCOPED_TRACE(std::string(c.log) + " " + std::to_string(stream));
      TempFolder folder;
      const fs::path file = folder.put("site/a.js", kSjisScript);
      const fs::path log = folder.put(c.log, "");
      if (*c.other && c.hardLink) fs::create_hard_link(log, folder / c.other);
      if (*c.other && !c.hardLink) fs::create_symlink(log.filename(), folder / c.other);
      const CliResult r = runCli({"-t", "utf-8", (folder / "site").native()}, {}, [log, stream] {
        const int fd = open(log.c_str(), O_WRONLY | O_APPEND);
        if (fd >= 0) dup2(fd, stream);
      });
      EXPECT_EQ(r.status, 2);
      EXPECT_EQ(TempFolder::read(file), kSjisScript);
      EXPECT_FALSE(fs::exists(file.native() + ".bak"));
      EXPECT_FALSE(fs::exists(log.native() + ".bak"));
    }
  }
}

// A name cannot forge a log line or reach the terminal raw: control characters and bytes that
// are not UTF-8 are written as escapes, on standard output and standard error alike.
TEST(Cli, NamesAreWrittenVisiblyOneFileOneLine) {
  TempFolder folder;
  const std::string forged = "new\n\xE6\x88\x90\xE5\x8A\x9F: /etc/passwd.js";  // 成功: /etc/passwd
  const std::string site = (folder / "site").native();
  folder.put("site/" + forged, kSjisScript);
  folder.put("site/\x1b]0;owned\a.css", "p{}\n");
  folder.put("site/back\\slash \xff.js", kSjisScript);
  const CliResult r = runCli({"-t", "utf-8", site, site + "/gone\x1b[31m.html"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kLogStart + "成功: " + site + "/\\x1b]0;owned\\a.css\n" + "成功: " + site +
                       "/back\\\\slash \\xff.js\n" + "成功: " + site +
                       "/new\\n\xE6\x88\x90\xE5\x8A\x9F: /etc/passwd.js\n" + finished(3, 0));
  EXPECT_EQ(r.err, "sarnavel-cli: " + site + "/gone\\x1b[31m.html: no such file or folder\n");
  EXPECT_EQ(TempFolder::read(folder / "site" / forged), kScript);
}

// The walk stays in the tree it is given (`ln -s .. site/up` must not reach the siblings of
// site) and names what it leaves out; a folder it cannot read makes the status 1.
TEST(Cli, TheWalkStaysInTheTreeAndNamesWhatItLeavesOut) {
  TempFolder folder;
  const fs::path sibling = folder.put("sibling.js", kSjisScript), inside = folder.put("site/a.js", kSjisScript);
  folder.put("site/locked/b.js", kSjisScript);
  fs::create_directory_symlink("..", folder / "site/up");
  for (const auto& entry : fs::recursive_directory_iterator(folder.path())) lchown(entry.path().c_str(), 65534, 65534);
  ASSERT_EQ(chown(folder.path().c_str(), 65534, 65534), 0);
  fs::permissions(folder / "site/locked", fs::perms::none);
  const CliResult r = runCli({"-t", "utf-8", (folder / "site").native()}, {}, asUser(65534));
  fs::permissions(folder / "site/locked", fs::perms::owner_all);
  if (r.status == 122) GTEST_SKIP() << "cannot run as an unprivileged user here";
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out, kLogStart + success(inside) + finished(1, 0));
  EXPECT_EQ(r.err, "sarnavel-cli: " + (folder / "site/up").native() +
                       ": a link to a folder; not followed (name the folder itself to convert it)\n"
                       "sarnavel-cli: " +
                       (folder / "site/locked").native() +
                       ": cannot be read (Permission denied); its files are left out\n");
  EXPECT_EQ(TempFolder::read(sibling), kSjisScript);
}

// The links the walk takes (to a file inside the tree) and a link named are followed: their
// files are converted, and the links stay links.
TEST(Cli, TheLinksTheIntakeTakesAreFollowed) {
  TempFolder folder;
  const fs::path real = folder.put("site/a.js", kSjisScript), other = folder.put("other.js", kSjisScript);
  fs::create_symlink("a.js", folder / "site/inside.js");
  fs::create_symlink("other.js", folder / "named.js");
  const CliResult r = runCli({"-t", "utf-8", (folder / "site").native(), (folder / "named.js").native()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kLogStart + success(folder / "named.js") + success(real) + success(folder / "site/inside.js") +
                       finished(3, 0));
  EXPECT_EQ(TempFolder::read(other), kScript);
  EXPECT_TRUE(fs::is_symlink(folder / "site/inside.js") && fs::is_symlink(folder / "named.js"));
}

// --backup-dir keeps the backups out of the site, in a mirror of the folder named, under the
// --suffix name; the report names each where it is. A backup folder inside a folder named, or
// holding one, is a usage error with nothing touched.
TEST(Cli, BackupsInAFolderOfTheirOwn) {
  TempFolder folder;
  const fs::path top = folder.put("site/a.js", kSjisScript), deeper = folder.put("site/sub/c.js", kSjisScript);
  for (const char* inside : {"site/old", "site/sub", "."}) {
    SCOPED_TRACE(inside);
    const CliResult refused = runCli({"-t", "utf-8", "--backup-dir", inside, "site"}, folder.path());
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("the backup folder"), std::string::npos) << refused.err;
    EXPECT_EQ(TempFolder::read(top) + TempFolder::read(deeper), kSjisScript + kSjisScript);
  }
  const CliResult r =
      runCli({"-t", "utf-8", "--backup-dir", "old", "--suffix", "~", "--report", "r.jsonl", "site"}, folder.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kLogStart + success(top) + success(deeper) + finished(2, 0));
  EXPECT_EQ(TempFolder::read(folder / "old/a.js~") + TempFolder::read(folder / "old/sub/c.js~"),
            kSjisScript + kSjisScript);
  for (const auto& entry : fs::recursive_directory_iterator(folder / "site"))
    EXPECT_EQ(entry.path().extension(), entry.is_directory() ? "" : ".js") << entry.path();
  EXPECT_NE(TempFolder::read(folder / "r.jsonl").find("\"backup\":\"" + (folder / "old/sub/c.js~").native() + "\""),
            std::string::npos);
  // The settings file's backup_dir and backup_suffix, where the line names none.
  folder.put("config/sarnavel/sarnavel.conf",
             "[conversion]\nbackup_dir=" + (folder / "kept").native() + "\nbackup_suffix=\".orig\"\n");
  const std::string config = (folder / "config").native();
  const CliResult settled = runCli({"-t", "euc-jp", "--suffix", ".b", "site"}, folder.path(),
                                   [&] { setenv("XDG_CONFIG_HOME", config.c_str(), 1); });
  EXPECT_EQ(settled.status, 0) << settled.err;
  EXPECT_EQ(TempFolder::read(folder / "kept/sub/c.js.b"), kScript);
}

// --- Stopping a run ------------------------------------------------------------------------

const std::string kCancelled = "\n---\n変換はキャンセルされました。\n";

std::vector<fs::path> longScripts(const TempFolder& folder) {
  std::string bytes;
  for (int k = 0; k < 2000; ++k) bytes += "var s = '\x93\xFA\x96\x7B\x8C\xEA';\n";
  std::vector<fs::path> files;
  for (int k = 0; k < 100; ++k) files.push_back(folder.put("site/f" + std::to_string(100 + k) + ".js", bytes));
  return files;
}

// The files converted: a prefix of the ordered set, each with its backup, fewer than all; the
// others untouched; no temporary file left.
std::size_t convertedPrefix(const std::vector<fs::path>& files) {
  std::size_t converted = 0;
  while (converted < files.size() && fs::exists(files[converted].native() + ".bak")) ++converted;
  EXPECT_LT(converted, files.size()) << "the run was not stopped before its end";
  for (std::size_t k = converted; k < files.size(); ++k) EXPECT_FALSE(fs::exists(files[k].native() + ".bak")) << k;
  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(files[0].parent_path())) {
    EXPECT_NE(entry.path().filename().native()[0], '.') << entry.path();
    ++entries;
  }
  EXPECT_EQ(entries, files.size() + converted);
  return converted;
}

std::size_t successLines(const std::string& log) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = log.find("成功: ", at)) != std::string::npos; ++at) ++n;
  return n;
}

// A termination signal stops the run between two files, with 128 + its number; one ignored
// when the program starts (`nohup`) stays ignored and the run goes to its end.
TEST(CliInterrupt, ASignalStopsTheRunBetweenFiles) {
  const struct {
    int number;
    bool ignoredAtStart;
  } cases[] = {{SIGINT, false}, {SIGTERM, false}, {SIGHUP, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(strsignal(c.number));
    TempFolder folder;
    const std::vector<fs::path> files = longScripts(folder);
    CliProcess process({"-t", "utf-8", (folder / "site").native()}, {}, [&] {
      if (c.ignoredAtStart) ::signal(c.number, SIG_IGN);
    });
    ASSERT_TRUE(process.waitForOutput("成功: ")) << process.out();
    process.signal(c.number);
    const CliResult r = process.finish();
    if (c.ignoredAtStart) {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(successLines(r.out), files.size());
      continue;
    }
    EXPECT_EQ(r.status, 128 + c.number) << r.err;
    EXPECT_TRUE(r.out.ends_with(kCancelled)) << r.out.substr(r.out.size() > 200 ? r.out.size() - 200 : 0);
    EXPECT_EQ(r.out.find("失敗"), std::string::npos) << r.out;
    EXPECT_EQ(successLines(r.out), convertedPrefix(files)) << r.out;
  }
}

// `sarnavel-cli … | head -3` and `sarnavel-cli --check … | head -1`: once the log's reader has
// gone the run ends quietly between two files, as `git log | head` does: no word on standard
// error, and the status of the files done (a check's: whether one has a problem).
TEST(CliInterrupt, ALogPipeWhoseReaderHasGoneEndsTheRunQuietly) {
  const struct {
    std::vector<std::string> options;
    std::string broken;  // a file with a problem, listed first; "" for none
    int status;
  } cases[] = {
      {{"-t", "utf-8"}, "", 0},
      {{"--check"}, "", 0},
      {{"--check"}, "site/a.js", 1},
      {{"-t", "utf-8", "--report", "-"}, "", 0},  // the report's reader; the log on standard error
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options) + c.broken);
    TempFolder folder;
    const std::vector<fs::path> files = longScripts(folder);
    if (!c.broken.empty())
      folder.put(c.broken, "var s = '\x93\xFA\x96';\n");  // invalid-bytes: ends in half a character
    std::vector<std::string> arguments = c.options;
    arguments.push_back((folder / "site").native());
    CliProcess process(arguments);
    const bool report = c.options.back() == "-";
    ASSERT_TRUE(process.waitForOutput(report                      ? "{\"path\""
                                      : c.options[0] == "--check" ? "\t"
                                                                  : "成功: "))
        << process.out();
    process.closeOutput();
    const CliResult r = process.finish();
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(report ? r.err.find("sarnavel-cli:") : r.err.size(), report ? std::string::npos : 0u) << r.err;
    if (c.options[0] != "--check") {
      EXPECT_GE(convertedPrefix(files), 1u);
    }
  }
}

// A log that cannot be written otherwise (a full disk) stays an error: said once, the run
// stopped before its first file with status 1, and the rest of the log on standard error.
TEST(CliInterrupt, ALogOnAFullDiskStopsTheRunAndSaysSo) {
  TempFolder folder;
  longScripts(folder);
  const CliResult r = runCli({"-t", "utf-8", (folder / "site").native()}, {}, [] {
    const int full = ::open("/dev/full", O_WRONLY);
    ::dup2(full, STDOUT_FILENO);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.err.starts_with("sarnavel-cli: cannot write the log to standard output (No space left on device)"))
      << r.err;
  EXPECT_TRUE(r.err.ends_with(kCancelled)) << r.err;
  EXPECT_NE(r.err.find(kLogStart), std::string::npos) << r.err;  // the entry that failed, written again
}

// The progress line: on standard error when it is a terminal (a pseudo-terminal here) or with
// --progress, never with --no-progress nor on a pipe by default; drawn in place ("\r", erase
// to the end of the line), never a line break, and erased at the end.
TEST(CliProgress, ALineRedrawnInPlaceOnATerminalOnly) {
  const struct {
    bool terminal;
    std::string option;
    bool shown;
  } cases[] = {{true, "--no-backup", true},
               {true, "--no-progress", false},
               {false, "--no-backup", false},
               {false, "--progress", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.terminal ? "terminal " : "pipe ") + c.option);
    TempFolder folder;
    folder.put("site/a.js", kScript);
    folder.put("site/b.js", kScript);
    int terminal = -1, side = -1;
    ASSERT_EQ(::openpty(&terminal, &side, nullptr, nullptr, nullptr), 0);
    CliProcess process({c.option, "-t", "utf-8", (folder / "site").native()}, {}, [&] {
      if (c.terminal) ::dup2(side, STDERR_FILENO);
    });
    ::close(side);
    const CliResult r = process.finish();
    std::string shown = c.terminal ? std::string() : r.err;
    char buffer[4096];
    for (ssize_t n; c.terminal && (n = ::read(terminal, buffer, sizeof buffer)) > 0;) shown.append(buffer, n);
    ::close(terminal);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(shown.find('\n'), std::string::npos) << shown;
    if (!c.shown) {
      EXPECT_EQ(shown, "");
      continue;
    }
    EXPECT_TRUE(shown.starts_with("\r[")) << shown;
    EXPECT_NE(shown.find("/2] 0:0"), std::string::npos) << shown;
    EXPECT_NE(shown.find("a.js\x1b[K"), std::string::npos) << shown;
    EXPECT_TRUE(shown.ends_with("\x1b[K\r\x1b[K")) << shown;
  }
}

// The line draws itself once the run has begun, with no file done yet (its timer keeps the time
// going through a long file); a notice goes above it, the line erased first and drawn again
// after, so that neither lands in the other; an entry of the log erases it until its file is done.
TEST(CliProgress, ANoticeGoesAboveTheLineAndTheTimerDrawsIt) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  std::string shown;
  auto readUntil = [&](std::string_view text) {
    for (int k = 0; k < 200 && shown.find(text) == std::string::npos; ++k) {
      pollfd ready{ends[0], POLLIN, 0};
      char buffer[4096];
      if (::poll(&ready, 1, 50) == 1)
        shown.append(buffer, std::max<ssize_t>(0, ::read(ends[0], buffer, sizeof buffer)));
    }
    return shown.find(text) != std::string::npos;
  };
  {
    ProgressLine line(ends[1], true);
    line.planned(2);
    line.show();
    ASSERT_TRUE(readUntil("\r[0/2] 0:0"));
    line.sayAbove("sarnavel-cli: a notice\n");
    line.beforeEntry();
    line.fileDone("a.js");
    line.clear();
  }
  ::close(ends[1]);
  readUntil("never");
  ::close(ends[0]);
  EXPECT_NE(shown.find("\r\x1b[Ksarnavel-cli: a notice\n[0/2] 0:0"), std::string::npos) << shown;
  EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 1) << shown;
  EXPECT_TRUE(shown.ends_with("\r\x1b[K")) << shown;
}

// --- Two runs at once ------------------------------------------------------------------------

// The same command in two terminals, started at once: one waits for the other to end, so
// that it never reads a page before the other rewrites it and the page's script after (which
// converted the script twice, ’ becoming 窶冱). Every file is converted once: the later run
// finds each already in UTF-8 and makes no second backup.
TEST(CliTwoRuns, TwoRunsOnTheSameFilesTakeTurns) {
  TempFolder folder;
  const std::string script = "var s = '\x81\x66\x93\xFA';\n";  // ’日 in Shift_JIS
  const fs::path loaded = folder.put("site/js/u.js", script);
  for (int k = 0; k < 400; ++k)
    folder.put("site/p" + std::to_string(1000 + k) + ".html",
               "<html><head><title>\x93\xFA</title><script src=\"js/u.js\"></script></head></html>\n");
  const std::string site = (folder / "site").native();
  CliProcess first({"-t", "utf-8", site}), second({"-t", "utf-8", site});
  const CliResult one = first.finish(), two = second.finish();
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(two.status, 0) << two.err;
  // Should one run end before the other begins, neither waits.
  const std::string waiting = " is converting files in " + fs::canonical(site).native() + "; waiting for it to end\n";
  const std::string told = one.err + two.err;
  EXPECT_TRUE((told.starts_with("sarnavel-cli: another run (process ") && told.ends_with(waiting)) || told == "")
      << told;
  EXPECT_EQ(TempFolder::read(loaded), "var s = '\xE2\x80\x99\xE6\x97\xA5';\n");
  EXPECT_EQ(TempFolder::read(loaded.native() + ".bak"), script);
  EXPECT_EQ(TempFolder::namesIn(loaded.parent_path()), (std::set<std::string>{"u.js", "u.js.bak"}));
  EXPECT_EQ(TempFolder::namesIn(site).size(), 2 * 400 + 1u);  // each page and its one backup, and js
}

// A lock some other program holds on the site (`flock -x site sleep 60`) holds no run.
TEST(CliTwoRuns, ALockAnotherProgramHoldsHoldsNoRun) {
  TempFolder folder;
  const fs::path script = folder.put("site/a.js", kSjisScript);
  int release[2];
  ASSERT_EQ(pipe(release), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    close(release[1]);
    prctl(PR_SET_NAME, "flock");
    char go;
    _exit(flock(open((folder / "site").c_str(), O_RDONLY), LOCK_EX) == 0 && read(release[0], &go, 1) >= 0 ? 0 : 1);
  }
  close(release[0]);
  struct stat site;
  ASSERT_EQ(stat((folder / "site").c_str(), &site), 0);
  while (flockHolders(site)->empty()) usleep(10'000);
  const CliResult r = runCli({"-t", "utf-8", (folder / "site").native()});
  close(release[1]);
  waitpid(holder, nullptr, 0);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(TempFolder::read(script), kScript);
}

}  // namespace
}  // namespace sarnavel::testing
