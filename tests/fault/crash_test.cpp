// The crash test: sarnavel-cli killed with SIGKILL at random moments of a run over a few
// hundred files, many times over. After each kill every document holds exactly its old bytes
// or exactly the bytes a clean run gives, every backup holds exactly the old bytes, and what
// else is left are temporary files of the tool, none of which a later run takes for a
// document (their names never end in a document's extension). Every few kills a later run is
// made on the same tree: it lists exactly the original documents and completes the work.
//
// SARNAVEL_CRASH_SEED=N repeats a sequence of delays; the seed is printed.
#include <cstdlib>
#include <random>

#include "fault/fault_support.h"

namespace sarnavel::fault {
namespace {

constexpr int kPages = 100, kSheets = 100, kScripts = 100;
constexpr int kKills = 30;

void copyTree(const fs::path& from, const fs::path& to) {
  fs::create_directories(to);
  fs::copy(from, to, fs::copy_options::recursive);
}

TEST(Crash, KilledAtRandomMomentsEveryFileIsOldOrNew) {
  TempFolder temp;
  const fs::path pristine = temp.path() / "pristine";
  Documents documents;
  std::mt19937 sizes(7);
  for (int i = 0; i < kPages + kSheets + kScripts; ++i) {
    const FileKind kind = i < kPages ? FileKind::Html : i < kPages + kSheets ? FileKind::Css : FileKind::JavaScript;
    const char* extension = kind == FileKind::Html ? ".html" : kind == FileKind::Css ? ".css" : ".js";
    const std::string name = "d" + std::to_string(i % 4) + "/f" + std::to_string(i) + extension;
    const std::string bytes = sjisDocument(kind, 200 + sizes() % 3000, i);
    putFile(pristine / name, bytes);
    documents[name].before = bytes;
  }

  // The converted bytes, from one clean run of the program on a copy.
  const fs::path clean = temp.path() / "clean";
  copyTree(pristine, clean);
  CliResult cleanRun = runCli({"-t", "utf-8", clean.native()});
  ASSERT_EQ(cleanRun.exitCode, 0) << cleanRun.out << cleanRun.err;
  for (auto& [name, document] : documents) document.after = readFile(clean / name);
  fs::remove_all(clean);
  const auto runTime = cleanRun.elapsed;

  unsigned seed = std::random_device{}();
  if (const char* given = std::getenv("SARNAVEL_CRASH_SEED")) seed = static_cast<unsigned>(std::strtoul(given, nullptr, 10));
  std::printf("crash test: seed %u, a clean run takes %lld ms\n", seed, static_cast<long long>(runTime.count() / 1000));
  std::mt19937 random(seed);
  // Kill anywhere from the start to a little past the end of a run (and in the first 200 ms at
  // least). The length of a run is the shortest seen so far: the clean run's, then that of any
  // run that ended before its kill, as the machine's load changes.
  long long runLength = runTime.count();
  int killedBeforeEnd = 0, leftTemporaries = 0, halfDone = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    SCOPED_TRACE("kill " + std::to_string(kill) + " (seed " + std::to_string(seed) + ")");
    const fs::path tree = temp.path() / ("run" + std::to_string(kill));
    copyTree(pristine, tree);
    const Snapshot before = snapshot(tree);
    std::uniform_int_distribution<long long> delay(0, std::max<long long>(runLength * 12 / 10, 200'000));
    const auto after_us = std::chrono::microseconds(delay(random));
    CliResult killed = runCli({"-t", "utf-8", tree.native()}, Limits{.killAfter = after_us});
    if (killed.signal == SIGKILL) {
      ++killedBeforeEnd;
    } else {
      runLength = std::min<long long>(runLength, killed.elapsed.count());
    }

    const Snapshot after = snapshot(tree);
    int converted = 0;
    for (const auto& [name, document] : documents) {
      SCOPED_TRACE(name);
      ASSERT_TRUE(after.count(name)) << "a document is gone";
      const std::string& bytes = after.at(name).content;
      const bool isNew = bytes == document.after, isOld = bytes == document.before;
      ASSERT_TRUE(isNew || isOld) << "a document holds neither its old nor its new bytes (" << bytes.size() << " bytes)";
      converted += isNew ? 1 : 0;
      auto backup = after.find(name + ".bak");
      if (backup != after.end()) {
        EXPECT_TRUE(backup->second.content == document.before) << "a backup does not hold the old bytes";
        if (isOld) ++halfDone;  // killed between the backup and the write
      } else {
        EXPECT_FALSE(isNew) << "converted without its backup";
      }
      EXPECT_FALSE(after.count(name + ".bak.bak")) << "a second backup generation in one run";
    }
    for (const auto& [name, entry] : after) {
      if (documents.count(name) || before.count(name)) continue;
      if (name.ends_with(".bak") && documents.count(name.substr(0, name.size() - 4))) continue;
      EXPECT_TRUE(isToolTemporary(name)) << "an unknown file is left: " << shown(name);
      EXPECT_FALSE(isAcceptedKind(classifyExtension(name))) << "a left file would be taken for a document: " << shown(name);
      ++leftTemporaries;
    }

    if (kill % 3 == 0) {
      // A later run on the same tree lists exactly the documents, and completes the work.
      CliResult later = runCli({"-t", "utf-8", "--no-backup", tree.native()});
      EXPECT_EQ(later.exitCode, 0) << later.out;
      EXPECT_NE(later.out.find(summary(static_cast<int>(documents.size()), 0)), std::string::npos) << later.out;
      const Snapshot completed = snapshot(tree);
      for (const auto& [name, document] : documents) {
        if (after.at(name).content == document.before) {
          EXPECT_TRUE(completed.at(name).content == document.after) << name << " was not completed by the later run";
        }
      }
    }
    fs::remove_all(tree);
    std::printf("crash test: kill %2d after %6lld us: %3d of %zu converted%s\n", kill, static_cast<long long>(after_us.count()), converted,
                documents.size(), killed.signal == SIGKILL ? "" : " (the run had ended)");
  }
  std::printf("crash test: %d of %d runs killed before their end, %d temporary files left in all, %d files caught between backup and write\n",
              killedBeforeEnd, kKills, leftTemporaries, halfDone);
  ::testing::Test::RecordProperty("temporaries_left", leftTemporaries);
  EXPECT_GE(killedBeforeEnd, kKills / 3) << "too few kills landed during the run";
}

}  // namespace
}  // namespace sarnavel::fault
