// Converting a site in parts, or again after a stop, gives what one run over the whole site
// gives: the properties of whole runs over generated sites (support/generated_site.h), with
// the user's memory of what runs wrote and without it (a user who converts on one machine and
// goes on on another). A file may come out otherwise only when a run said that its bytes did
// not settle its encoding (encoding-uncertain): without the memory, a run over a part may lack
// the page that tips a close call, or meet a page that already names the new encoding. No
// other file may differ, and the files that do are counted.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "report/file_notes.h"
#include "run/conversion_run.h"
#include "run/intake.h"
#include "support/bytes.h"
#include "support/folder_state.h"
#include "support/generated_site.h"
#include "support/site_documents.h"
#include "support/targets.h"
#include "support/temp_folder.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

struct Runs {
  std::set<std::string> uncertain;  // files a run found uncertain, relative to their tree
  int compared = 0, differing = 0, silent = 0, uncertainSeen = 0;
};

// Runs sarnavel over `named` (below `tree`) as the command line does, keeping its memory in
// `memory`, and notes in `runs` what it found uncertain (when given); with `stopAfter`, the run
// is cancelled once that many files are logged.
void convert(const fs::path& tree, const std::vector<std::string>& named, int target, const fs::path& memory,
             Runs* runs, int stopAfter = -1) {
  std::vector<fs::path> paths;
  for (const std::string& path : named) paths.push_back(tree / path);
  IntakeReport intake;
  offerPaths(paths, intake);
  RunRequest request{testing::optionsFor(target), std::move(intake.files)};
  request.followedLinks = std::move(intake.followedLinks);
  request.listedFolders = std::move(intake.folders);
  request.namedPaths = paths;
  request.memoryFolder = memory;
  request.threads = 1;
  std::atomic<bool> cancel{false};
  int logged = 0;
  RunObserver observer;
  observer.fileDone = [&](const FileOutcome& file) {
    for (const NoteLine& note : warningsOf(file, {request.mode, request.options.targetEncoding, {}}))
      if (note.code == "encoding-uncertain" && runs) runs->uncertain.insert(fs::relative(file.path, tree).native());
    if (++logged == stopAfter) cancel = true;
  };
  conversionWorker(request, observer, cancel);
}

// Every file (and backup) of the two trees holds the same bytes, but those a run found
// uncertain, which may differ.
void expectSameTrees(const fs::path& parts, const fs::path& whole, Runs& runs) {
  const testing::FolderState a = testing::snapshot(parts), b = testing::snapshot(whole);
  std::set<std::string> names;
  for (const auto& [name, entry] : a) names.insert(name);
  for (const auto& [name, entry] : b) names.insert(name);
  for (const std::string& name : names) {
    ++runs.compared;
    const bool inBoth = a.count(name) && b.count(name);
    if (inBoth && a.at(name).content == b.at(name).content) continue;
    const std::string file = name.ends_with(".bak") ? name.substr(0, name.find(".bak")) : name;
    runs.differing += file == name;
    runs.silent += file == name && !runs.uncertain.count(file);
    EXPECT_TRUE(runs.uncertain.count(file))
        << name << (inBoth ? " differs" : " is in one tree only") << " and no run said it was uncertain: "
        << (inBoth ? testing::sameBytes(a.at(name).content, b.at(name).content).message() : "");
  }
}

