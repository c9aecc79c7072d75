// The .htaccess lines a run rewrites at its end: only a line that governs nothing left in the
// old encoding, each .htaccess replaced once, with the backups the options ask for.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "run/conversion_run.h"
#include "support/site_documents.h"
#include "support/temp_folder.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

const std::string kPage = "<html><head><title>\x93\xFA\x96\x7B</title></head></html>\n";  // Shift_JIS
const std::string kScript = "x='\x93\xFA';\n";

// What became of the .htaccess: its outcome's notes (code and why), or "-" when it had none.
std::string htaccessNotes(const std::vector<FileOutcome>& outcomes) {
  for (const FileOutcome& outcome : outcomes) {
    if (outcome.path.filename() != ".htaccess") continue;
    std::string said = outcome.result == ResultCode::Success ? "ok" : "failed";
    for (const FileNote& note : outcome.notes) {
      said += note.code == NoteCode::ServerCharsetFixed  ? " fixed"
              : note.code == NoteCode::ServerCharsetKept ? " kept:" + note.values.at(4)
                                                         : " other";
    }
    return said;
  }
  return "-";
}

ConversionOptions backedUp(const std::string& suffix, const fs::path& folder = {}) {
  ConversionOptions options = testing::toUtf8();
  options.backupSuffix = suffix;
  options.backupFolder = folder;
  return options;
}

ConversionOptions shiftJisNamed() {
  ConversionOptions options = testing::toUtf8();
  options.sourceEncoding = SourceEncoding::ShiftJis;
  return options;
}

TEST(ServerCharsetFix, OnlyALineThatGovernsNothingLeftIsRewrittenOnceAtTheEnd) {
  const std::string fixed = "AddDefaultCharset UTF-8\n";
  const struct {
    std::string name;
    std::string expected;         // htaccessNotes
    std::set<std::string> names;  // the .htaccess names in the site (and the backup folder) then
    std::string after = {};       // the .htaccess then; empty: as it was
    std::map<std::string, std::string> files = {{"a.html", kPage}};  // in the site, beside its .htaccess
    std::string htaccess = "AddDefaultCharset Shift_JIS\n";
    bool folderNamed = true;      // else its files, one by one
    bool cancelled = false;       // once the first file is done
    std::string untaken = {};     // a page of a kind not taken, met in the site
    std::string passedOver = {};  // below the tree: what a walk did not enter
    ConversionOptions options = testing::toUtf8();
  } cases[] = {
      {.name = "folder", .expected = "ok fixed", .names = {".htaccess", ".htaccess.bak"}, .after = fixed},
      // Two lines, one replacement: the former backup is pushed once.
      {.name = "two lines",
       .expected = "ok fixed fixed",
       .names = {".htaccess", ".htaccess.bak", ".htaccess.bak.bak"},
       .after = "AddDefaultCharset UTF-8\nAddCharset UTF-8 .js\n",
       .files = {{"a.html", kPage}, {"a.js", kScript}, {".htaccess.bak", "old"}},
       .htaccess = "AddDefaultCharset Shift_JIS\nAddCharset Shift_JIS .js\n"},
      {.name = "files named", .expected = "failed kept:not-walked", .names = {".htaccess"}, .folderNamed = false},
      {.name = "cancelled", .expected = "failed kept:cancelled", .names = {".htaccess"}, .cancelled = true},
      {.name = "untaken", .expected = "failed kept:untaken-page", .names = {".htaccess"}, .untaken = "b.shtml"},
      // A link to a folder the walk did not follow: the server may send its pages by the line.
      {.name = "passed over",
       .expected = "failed kept:passed-over",
       .names = {".htaccess"},
       .passedOver = "site/deep/archive"},
      {.name = "passed over elsewhere",
       .expected = "ok fixed",
       .names = {".htaccess", ".htaccess.bak"},
       .after = fixed,
       .passedOver = "other/archive"},
      // A page the run could not convert (bytes of no character of the encoding named).
      {.name = "file left",
       .expected = "failed kept:file-left",
       .names = {".htaccess"},
       .files = {{"a.html", kPage}, {"b.html", "<p>\xFF\xFF</p>\n"}},
       .options = shiftJisNamed()},
      {.name = "no backup",
       .expected = "ok fixed",
       .names = {".htaccess"},
       .after = fixed,
       .options = testing::toUtf8(false)},
      {.name = "backup folder and suffix",
       .expected = "ok fixed",
       .names = {".htaccess", "backups/.htaccess.orig"},
       .after = fixed,
       .options = backedUp(".orig", "backups")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder tree;
    const fs::path site = tree / "site";
    RunRequest request;
    request.options = c.options;
    request.options.fixServerCharset = true;
    if (!c.options.backupFolder.empty()) request.options.backupFolder = tree / c.options.backupFolder;
    for (const auto& [name, bytes] : c.files) {
      tree.put("site/" + name, bytes);
      if (!name.starts_with('.')) request.paths.push_back((site / name).native());
    }
    const fs::path htaccess = tree.put("site/.htaccess", c.htaccess);
    request.namedPaths =
        c.folderNamed ? std::vector<fs::path>{site} : std::vector<fs::path>(request.paths.begin(), request.paths.end());
    if (!c.untaken.empty()) request.untakenPages.push_back(tree.put("site/" + c.untaken, kPage).native());
    if (!c.passedOver.empty()) request.passedOver.push_back(tree / c.passedOver);
    std::vector<FileOutcome> outcomes;
    RunObserver observer;
    std::atomic<bool> cancel{false};
    observer.fileDone = [&](const FileOutcome& outcome) {
      outcomes.push_back(outcome);
      if (c.cancelled) cancel = true;  // after the first file
    };
    conversionWorker(request, observer, cancel);
    EXPECT_EQ(htaccessNotes(outcomes), c.expected);
    EXPECT_EQ(TempFolder::read(htaccess), c.after.empty() ? c.htaccess : c.after);
    std::set<std::string> names;
    for (const std::string folder : {"site", "backups"}) {
      if (!fs::exists(tree / folder)) continue;
      for (const std::string& name : TempFolder::namesIn(tree / folder))
        if (name.starts_with(".htaccess")) names.insert(folder == "site" ? name : folder + "/" + name);
    }
    EXPECT_EQ(names, c.names);
  }
}

}  // namespace
}  // namespace sarnavel
