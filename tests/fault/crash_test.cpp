// sarnavel-cli killed with SIGKILL at random moments of a run, many times over. After each
// kill every document holds exactly its old or its new bytes (or, for a file being written in
// place, a recovery copy of its old bytes lies beside it), every backup holds the old bytes,
// and what else is left are temporary files of the tool that no later run takes for a
// document. A later run on the same tree then puts back what was half-written, converts the
// rest and leaves no temporary file.
//
// Twice: the user's own files (replaced by new files), and another user's files converted by
// an ordinary user (written in place: the owner cannot be given away). SARNAVEL_CRASH_SEED=N
// repeats a sequence of delays; the seed is printed.
#include <gtest/gtest.h>
#include <sys/inotify.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "support/cli_process.h"
#include "support/folder_state.h"
#include "support/site_documents.h"
#include "support/temp_folder.h"

namespace sarnavel::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Setting {
  int kills;
  uid_t fileOwner = 0;  // files 0666 in folders 0777 of this user when not 0
  uid_t runAs = 0;
  bool largeFiles = false;  // a few files of megabytes, whose write in place a kill can cut
};

void prepareTree(const fs::path& pristine, const fs::path& tree, const Setting& setting) {
  fs::copy(pristine, tree, fs::copy_options::recursive);
  if (setting.fileOwner == 0) return;
  for (const auto& entry : fs::recursive_directory_iterator(tree)) {
    ASSERT_EQ(lchown(entry.path().c_str(), setting.fileOwner, setting.fileOwner), 0);
    ASSERT_EQ(chmod(entry.path().c_str(), entry.is_directory() ? 0777 : 0666), 0);
  }
  ASSERT_EQ(chmod(tree.c_str(), 0777), 0);
}

bool hasRecoveryCopy(const FolderState& state, const std::string& name) {
  const std::size_t slash = name.rfind('/');
  const std::string prefix = name.substr(0, slash + 1) + "." + name.substr(slash + 1) + ".sarnavel-";
  for (auto it = state.lower_bound(prefix); it != state.end() && it->first.starts_with(prefix); ++it)
    if (it->first.ends_with(".recovery.tmp")) return true;
  return false;
}

