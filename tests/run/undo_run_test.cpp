// Taking runs back, as whole behaviours over generated sites (support/generated_site.h): a
// conversion then its undo gives the tree back; files edited between keep their edits and are
// named; two runs go back last first; an undo cut short between the steps of a file is
// finished by the next. And restoring named files from their own backups.
#include "run/undo_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "report/file_notes.h"
#include "run/intake.h"
#include "store/content_hash.h"
#include "store/run_memory.h"
#include "support/folder_state.h"
#include "support/generated_site.h"
#include "support/site_documents.h"
#include "support/temp_folder.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// What a run told of each file: its result and the codes of its notes.
struct Told {
  RunSummary summary;
  std::map<std::string, std::vector<std::string>> notes;  // by path relative to the tree
  std::map<std::string, ResultCode> results;
};

RunObserver telling(const fs::path& tree, Told& told, int stopAfter = -1, std::atomic<bool>* cancel = nullptr) {
  RunObserver observer;
  observer.fileDone = [&told, tree, stopAfter, cancel](const FileOutcome& file) {
    const std::string name = fs::relative(file.path, tree).native();
    told.results[name] = file.result;
    for (const FileNote& note : file.notes) told.notes[name].push_back(noteLine(note, {}).code);
    if (cancel && static_cast<int>(told.results.size()) == stopAfter) *cancel = true;
  };
  return observer;
}

void convert(const fs::path& tree, const ConversionOptions& options, const fs::path& memory) {
  IntakeReport intake;
  offerPaths({tree}, intake);
  RunRequest request{options, std::move(intake.files)};
  request.followedLinks = std::move(intake.followedLinks);
  request.listedFolders = std::move(intake.folders);
  request.namedPaths = {tree};
  request.memoryFolder = memory;
  request.threads = 2;
  std::atomic<bool> cancel{false};
  ASSERT_TRUE(conversionWorker(request, {}, cancel).started);
}

UndoSummary undo(const fs::path& tree, const fs::path& memory, Told& told, const UndoRequest& asked = {}) {
  UndoRequest request = asked;
  request.memoryFolder = memory;
  std::atomic<bool> cancel{false};
  UndoSummary summary = undoWorker(request, telling(tree, told), cancel);
  told.summary = summary.run;
  return summary;
}

// A site of pages, sheets and scripts in one encoding, some with backups of their own from
// before (whose chain the undo must leave as it was), one mode of its own.
void writeSite(const TempFolder& tree, unsigned seed, const testing::SiteEncoding& encoding) {
  testing::SiteGenerator generator(seed, encoding);
  generator.writeShared(tree, "site");
  generator.writePages(tree, "site", 3, "");
  tree.put("site/p0.html.bak", "an older backup");
  if (seed % 2) tree.put("site/p0.html.bak.bak", "older still");
  ::chmod((tree / "site/p1.html").c_str(), 0604);
}

// Every source encoding into every target, each line ending, a few sites each.
template <class Property>
void forEverySite(Property property) {
  for (const testing::SiteEncoding& encoding : testing::kSiteEncodings)
    for (int target = 0; target < 4; ++target)
      for (unsigned seed = 1; seed <= 3; ++seed) {
        ConversionOptions options = testing::optionsFor(target);
        options.lineEnding = static_cast<LineEnding>(seed % 4);
        SCOPED_TRACE(std::string(encoding.charset) + " into target " + std::to_string(target) + ", seed " +
                     std::to_string(seed));
        TempFolder tree(testing::quickFolders()), memory(testing::quickFolders());
        writeSite(tree, seed, encoding);
        property(tree, options, memory.path() / "state", seed);
      }
}

