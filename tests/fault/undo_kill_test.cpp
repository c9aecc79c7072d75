// sarnavel-cli --undo killed (SIGKILL) at random moments, again and again, then run to its end:
// the tree ends as one undo leaves it, the tree before the conversion, byte for byte, with no
// backup or temporary file left that was not there before; and a redo so killed ends as one
// redo leaves it, the converted tree.
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
#include <vector>

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

// Runs sarnavel-cli with `arguments`, killed after a random wait (up to half of `span`, the
// waits growing longer every 20 kills so that a slowed run also gets to its end), again and
// again until one runs to its end (each one started again finishes what the one before left);
// how many times it was killed.
int killedUntilWhole(const std::vector<std::string>& arguments, const TempFolder& tree, const std::string& home,
                     std::chrono::microseconds span, std::mt19937& random) {
  const auto inChild = [home] { ::setenv("XDG_STATE_HOME", home.c_str(), 1); };
  int killed = 0;
  for (;;) {
    CliProcess run(arguments, tree.path(), inChild);
    const auto longest = std::max<std::int64_t>(span.count() / 2, 1000) << std::min(killed / 20, 6);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % longest));
    run.signal(SIGKILL);
    const CliResult result = run.finish();
    // Killed after its end was recorded, the undo was whole: there is nothing left to take back.
    const bool whole = result.status == 0 ||
                       (result.status == 1 && result.err.starts_with("sarnavel-cli: no remembered run to take back"));
    if (result.status != 128 + SIGKILL) {
      EXPECT_TRUE(whole) << result.status << result.out << result.err;
      return killed;
    }
    if (++killed >= 200) {
      ADD_FAILURE() << "killed 200 times";
      return killed;
    }
  }
}

// The time a conversion of the site takes: the undo (or redo) does about its work, so its
// kills are spread over it.
std::chrono::microseconds converting(const TempFolder& tree, const std::string& home) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(runCli({"-q", "-t", "utf-8", "site"}, tree.path(), [home] { ::setenv("XDG_STATE_HOME", home.c_str(), 1); })
                .status,
            0);
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
}

TEST(UndoKill, AnUndoKilledAtRandomMomentsThenRunAgainEndsAsOneUndo) {
  std::mt19937 random(39);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TempFolder tree, state;
    writeSite(tree);
    const FolderState before = snapshot(tree.path());
    const std::chrono::microseconds span = converting(tree, state.path().native());
    const int killed = killedUntilWhole({"--undo", "-q"}, tree, state.path().native(), span, random);
    std::printf("round %d: killed %d times\n", round, killed);
    expectSameTree(before, tree.path(), false);
  }
}

TEST(UndoKill, ARedoKilledAtRandomMomentsThenRunAgainEndsAsOneRedo) {
  std::mt19937 random(40);
  TempFolder tree, state;
  writeSite(tree);
  const std::string home = state.path().native();
  const std::chrono::microseconds span = converting(tree, home);
  const FolderState converted = snapshot(tree.path());
  const auto inChild = [home] { ::setenv("XDG_STATE_HOME", home.c_str(), 1); };
  ASSERT_EQ(runCli({"--undo", "-q"}, tree.path(), inChild).status, 0);
  const std::string listing = runCli({"--runs"}, tree.path(), inChild).out;
  const std::size_t undoLine = listing.find('\n') + 1;
  const std::string undo = listing.substr(undoLine, listing.find('\t', undoLine) - undoLine);
  const int killed = killedUntilWhole({"--undo", undo, "-q"}, tree, home, span, random);
  std::printf("killed %d times\n", killed);
  expectSameTree(converted, tree.path(), false);
}

}  // namespace
}  // namespace sarnavel::testing
