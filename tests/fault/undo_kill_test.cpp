// sarnavel-cli --undo killed (SIGKILL) at random moments, again and again, then run to its end:
// the tree ends as one undo leaves it, the tree before the conversion, byte for byte, with no
// backup or temporary file left that was not there before.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

#include "support/cli_process.h"
#include "support/folder_state.h"
#include "support/site_documents.h"
#include "support/temp_folder.h"

namespace sarnavel::testing {
namespace {

namespace fs = std::filesystem;

// A site of pages, sheets and scripts in Shift_JIS, some of them with backups already.
void writeSite(const TempFolder& tree) {
  for (int k = 0; k < 40; ++k) {
    const FileKind kind = k % 3 == 0 ? FileKind::Html : k % 3 == 1 ? FileKind::Css : FileKind::JavaScript;
    const std::string name = "site/d" + std::to_string(k % 4) + "/f" + std::to_string(k) +
                             (kind == FileKind::Html  ? ".html"
                              : kind == FileKind::Css ? ".css"
                                                      : ".js");
    tree.put(name, sjisDocument(kind, 2000 + 97 * k, k));
    if (k % 5 == 0) tree.put(name + ".bak", "an older backup " + std::to_string(k));
  }
}

TEST(UndoKill, AnUndoKilledAtRandomMomentsThenRunAgainEndsAsOneUndo) {
  std::mt19937 random(39);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TempFolder tree, state;
    writeSite(tree);
    const FolderState before = snapshot(tree.path());
    const std::string home = state.path().native();
    const auto inChild = [home] { ::setenv("XDG_STATE_HOME", home.c_str(), 1); };
    // The undo does about the conversion's work: its kills are spread over the first half of the conversion's time.
    const auto converting = std::chrono::steady_clock::now();
    ASSERT_EQ(runCli({"-q", "-t", "utf-8", "site"}, tree.path(), inChild).status, 0);
    const auto span =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - converting);
    // Killed after a random wait, until an undo runs to its end (each one started again
    // finishes what the one before left). The waits grow longer every 20 kills, so that an undo
    // slowed down by the machine also gets to its end.
    int killed = 0;
    for (;;) {
      CliProcess undo({"--undo", "-q"}, tree.path(), inChild);
      const auto longest = std::max<std::int64_t>(span.count() / 2, 1000) << std::min(killed / 20, 6);
      std::this_thread::sleep_for(std::chrono::microseconds(random() % longest));
      undo.signal(SIGKILL);
      const CliResult result = undo.finish();
      // Killed after its end was recorded, the undo was whole: there is nothing left to take back.
      const bool whole = result.status == 0 ||
                         (result.status == 1 && result.err.starts_with("sarnavel-cli: no remembered run to take back"));
      if (result.status != 128 + SIGKILL) {
        ASSERT_TRUE(whole) << result.status << result.out << result.err;
        break;
      }
      ASSERT_LT(++killed, 200);
    }
    std::printf("round %d: killed %d times\n", round, killed);
    const FolderState after = snapshot(tree.path());
    ASSERT_EQ(after.size(), before.size()) << "killed " << killed << " times";
    for (const auto& [name, entry] : before) {
      ASSERT_TRUE(after.count(name)) << name << " is gone";
      EXPECT_TRUE(after.at(name).content == entry.content) << name << " does not hold its former bytes";
      EXPECT_EQ(after.at(name).mode, entry.mode) << name;
    }
  }
}

}  // namespace
}  // namespace sarnavel::testing