// Convert, undo, redo, undo: the tree goes original, converted, original, converted, original.
TEST(UndoRun, ConvertingUndoingAndRedoingGoBetweenTheTwoTrees) {
  forEverySite([](const TempFolder& tree, const ConversionOptions& options, const fs::path& memory, unsigned) {
    const testing::FolderState before = testing::snapshot(tree.path());
    convert(tree.path(), options, memory);
    const testing::FolderState converted = testing::snapshot(tree.path());
    ASSERT_NE(converted, before);
    Told told;
    EXPECT_EQ(undo(tree.path(), memory, told).refusal, UndoRefusal::None);
    EXPECT_EQ(told.summary.failures, 0);
    EXPECT_GT(told.summary.successes, 0);
    testing::expectSameTree(before, tree.path());
    // Taken back whole: nothing more to take back, but the undo itself.
    Told again;
    EXPECT_EQ(undo(tree.path(), memory, again).refusal, UndoRefusal::NoRun);
    Told redone;
    const UndoSummary redo = undo(tree.path(), memory, redone, {{}, rememberedRuns(memory).back().id});
    EXPECT_EQ(redo.refusal, UndoRefusal::None);
    EXPECT_TRUE(redo.redo);
    EXPECT_EQ(redone.summary.failures, 0);
    testing::expectSameTree(converted, tree.path(), false);
    Told last;
    EXPECT_EQ(undo(tree.path(), memory, last).refusal, UndoRefusal::None);
    EXPECT_EQ(last.summary.failures, 0);
    testing::expectSameTree(before, tree.path());
  });
}

// An undo that could not keep what it took out of one file (a folder stands where its bytes
// go): the redo writes the others again and names that one, not passing over it in silence.
TEST(UndoRun, ARedoNamesTheFileWhoseBytesTheUndoCouldNotKeep) {
  TempFolder tree, memory;
  const fs::path state = memory / "state";
  writeSite(tree, 1, testing::kSiteEncodings[0]);
  convert(tree.path(), testing::optionsFor(2), state);
  const std::string page = TempFolder::read(tree / "site/p0.html");
  fs::create_directories(keptContentPath(state, hashOf(page)));
  Told undone, redone;
  EXPECT_EQ(undo(tree.path(), state, undone).refusal, UndoRefusal::None);
  EXPECT_EQ(undone.summary.failures, 0);
  EXPECT_EQ(undo(tree.path(), state, redone, {{}, rememberedRuns(state).back().id}).refusal, UndoRefusal::None);
  EXPECT_EQ(redone.summary.successes, undone.summary.successes - 1);
  EXPECT_EQ(redone.summary.failures, 1);
  EXPECT_EQ(redone.notes["site/p0.html"], std::vector<std::string>{"backup-missing"});
  EXPECT_NE(TempFolder::read(tree / "site/p0.html"), page);
}

// A redo makes its backups in the run's backup folder as the run did: a folder there that has
// become a link since is not followed, so no backup lands where it leads.
TEST(UndoRun, ARedoFollowsNoLinkBelowTheBackupFolder) {
  TempFolder tree, backups, memory;
  const fs::path state = memory / "state", script = tree.put("site/sub/a.js", "var s = \"\x93\xfa\";\n");
  ConversionOptions options = testing::optionsFor(2);
  options.backupFolder = backups.path();
  convert(tree.path(), options, state);
  ASSERT_TRUE(fs::exists(backups / "site/sub/a.js.bak"));
  Told undone, redone;
  EXPECT_EQ(undo(tree.path(), state, undone).refusal, UndoRefusal::None);
  fs::remove_all(backups / "site/sub");
  fs::create_directory(tree / "elsewhere");
  fs::create_directory_symlink(tree / "elsewhere", backups / "site/sub");
  EXPECT_EQ(undo(tree.path(), state, redone, {{}, rememberedRuns(state).back().id}).refusal, UndoRefusal::None);
  EXPECT_EQ(redone.summary.failures, 1);
  EXPECT_EQ(TempFolder::read(script), "var s = \"\x93\xfa\";\n");
  EXPECT_TRUE(fs::is_empty(tree / "elsewhere"));
}

