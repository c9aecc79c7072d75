// Ctrl-C during a run of sarnavel-cli: the run stops between two files, logs the
// cancellation, exits with 130, and leaves every file whole, either as it was or converted.
#include <gtest/gtest.h>
#include <signal.h>

#include <set>
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

TEST(CliInterrupt, CtrlCStopsBetweenFilesAndLeavesEveryFileWhole) {
  ASSERT_TRUE(fs::exists(testing::cliPath())) << testing::cliMissingMessage();
  TempFolder folder;
  const std::string before = repeated("var s = '\x93\xFA\x96\x7B\x8C\xEA';\n", 2000);  // 日本語, Shift_JIS
  const std::string after = repeated("var s = '\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E';\n", 2000);
  const int count = 300;
  std::vector<fs::path> files;
  for (int k = 0; k < count; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "site/f%03d.js", k);
    files.push_back(folder.put(name, before));
  }

  CliProcess process({"-t", "utf-8", (folder / "site").string()});
  ASSERT_TRUE(process.started());
  ASSERT_TRUE(process.waitForOutput("成功: ")) << process.out();
  process.signal(SIGINT);
  CliResult r = process.finish();

  EXPECT_EQ(r.status, 130) << r.err;
  const std::string cancelled = "\n---\n変換はキャンセルされました。\n";
  ASSERT_TRUE(r.out.starts_with("変換を開始しました。\n---\n")) << r.out;
  ASSERT_TRUE(r.out.ends_with(cancelled)) << r.out.substr(r.out.size() > 200 ? r.out.size() - 200 : 0);

  // the files logged are a prefix of the ordered set, each converted; the others untouched
  std::vector<std::string> logged;
  const std::string body = r.out.substr(0, r.out.size() - cancelled.size());
  for (std::size_t at = 0; (at = body.find("成功: ", at)) != std::string::npos;) {
    const std::size_t start = at + std::string("成功: ").size(), end = body.find('\n', start);
    logged.push_back(body.substr(start, end - start));
    at = end;
  }
  EXPECT_GE(logged.size(), 1u);
  EXPECT_LT(logged.size(), files.size()) << "the run was not cancelled before its end";
  EXPECT_EQ(body.find("失敗"), std::string::npos);
  for (std::size_t k = 0; k < files.size(); ++k) {
    const std::string content = TempFolder::read(files[k]);
    const bool converted = k < logged.size();
    if (converted) {
      EXPECT_EQ(logged[k], files[k].string());
    }
    EXPECT_TRUE(content == (converted ? after : before)) << files[k] << (content == before  ? " is as it was"
                                                                           : content == after ? " is converted"
                                                                                              : " is neither old nor new");
    EXPECT_EQ(fs::exists(files[k].string() + ".bak"), converted) << files[k];
  }
  // no temporary file is left behind
  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(folder / "site")) {
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    ++entries;
  }
  EXPECT_EQ(entries, files.size() + logged.size());
}

}  // namespace
}  // namespace sarnavel