// The cases: each source encoding into each target, kSeeds sites each, with the memory kept
// between the runs and without.
constexpr unsigned kSeeds = 24;
template <class Property>
void forEverySite(Property property) {
  Runs kept, lost;
  for (const testing::SiteEncoding& encoding : testing::kSiteEncodings) {
    for (int target : {0, 1, 3}) {
      for (unsigned seed = 1; seed <= kSeeds; ++seed) {
        for (bool memoryKept : {true, false}) {
          SCOPED_TRACE(std::string(encoding.charset) + " into target " + std::to_string(target) + ", seed " +
                       std::to_string(seed) + (memoryKept ? ", memory kept" : ", memory lost"));
          Runs runs;
          property(testing::SiteGenerator(seed, encoding), target, memoryKept, runs);
          Runs& total = memoryKept ? kept : lost;
          total.compared += runs.compared, total.differing += runs.differing, total.silent += runs.silent;
          total.uncertainSeen += static_cast<int>(runs.uncertain.size());
        }
      }
    }
  }
  for (const Runs* total : {&kept, &lost})
    std::printf("memory %s: %d files compared, %d said uncertain, %d differing, %d of them silently\n",
                total == &kept ? "kept" : "lost", total->compared, total->uncertainSeen, total->differing,
                total->silent);
}

TEST(SiteProperties, AFolderThenTheSiteGivesWhatOneRunGives) {
  forEverySite([](testing::SiteGenerator generator, int target, bool memoryKept, Runs& runs) {
    TempFolder parts(testing::quickFolders()), whole(testing::quickFolders()), memories(testing::quickFolders());
    generator.writeShared(parts, "site");
    generator.writePages(parts, "site", 3, "");
    fs::copy(parts.path(), whole.path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    Runs* lost = memoryKept ? nullptr : &runs;
    convert(parts.path(), {"site/js"}, target, memories / "first", &runs);
    convert(parts.path(), {"site"}, target, memories / (memoryKept ? "first" : "second"), lost);
    convert(whole.path(), {"site"}, target, memories / "whole", lost);
    expectSameTrees(parts.path(), whole.path(), runs);
  });
}

TEST(SiteProperties, TwoSitesSharingAFolderOneAfterTheOtherGiveWhatOneRunGives) {
  forEverySite([](testing::SiteGenerator generator, int target, bool memoryKept, Runs& runs) {
    TempFolder parts(testing::quickFolders()), whole(testing::quickFolders()), memories(testing::quickFolders());
    generator.writeShared(parts, "shared");
    generator.writePages(parts, "a", 2, "../shared/");
    generator.writePages(parts, "b", 2, "../shared/");
    fs::copy(parts.path(), whole.path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    Runs* lost = memoryKept ? nullptr : &runs;
    convert(parts.path(), {"a"}, target, memories / "first", lost);
    convert(parts.path(), {"b"}, target, memories / (memoryKept ? "first" : "second"), lost);
    convert(whole.path(), {"a", "b"}, target, memories / "whole", lost);
    expectSameTrees(parts.path(), whole.path(), runs);
  });
}

TEST(SiteProperties, AStoppedRunStartedAgainGivesWhatOneRunGives) {
  forEverySite([](testing::SiteGenerator generator, int target, bool memoryKept, Runs& runs) {
    TempFolder whole(testing::quickFolders()), memories(testing::quickFolders());
    generator.writeShared(whole, "site");
    generator.writePages(whole, "site", 3, "");
    TempFolder pristine(testing::quickFolders());
    fs::copy(whole.path(), pristine.path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    Runs* lost = memoryKept ? nullptr : &runs;
    convert(whole.path(), {"site"}, target, memories / "whole", lost);
    const int files = static_cast<int>(testing::snapshot(pristine.path() / "site").size()) - 2;  // but the folders
    for (int stop = 1; stop < files; ++stop) {
      SCOPED_TRACE("stopped after " + std::to_string(stop) + " files");
      TempFolder parts(testing::quickFolders());
      fs::copy(pristine.path(), parts.path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
      const fs::path memory = memories / ("stopped" + std::to_string(stop));
      convert(parts.path(), {"site"}, target, memory, lost, stop);
      convert(parts.path(), {"site"}, target, memoryKept ? memory : memories / ("again" + std::to_string(stop)), lost);
      expectSameTrees(parts.path(), whole.path(), runs);
    }
  });
}

}  // namespace
}  // namespace sarnavel