TEST(UndoRun, FilesEditedSinceTheRunKeepTheirEditsAndAreNamed) {
  forEverySite([](const TempFolder& tree, const ConversionOptions& options, const fs::path& memory, unsigned seed) {
    const testing::FolderState before = testing::snapshot(tree.path());
    convert(tree.path(), options, memory);
    std::mt19937 random(seed);
    std::map<std::string, std::string> edited;  // relative name: its bytes after the edit
    for (const auto& [name, entry] : before)
      if (entry.type == testing::Entry::File && !name.ends_with(".bak") && random() % 3 == 0)
        edited[name] = TempFolder::read(tree / name) + "/* edited */";
    for (const auto& [name, bytes] : edited) tree.put(name, bytes);
    Told told;
    undo(tree.path(), memory, told);
    int named = 0;
    for (const auto& [name, entry] : before) {
      if (entry.type != testing::Entry::File || !told.results.count(name)) continue;
      if (edited.count(name)) {
        ++named;
        EXPECT_EQ(TempFolder::read(tree / name), edited[name]) << name;
        EXPECT_EQ(told.results[name], ResultCode::WriteFailed) << name;
        EXPECT_EQ(told.notes[name], std::vector<std::string>{"changed-since-run"}) << name;
      } else {
        EXPECT_TRUE(TempFolder::read(tree / name) == entry.content) << name;
        EXPECT_EQ(told.results[name], ResultCode::Success) << name;
      }
    }
    EXPECT_EQ(told.summary.failures, named);
  });
}

TEST(UndoRun, TwoRunsGoBackLastFirst) {
  forEverySite([](const TempFolder& tree, const ConversionOptions& options, const fs::path& memory, unsigned) {
    const testing::FolderState before = testing::snapshot(tree.path());
    convert(tree.path(), options, memory);
    ConversionOptions second = testing::optionsFor((static_cast<int>(options.targetEncoding) + 1) % 4);
    convert(tree.path(), second, memory);
    const std::vector<RememberedRun> runs = rememberedRuns(memory);
    ASSERT_EQ(runs.size(), 2u);
    Told refused;
    const UndoSummary first = undo(tree.path(), memory, refused, {{}, runs[0].id});
    EXPECT_EQ(first.refusal, UndoRefusal::LaterRun);
    EXPECT_EQ(first.later, runs[1].id);
    Told last, then;
    EXPECT_EQ(undo(tree.path(), memory, last).id, runs[1].id);
    EXPECT_EQ(undo(tree.path(), memory, then).id, runs[0].id);
    EXPECT_EQ(last.summary.failures + then.summary.failures, 0);
    testing::expectSameTree(before, tree.path());
  });
}

TEST(UndoRun, AForcedUndoOfAnEarlierRunLeavesTheFilesALaterRunWroteAgain) {
  TempFolder tree, memory;
  tree.put("a.js", "var s = \"\x93\xfa\";\n");
  tree.put("b.js", "var t = \"\x96\x7b\";\n");
  convert(tree.path(), testing::optionsFor(3), memory.path());
  const std::string written = TempFolder::read(tree / "a.js");
  tree.put("a.js", written + "// \xe6\x97\xa5\n");
  convert(tree / "a.js", testing::optionsFor(1), memory.path());
  const std::string first = rememberedRuns(memory.path()).front().id;
  Told told;
  EXPECT_EQ(undo(tree.path(), memory.path(), told, {{}, first, first}).refusal, UndoRefusal::None);
  EXPECT_EQ(told.results["a.js"], ResultCode::WriteFailed);
  EXPECT_EQ(told.notes["a.js"], std::vector<std::string>{"written-later"});
  EXPECT_EQ(told.results["b.js"], ResultCode::Success);
  EXPECT_EQ(TempFolder::read(tree / "b.js"), "var t = \"\x96\x7b\";\n");
}