// True once an inotify watch has seen a recovery copy named into its folder.
bool recoveryCopyMade(int watch) {
  alignas(inotify_event) char events[8192];
  bool seen = false;
  for (ssize_t n; (n = read(watch, events, sizeof events)) > 0;) {
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      seen |= event->len > 0 && std::string_view(event->name).ends_with(".recovery.tmp");
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return seen;
}

void killAtRandomMoments(const Setting& setting) {
  TempFolder temp;
  ASSERT_EQ(chmod(temp.path().c_str(), 0711), 0);  // the running user must reach the trees
  const auto runAs = setting.runAs ? asUser(setting.runAs) : std::function<void()>{};
  const fs::path pristine = temp / "pristine";
  Documents documents;
  std::mt19937 sizes(7);
  for (int i = 0; i < 60; ++i) {
    const FileKind kind = i % 3 == 0 ? FileKind::Html : i % 3 == 1 ? FileKind::Css : FileKind::JavaScript;
    const bool large = setting.largeFiles && i % 20 == 0;
    const std::string name = (large ? "big" : "d" + std::to_string(i % 4)) + "/f" + std::to_string(i) +
                             (kind == FileKind::Html  ? ".html"
                              : kind == FileKind::Css ? ".css"
                                                      : ".js");
    documents[name].before = sjisDocument(kind, large ? (3 << 20) + sizes() % 4096 : 200 + sizes() % 3000, i);
    temp.put("pristine/" + name, documents[name].before);
  }
  // The converted bytes, from one clean run of the program on a copy.
  prepareTree(pristine, temp / "clean", setting);
  const auto started = Clock::now();
  const CliResult clean = runCli({"-t", "utf-8", (temp / "clean").native()}, {}, runAs);
  long long runLength = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started).count();
  ASSERT_EQ(clean.status, 0) << clean.out << clean.err;
  for (auto& [name, document] : documents) document.after = TempFolder::read(temp / "clean" / name);

  unsigned seed = std::random_device{}();
  if (const char* given = std::getenv("SARNAVEL_CRASH_SEED"))
    seed = static_cast<unsigned>(std::strtoul(given, nullptr, 10));
  std::printf("crash test: seed %u, a clean run takes %lld ms\n", seed, runLength / 1000);
  std::mt19937 random(seed);
  int killedBeforeEnd = 0;
  for (int kill = 0; kill < setting.kills; ++kill) {
    SCOPED_TRACE("kill " + std::to_string(kill) + " (seed " + std::to_string(seed) + ")");
    const fs::path tree = temp / ("run" + std::to_string(kill));
    prepareTree(pristine, tree, setting);
    // Anywhere from the start to a little past the end of a run; with large files every other
    // kill lands just after one of them has its recovery copy, in the middle of its write.
    const auto delay = std::chrono::microseconds(
        std::uniform_int_distribution<long long>(0, std::max<long long>(runLength * 12 / 10, 1'000))(random));
    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    const bool watching =
        setting.largeFiles && kill % 2 == 1 && inotify_add_watch(watch, (tree / "big").c_str(), IN_MOVED_TO) >= 0;
    const auto launched = Clock::now();
    CliProcess process({"-t", "utf-8", tree.native()}, {}, runAs);
    CliResult killed;
    if (watching) {
      pollfd fd{watch, POLLIN, 0};
      while (poll(&fd, 1, 10'000) > 0 && !recoveryCopyMade(watch)) {
      }
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 1500));
      process.signal(SIGKILL);
      killed = process.finish();
    } else {
      killed = process.finish(delay);
    }
    close(watch);
    if (killed.status == 128 + SIGKILL) {
      ++killedBeforeEnd;
    } else {  // the run ended first: runs are this quick now
      runLength = std::min<long long>(
          runLength, std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - launched).count());
    }

    const FolderState after = snapshot(tree);
    for (const auto& [name, document] : documents) {
      SCOPED_TRACE(name);
      ASSERT_TRUE(after.count(name)) << "a document is gone";
      const std::string& bytes = after.at(name).content;
      const bool isNew = bytes == document.after, isOld = bytes == document.before;
      ASSERT_TRUE(isNew || isOld || hasRecoveryCopy(after, name)) << "half-written, and no recovery copy beside it";
      if (after.count(name + ".bak")) {
        EXPECT_TRUE(after.at(name + ".bak").content == document.before) << "a backup does not hold the old bytes";
      } else {
        EXPECT_FALSE(isNew) << "converted without its backup";
      }
    }
    for (const auto& [name, entry] : after) {
      if (documents.count(name) || (name.ends_with(".bak") && documents.count(name.substr(0, name.size() - 4))))
        continue;
      if (entry.type == Entry::Folder) continue;
      EXPECT_TRUE(isToolTemporary(name)) << "an unknown file is left: " << shown(name);
      EXPECT_FALSE(isAcceptedKind(classifyExtension(name)))
          << "a left file would be taken for a document: " << shown(name);
    }

    // A later run puts back what was half-written, converts the rest, tidies everything away.
    const CliResult later = runCli({"-t", "utf-8", "--no-backup", tree.native()}, {}, runAs);
    EXPECT_EQ(later.status, 0) << later.out;
    EXPECT_NE(later.out.find(finished(static_cast<int>(documents.size()), 0)), std::string::npos) << later.out;
    for (const auto& [name, entry] : snapshot(tree)) {
      EXPECT_FALSE(isToolTemporary(name)) << "left after the later run: " << shown(name);
      if (documents.count(name)) {
        EXPECT_TRUE(entry.content == documents.at(name).after) << name << " not completed";
      }
      if (documents.count(name) && setting.fileOwner) {
        struct stat info {};
        stat((tree / name).c_str(), &info);
        EXPECT_EQ(info.st_uid, setting.fileOwner) << name << " changed hands";
      }
    }
    fs::remove_all(tree);
  }
  EXPECT_GE(killedBeforeEnd, setting.kills / 3) << "too few kills landed during the run";
}

TEST(Crash, KilledAtRandomMomentsEveryFileIsOldOrNew) { killAtRandomMoments({.kills = 12}); }

TEST(Crash, KilledWhileWritingOtherUsersFilesInPlaceEveryFileIsOldOrNew) {
  killAtRandomMoments({.kills = 6, .fileOwner = 65534, .runAs = 4242, .largeFiles = true});
}

}  // namespace
}  // namespace sarnavel::testing
