// What sarnavel-cli writes where: the log on standard output, one line per file whatever the
// names; notices on standard error; and what happens when standard output is not there.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "support/temp_folder.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using testing::CliResult;
using testing::runCli;
using testing::TempFolder;

const std::string kSjisScript = "var s = '\x93\xFA\x96\x7B';\n";  // 日本, Shift_JIS
const std::string kUtf8Script = "var s = '\xE6\x97\xA5\xE6\x9C\xAC';\n";

class CliOutput : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fs::exists(testing::cliPath())) << testing::cliMissingMessage(); }
};

// Started with standard output closed, the program would hand descriptor 1 to a file it
// converts and write the log into it. It refuses instead: nothing converted, status 1.
TEST_F(CliOutput, AClosedStandardOutputConvertsNothing) {
  TempFolder folder;
  std::vector<fs::path> files;
  for (int k = 0; k < 200; ++k) files.push_back(folder.put("site/f" + std::to_string(k) + ".js", kSjisScript));
  CliResult r = runCli({"-t", "utf-8", (folder / "site").string()}, {}, [] { close(STDOUT_FILENO); });
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("sarnavel-cli: standard output is closed"), std::string::npos) << r.err;
  for (const fs::path& file : files) {
    ASSERT_EQ(TempFolder::read(file), kSjisScript) << file;
    ASSERT_FALSE(fs::exists(file.string() + ".bak")) << file;
  }
}

// A name cannot forge a log line or reach the terminal raw: control characters and bytes that
// are not UTF-8 are written as escapes, on standard output and standard error alike.
TEST_F(CliOutput, NamesAreWrittenVisiblyOneFileOneLine) {
  TempFolder folder;
  const std::string forged = "new\n\xE6\x88\x90\xE5\x8A\x9F: /etc/passwd.js";  // 成功: /etc/passwd
  const std::string terminal = "\x1b]0;owned\a\x1b[2J.css";
  const std::string site = (folder / "site").string();
  folder.put("site/" + forged, kSjisScript);
  folder.put("site/" + terminal, "p{}\n");
  folder.put("site/back\\slash \xff.js", kSjisScript);
  CliResult r = runCli({"-t", "utf-8", site, site + "/gone\x1b[31m.html"});
  EXPECT_EQ(r.status, 1);  // the missing path
  EXPECT_EQ(r.out,
            "変換を開始しました。\n---\n"
            "成功: " +
                site +
                "/\\x1b]0;owned\\a\\x1b[2J.css\n"
                "成功: " +
                site +
                "/back\\\\slash \\xff.js\n"
                "成功: " +
                site +
                "/new\\n\xE6\x88\x90\xE5\x8A\x9F: /etc/passwd.js\n"
                "\n---\n3個の成功、0個の失敗。\n変換処理を終了しました。\n");
  EXPECT_EQ(r.err, "sarnavel-cli: " + site + "/gone\\x1b[31m.html: no such file or folder\n");
  EXPECT_EQ(TempFolder::read(folder / "site" / forged), kUtf8Script);
}

// Without -t the target is Shift_JIS, as in the desktop program; the tool says so, once.
TEST_F(CliOutput, ATargetLeftOutIsNamedOnce) {
  const std::string notice = "sarnavel-cli: no target encoding given (-t): converting to Shift_JIS\n";
  const struct {
    std::vector<std::string> options;
    std::string err;
  } cases[] = {
      {{}, notice},
      {{"--no-backup"}, notice},
      {{"-t", "sjis"}, ""},
      {{"--to=utf-8"}, ""},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    const fs::path a = folder.put("a.js", kUtf8Script), b = folder.put("site/b.js", kUtf8Script);
    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.end(), {a.string(), (folder / "site").string()});
    CliResult r = runCli(arguments);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, c.err) << arguments.front();
  }
}

}  // namespace
}  // namespace sarnavel