// The states a kill leaves between the steps of one file, made by hand: the file put back
// before the record; the record made, the backup not yet gone; the backup gone, the older
// generation not yet moved back.
TEST(UndoRun, AnUndoKilledBetweenTheStepsOfAFileIsFinished) {
  struct Case {
    const char* name;
    bool recorded, backupGone;  // the file is put back in each
  };
  const Case cases[] = {
      {"put back, nothing recorded", false, false},
      {"recorded, backup there", true, false},
      {"backup gone, older generation not moved", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder tree, memory;
    tree.put("a.js", "var s = \"\x93\xfa\";\n");
    tree.put("a.js.bak", "the former backup");
    convert(tree.path(), testing::optionsFor(3), memory.path());
    const RememberedRun run = rememberedRuns(memory.path()).front();
    const fs::path file = tree / "a.js", backup = tree / "a.js.bak";
    struct stat kept;
    ASSERT_EQ(::stat(backup.c_str(), &kept), 0);
    tree.put("a.js", TempFolder::read(backup));
    if (c.recorded) {
      RunMemory record;
      record.open(memory.path());
      RunFacts facts;
      facts.undoes = run.id;
      ASSERT_TRUE(record.startRecording(facts));
      ASSERT_TRUE(record.recordPutBack({file.native(), backup.native(), kept.st_dev, kept.st_ino}));
    }
    if (c.backupGone) fs::remove(backup);
    Told told;
    EXPECT_EQ(undo(tree.path(), memory.path(), told, {{}, run.id}).refusal, UndoRefusal::None);
    EXPECT_EQ(told.results["a.js"], ResultCode::Success);
    EXPECT_EQ(TempFolder::read(file), "var s = \"\x93\xfa\";\n");
    EXPECT_EQ(TempFolder::read(backup), "the former backup");
    EXPECT_FALSE(fs::exists(tree / "a.js.bak.bak"));
  }
}

TEST(UndoRun, RunsThatCannotBeTakenBackAreRefusedWithTheReason) {
  TempFolder tree, memory;
  tree.put("a.js", "var s = \"\x93\xfa\";\n");
  convert(tree.path(), testing::optionsFor(3, false), memory.path());
  Told told;
  EXPECT_EQ(undo(tree.path(), memory.path(), told).refusal, UndoRefusal::NoBackups);
  EXPECT_EQ(undo(tree.path(), memory.path(), told, {{}, "1999"}).refusal, UndoRefusal::UnknownRun);
  EXPECT_EQ(undo(tree.path(), (memory / "none"), told).refusal, UndoRefusal::NoRun);
  convert(tree.path(), testing::optionsFor(1), memory.path());
  EXPECT_EQ(undo(tree.path(), memory.path(), told).refusal, UndoRefusal::None);
  RunMemory going;  // a run still going on holds its record
  going.open(memory.path());
  RunMemory keptNothing;  // an undo that kept none of what it took out
  keptNothing.open(memory.path());
  RunFacts undoFacts;
  undoFacts.undoes = rememberedRuns(memory.path()).back().id;
  ASSERT_TRUE(keptNothing.startRecording(undoFacts));
  ASSERT_TRUE(keptNothing.recordPutBack({(tree / "a.js").native(), (tree / "a.js.bak").native(), 1, 1}));
  ASSERT_TRUE(keptNothing.recordEnd());
  EXPECT_EQ(undo(tree.path(), memory.path(), told, {{}, keptNothing.runId()}).refusal, UndoRefusal::IsUndo);
  ASSERT_TRUE(going.startRecording({}));
  EXPECT_EQ(undo(tree.path(), memory.path(), told, {{}, going.runId()}).refusal, UndoRefusal::StillRunning);
  EXPECT_EQ(told.summary.started, false);
}

TEST(RestoreRun, PutsEachFileBackFromItsOwnBackupOneGenerationAtATime) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> before, after;  // name: bytes ("/" for a folder)
    ResultCode result;
    const char* note;
  };
  const Case cases[] = {
      {"one generation", {{"a.js", "new"}, {"a.js.bak", "old"}}, {{"a.js", "old"}}, ResultCode::Success, nullptr},
      {"the chain moves back",
       {{"a.js", "new"}, {"a.js.bak", "old"}, {"a.js.bak.bak", "older"}},
       {{"a.js", "old"}, {"a.js.bak", "older"}},
       ResultCode::Success,
       nullptr},
      {"no backup", {{"a.js", "new"}}, {{"a.js", "new"}}, ResultCode::WriteFailed, "backup-missing"},
      {"a folder as the backup",
       {{"a.js", "new"}, {"a.js.bak", "/"}},
       {{"a.js", "new"}, {"a.js.bak", "/"}},
       ResultCode::WriteFailed,
       "backup-missing"},
      {"already as its backup",
       {{"a.js", "same"}, {"a.js.bak", "same"}},
       {{"a.js", "same"}, {"a.js.bak", "same"}},
       ResultCode::Success,
       "already-back"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder tree, memory;
    for (const auto& [name, bytes] : c.before)
      bytes == "/" ? (void)fs::create_directory(tree / name) : (void)tree.put(name, bytes);
    Told told;
    std::atomic<bool> cancel{false};
    told.summary = restoreWorker({{tree / "a.js"}, ".bak", memory.path()}, telling(tree.path(), told), cancel);
    EXPECT_EQ(told.results["a.js"], c.result);
    EXPECT_EQ(told.notes["a.js"], c.note ? std::vector<std::string>{c.note} : std::vector<std::string>{});
    std::map<std::string, std::string> after;
    for (const auto& [name, entry] : testing::snapshot(tree.path()))
      after[name] = entry.type == testing::Entry::Folder ? "/" : entry.content;
    EXPECT_EQ(after, c.after);
  }
}

