// sarnavel-cli taking conversions back, end to end: --runs and --undo (dry run, refusals, redo)
// on real files, with a memory of the test's own. A restore's is in cli_kinds_test.cpp.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <vector>

#include "support/cli_process.h"
#include "support/folder_state.h"
#include "support/temp_folder.h"

namespace sarnavel::testing {
namespace {

namespace fs = std::filesystem;

const std::string kScript = "var s = '\xE6\x97\xA5\xE6\x9C\xAC';\n";  // 日本, UTF-8
const std::string kPage = "<html><head><title>\xE6\x97\xA5</title></head><body></body></html>\n";

// Lines of `text` that hold `part`.
int linesWith(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

std::map<std::string, std::string> contentsOf(const FolderState& state) {
  std::map<std::string, std::string> contents;
  for (const auto& [name, entry] : state) contents[name] = entry.content;
  return contents;
}

// The id a --runs listing gives on its line `n` (from 0).
std::string idOnLine(const std::string& listing, int n) {
  std::size_t at = 0;
  while (n-- > 0) at = listing.find('\n', at) + 1;
  return listing.substr(at, listing.find('\t', at) - at);
}

TEST(CliUndo, ARunListedTakenBackAndRefusedOnceTaken) {
  TempFolder folder, state;
  const fs::path script = folder.put("site/a.js", kScript), page = folder.put("site/index.html", kPage);
  folder.put("site/index.html.bak", "an older backup");
  const std::string home = state.path().native();
  auto cli = [&](const std::vector<std::string>& arguments) {
    return runCli(arguments, folder.path(), [home] { ::setenv("XDG_STATE_HOME", home.c_str(), 1); });
  };
  ASSERT_EQ(cli({"-t", "euc-jp", "site"}).status, 0);
  const FolderState converted = snapshot(folder.path());

  const CliResult runs = cli({"--runs"});
  EXPECT_EQ(runs.status, 0);
  EXPECT_EQ(linesWith(runs.out, "\n"), 1);
  EXPECT_NE(runs.out.find("\tconvert\tEUC-JP\t2/2\tundoable\t"), std::string::npos) << runs.out;
  const std::string id = idOnLine(runs.out, 0);

  const CliResult looked = cli({"--undo", "--dry-run"});
  EXPECT_EQ(looked.status, 0);
  EXPECT_EQ(linesWith(looked.out, "成功: "), 2);
  EXPECT_TRUE(snapshot(folder.path()) == converted);

  const CliResult undone = cli({"--undo", id, "--report", "-"});
  EXPECT_EQ(undone.status, 0) << undone.err;
  EXPECT_EQ(linesWith(undone.err, "成功: "), 2);  // the log goes to standard error
  EXPECT_TRUE(undone.err.starts_with("元に戻す処理を開始しました。")) << undone.err;
  EXPECT_NE(undone.out.find("\"mode\":\"undo\""), std::string::npos);
  EXPECT_EQ(linesWith(undone.out, "\"result\":100"), 2) << undone.out;
  EXPECT_EQ(TempFolder::read(script), kScript);
  EXPECT_EQ(TempFolder::read(page), kPage);
  EXPECT_EQ(TempFolder::read(page.native() + ".bak"), "an older backup");
  EXPECT_EQ(TempFolder::namesIn(folder / "site"), (std::set<std::string>{"a.js", "index.html", "index.html.bak"}));

  const CliResult listed = cli({"--runs"});
  EXPECT_NE(listed.out.find("\tundone\t"), std::string::npos);
  EXPECT_NE(listed.out.find("\tundo " + id + "\tEUC-JP\t0/0\tredoable\t"), std::string::npos) << listed.out;
  const CliResult again = cli({"--undo"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err,
            "sarnavel-cli: no remembered run to take back (sarnavel-cli --runs lists them; an undo is redone by giving "
            "its id to --undo)\n");

  // The undo of the undo writes the conversion again, and is itself taken back.
  const std::string undoId = idOnLine(listed.out, 1);
  const CliResult redone = cli({"--undo", undoId, "--report", "-"});
  EXPECT_EQ(redone.status, 0) << redone.err;
  EXPECT_TRUE(redone.err.starts_with("やり直しを開始しました。")) << redone.err;
  EXPECT_NE(redone.out.find("\"mode\":\"redo\""), std::string::npos);
  EXPECT_EQ(contentsOf(snapshot(folder.path())), contentsOf(converted));
  EXPECT_NE(cli({"--runs"}).out.find("\tredo " + undoId + "\tEUC-JP\t2/2\tundoable\t"), std::string::npos);
  ASSERT_EQ(cli({"--undo"}).status, 0);
  EXPECT_EQ(TempFolder::read(script), kScript);
}

}  // namespace
}  // namespace sarnavel::testing
