// Stopping sarnavel-cli in the middle of a run: every termination signal, and a log pipe whose
// reader has gone. The run stops between two files, and every file is whole, either as it was
// or converted, and named in the log when converted.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "support/temp_folder.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using testing::CliProcess;
using testing::CliResult;
using testing::TempFolder;

std::string repeated(const std::string& line, int times) {
  std::string out;
  for (int k = 0; k < times; ++k) out += line;
  return out;
}

const std::string kBefore = repeated("var s = '\x93\xFA\x96\x7B\x8C\xEA';\n", 2000);  // 日本語, Shift_JIS
const std::string kAfter = repeated("var s = '\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E';\n", 2000);
const std::string kCancelled = "\n---\n変換はキャンセルされました。\n";

std::vector<fs::path> makeSite(const TempFolder& folder, int count) {
  std::vector<fs::path> files;
  for (int k = 0; k < count; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "site/f%03d.js", k);
    files.push_back(folder.put(name, kBefore));
  }
  return files;
}

// The paths of the success lines of a log text, in order.
std::vector<std::string> loggedSuccesses(const std::string& log) {
  std::vector<std::string> logged;
  for (std::size_t at = 0; (at = log.find("成功: ", at)) != std::string::npos;) {
    const std::size_t start = at + std::string("成功: ").size(), end = log.find('\n', start);
    logged.push_back(log.substr(start, end - start));
    at = end;
  }
  return logged;
}

// How many files were converted: they must be the first ones of the ordered set, each with
// its backup, fewer than all; all others untouched; no temporary file left behind.
std::size_t convertedPrefix(const TempFolder& folder, const std::vector<fs::path>& files) {
  std::size_t converted = 0;
  while (converted < files.size() && TempFolder::read(files[converted]) == kAfter) ++converted;
  EXPECT_GE(converted, 1u);
  EXPECT_LT(converted, files.size()) << "the run was not stopped before its end";
  for (std::size_t k = 0; k < files.size(); ++k) {
    const std::string content = TempFolder::read(files[k]);
    EXPECT_TRUE(content == (k < converted ? kAfter : kBefore)) << files[k]
                                                               << (content == kBefore  ? " is as it was"
                                                                   : content == kAfter ? " is converted"
                                                                                       : " is neither old nor new");
    EXPECT_EQ(fs::exists(files[k].string() + ".bak"), k < converted) << files[k];
  }
  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(folder / "site")) {
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    ++entries;
  }
  EXPECT_EQ(entries, files.size() + converted);
  return converted;
}

std::vector<std::string> texts(const std::vector<fs::path>& files, std::size_t from, std::size_t to) {
  std::vector<std::string> out;
  for (std::size_t k = from; k < to && k < files.size(); ++k) out.push_back(files[k].string());
  return out;
}

TEST(CliInterrupt, EveryTerminationSignalStopsBetweenFilesWith128PlusItsNumber) {
  ASSERT_TRUE(fs::exists(testing::cliPath())) << testing::cliMissingMessage();
  for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) {
    SCOPED_TRACE(strsignal(number));
    TempFolder folder;
    const std::vector<fs::path> files = makeSite(folder, 120);
    CliProcess process({"-t", "utf-8", (folder / "site").string()});
    ASSERT_TRUE(process.started());
    ASSERT_TRUE(process.waitForOutput("成功: ")) << process.out();
    process.signal(number);
    CliResult r = process.finish();

    EXPECT_EQ(r.status, 128 + number) << r.err;
    ASSERT_TRUE(r.out.starts_with("変換を開始しました。\n---\n")) << r.out;
    ASSERT_TRUE(r.out.ends_with(kCancelled)) << r.out.substr(r.out.size() > 200 ? r.out.size() - 200 : 0);
    EXPECT_EQ(r.out.find("失敗"), std::string::npos);
    EXPECT_EQ(loggedSuccesses(r.out), texts(files, 0, convertedPrefix(folder, files)));
  }
}

// `nohup` ignores SIGHUP for the program it starts: the run then goes on to its end.
TEST(CliInterrupt, ASignalIgnoredAtStartStaysIgnored) {
  TempFolder folder;
  const std::vector<fs::path> files = makeSite(folder, 40);
  CliProcess process({"-t", "utf-8", (folder / "site").string()}, {}, [] { ::signal(SIGHUP, SIG_IGN); });
  ASSERT_TRUE(process.waitForOutput("成功: ")) << process.out();
  process.signal(SIGHUP);
  CliResult r = process.finish();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(loggedSuccesses(r.out).size(), files.size());
}

// `sarnavel-cli … | head -3`: once the log cannot be written the run stops between two files
// with status 1, says why on standard error, and names there the files still converted.
TEST(CliInterrupt, ALogPipeWhoseReaderHasGoneStopsTheRun) {
  TempFolder folder;
  const std::vector<fs::path> files = makeSite(folder, 120);
  CliProcess process({"-t", "utf-8", (folder / "site").string()});
  ASSERT_TRUE(process.waitForOutput("成功: ")) << process.out();
  const std::string seen = process.out();
  process.closeOutput();
  CliResult r = process.finish();

  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("sarnavel-cli: cannot write the log to standard output (Broken pipe)"), std::string::npos)
      << r.err;
  EXPECT_TRUE(r.err.ends_with(kCancelled)) << r.err;
  // The lines read from the pipe name the first files; standard error names the last ones
  // converted (those in between went into the pipe unread, as with `head`).
  const std::size_t converted = convertedPrefix(folder, files);
  const std::vector<std::string> read = loggedSuccesses(seen.substr(0, seen.rfind('\n') + 1)),
                                 named = loggedSuccesses(r.err);
  EXPECT_EQ(read, texts(files, 0, read.size()));
  EXPECT_FALSE(named.empty());
  EXPECT_EQ(named, texts(files, converted - std::min(named.size(), converted), converted));
}

}  // namespace
}  // namespace sarnavel