// With a backup folder the backup is looked for in its mirror: the one a remembered run made,
// else the one there of the file's folder cut ever shorter from its start; of several, none.
TEST(RestoreRun, TakesTheBackupFromTheBackupFoldersMirror) {
  struct Case {
    const char* name;
    std::vector<const char*> backups;  // below the backup folder, each holding "old"
    const char* suffix;
    bool converted;      // a remembered conversion of "site" made the backup
    const char* result;  // the file's bytes after
    const char* note = nullptr;
  };
  const Case cases[] = {
      {"the file was named", {"a.js.bak"}, ".bak", false, "old"},
      {"its folder's parent was named", {"css/a.js.bak"}, ".bak", false, "old"},
      {"two mirrors may hold it: none is taken",
       {"a.js.bak", "css/a.js.bak"},
       ".bak",
       false,
       "new",
       "backup-ambiguous"},
      {"another suffix", {"css/a.js~"}, "~", false, "old"},
      {"none there", {"css/a.js"}, ".bak", false, "new", "backup-missing"},
      {"the run's own backup before a guess", {"a.js.bak"}, ".bak", true, "var s = \"\x93\xfa\";\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder tree, backups, memory;
    const fs::path file = tree / "site/css/a.js";
    if (c.converted) {
      tree.put("site/css/a.js", "var s = \"\x93\xfa\";\n");
      ConversionOptions options = testing::optionsFor(3);
      options.backupFolder = backups.path();
      convert(tree / "site", options, memory.path());
    } else {
      tree.put("site/css/a.js", "new");
    }
    for (const char* backup : c.backups) backups.put(backup, "old");
    Told told;
    std::atomic<bool> cancel{false};
    RestoreRequest request{{file}, c.suffix, memory.path()};
    request.backupFolder = backups.path();
    restoreWorker(request, telling(tree.path(), told), cancel);
    EXPECT_EQ(TempFolder::read(file), c.result);
    EXPECT_EQ(told.notes["site/css/a.js"], c.note ? std::vector<std::string>{c.note} : std::vector<std::string>{});
    for (const char* backup : c.backups) EXPECT_EQ(fs::exists(backups / backup), c.converted || c.note) << backup;
  }
}

}  // namespace
}  // namespace sarnavel
