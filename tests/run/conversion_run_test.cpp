// A conversion run on real files: the five passes in order over ordered sets, the counters,
// the log as it grows, following loaded sheets and scripts, and cancellation between files.
#include "run/conversion_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "report/run_messages.h"
#include "report/source_facts.h"
#include "run/kind_set.h"
#include "support/bytes.h"
#include "support/killed_in_place_write.h"
#include "support/site_documents.h"
#include "support/state_home.h"
#include "support/targets.h"
#include "support/temp_folder.h"
#include "support/run_log.h"

namespace sarnavel {
namespace {

std::vector<std::string> texts(const std::vector<std::filesystem::path>& paths) { return {paths.begin(), paths.end()}; }

namespace fs = std::filesystem;
using testing::optionsFor;
using testing::sameBytes;
using testing::TempFolder;
using testing::toUtf8;
using namespace std::string_literals;

const std::string kStart = "変換を開始しました。\r\n---\r\n";
const std::string kCancelled = "\r\n---\r\n変換はキャンセルされました。\r\n";

// A page in Shift_JIS that loads the given sheets and scripts.
std::string page(const std::vector<std::string>& sheets = {}, const std::vector<std::string>& scripts = {}) {
  std::string text = "<html><head><title>\x93\xFA</title>";
  for (const auto& s : sheets) text += "<link rel=\"stylesheet\" href=\"" + s + "\">";
  for (const auto& s : scripts) text += "<script src=\"" + s + "\"></script>";
  return text + "</head><body>\x96\x7B</body></html>\n";
}
const std::string kSheet = "p{}\n";
const std::string kSheetInUtf8 = "@charset \"utf-8\";\np{}\n";
const std::string kScript = "x='\x93\xFA';\n";  // Shift_JIS
const std::string kScriptInUtf8 = "x='\xE6\x97\xA5';\n";

// Everything a run hands its observer.
struct Record {
  std::vector<std::string> entries;
  std::vector<FileOutcome> outcomes;
  std::vector<std::tuple<int, std::size_t, std::size_t>> planned;  // pass, its files, files done before
  std::string log() const {
    std::string all;
    for (const auto& e : entries) all += e;
    return all;
  }
};

struct RunResult {
  RunSummary summary;
  Record record;
};

RunResult convertAll(RunRequest request, const std::function<void(const FileOutcome&)>& onFileDone = {},
                     std::atomic<bool>* cancel = nullptr) {
  RunResult result;
  std::atomic<bool> ownCancel{false};
  std::atomic<bool>& cancelRequested = cancel ? *cancel : ownCancel;
  RunObserver observer;
  observer.fileDone = [&](const FileOutcome& outcome) {
    result.record.outcomes.push_back(outcome);
    if (onFileDone) onFileDone(outcome);
  };
  observer.passPlanned = [&](int pass, std::size_t files) {
    result.record.planned.emplace_back(pass, files, result.record.outcomes.size());
  };
  auto log = [&](std::string_view entry) { result.record.entries.emplace_back(entry); };
  testing::writeLogThrough(observer, {request.mode, request.options.targetEncoding, {}}, log);
  result.summary = conversionWorker(request, observer, cancelRequested);
  if (result.summary.started) log(endMessage(result.summary));
  return result;
}

std::string success(const fs::path& p) { return fileMessage(ResultCode::Success, p.string()); }

// What the log says under a conversion's file.
std::vector<NoteLine> said(const FileOutcome& outcome, TargetEncoding target) {
  return warningsOf(outcome, {WriteMode::Write, target, {}});
}
std::string finished(int successes, int failures) { return summaryMessage(successes, failures); }

// --- The log -----------------------------------------------------------------------------------

// Each line reaches the observer when its file is done: the file is converted on disk by then,
// and the next one has not been touched yet.
TEST(ConversionRun, TheLogGrowsAsEachFileFinishes) {
  TempFolder folder;
  std::vector<fs::path> scripts;
  for (char c = 'a'; c <= 'e'; ++c) scripts.push_back(folder.put(std::string(1, c) + ".js", kScript));
  RunRequest request{toUtf8(), texts(scripts)};
  request.threads = 1;
  std::vector<std::string> problems;
  RunObserver observer;
  std::size_t lines = 0;
  testing::writeLogThrough(observer, {}, [&](std::string_view entry) {
    if (entry.starts_with("成功: ")) {
      if (TempFolder::read(scripts[lines]) != kScriptInUtf8)
        problems.push_back("not yet written: " + scripts[lines].string());
      if (lines + 1 < scripts.size() && TempFolder::read(scripts[lines + 1]) != kScript) {
        problems.push_back("already touched: " + scripts[lines + 1].string());
      }
      ++lines;
    }
  });
  std::atomic<bool> cancel{false};
  conversionWorker(request, observer, cancel);
  EXPECT_EQ(lines, scripts.size());
  EXPECT_EQ(problems, std::vector<std::string>{});
}

// A recovery copy no run of the user's recorded (unpacked from an archive, say) may hold the
// only former content of a torn file: the file is left as it is, its line names the copy, and a
// dry run and a check say so too. (Which copies the user may use is the sweep's to tell.)
TEST(ConversionRun, AFileWithARecoveryCopyTheUserCannotUseIsNotConverted) {
  TempFolder folder, elsewhere;
  const std::string former(3 * 4096, 'o'), written(2 * 4096, 'n');
  const fs::path torn = folder.put("a.js", former);
  ASSERT_TRUE(testing::killedInPlaceWrite(torn, written, elsewhere / "m"));
  std::string copy;
  for (const std::string& name : TempFolder::namesIn(folder.path()))
    if (name != "a.js") copy = (folder / name).native();
  const std::string tornBytes = TempFolder::read(torn);
  for (WriteMode mode : {WriteMode::Write, WriteMode::DryRun, WriteMode::Check}) {
    RunRequest request{toUtf8(), {torn.native()}, mode};
    request.memoryFolder = testing::memoryFolderOf();
    const RunResult run = convertAll(request);
    ASSERT_EQ(run.record.outcomes.size(), 1u);
    const FileOutcome& outcome = run.record.outcomes.front();
    const std::vector<FileNote>& said = mode == WriteMode::Check ? outcome.problems : outcome.notes;
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said.back(), (FileNote{NoteCode::RecoveryPending, StoreProblem::None, {copy}}));
    if (mode != WriteMode::Check) {
      EXPECT_EQ(outcome.result, ResultCode::WriteFailed);
    }
  }
  EXPECT_EQ(TempFolder::read(torn), tornBytes);
  EXPECT_TRUE(fs::exists(copy));
}

// A temporary copy a killed run left in the backup folder (--backup-dir) is swept as one
// beside the files is.
TEST(ConversionRun, AKilledRunsCopyInTheBackupFolderIsSwept) {
  TempFolder tree;
  const fs::path sheet = tree.put("site/css/a.css", kSheet), mirror = tree / "backups/css";
  fs::create_directories(mirror);
  const fs::path memory = testing::memoryFolderOf();
  ASSERT_TRUE(testing::abandonedTemporary(mirror, "a.css.bak"));  // as a backup's copy was being written
  ASSERT_EQ(TempFolder::namesIn(mirror).size(), 1u);
  RunRequest request{toUtf8(), {sheet}};
  request.options.backupFolder = tree / "backups";
  request.namedPaths = {tree / "site"};
  request.memoryFolder = memory;
  EXPECT_EQ(convertAll(request).summary.successes, 1);
  EXPECT_EQ(TempFolder::namesIn(mirror), std::set<std::string>{"a.css.bak"});
}

// A page that could not be written still names its files' former encoding: a file only such
// pages load is left as it is, one that a converted page loads too is converted, and each line
// names the pages that failed. (As an ordinary user, whose page of root's may not be written.)
TEST(ConversionRun, AFileOnlyFailedPagesLoadIsLeftAsItIs) {
  TempFolder folder;
  ASSERT_EQ(chmod(folder.path().c_str(), 0777), 0);
  const fs::path failing = folder.put("p1.html", page({}, {"a.js", "b.js"}));
  const fs::path converted = folder.put("p2.html", page({}, {"b.js"}));
  const fs::path a = folder.put("a.js", kScript), b = folder.put("b.js", kScript);
  constexpr uid_t kUser = 4242;
  for (const fs::path& file : {converted, a, b}) ASSERT_EQ(chown(file.c_str(), kUser, kUser), 0);
  const fs::path memory = testing::memoryFolderOf(kUser), log = folder / "log.txt";
  ASSERT_TRUE(testing::inChild([&] {
    if (setresgid(kUser, kUser, kUser) != 0 || setresuid(kUser, kUser, kUser) != 0) return false;
    RunRequest request{toUtf8(), {failing.native(), converted.native()}};
    request.memoryFolder = memory;
    std::ofstream(log) << convertAll(request).record.log();
    return true;
  }));
  const std::string said = TempFolder::read(log);
  EXPECT_EQ(TempFolder::read(a), kScript);
  EXPECT_EQ(TempFolder::read(b), kScriptInUtf8);
  EXPECT_NE(said.find(fileMessage(ResultCode::WriteFailed, a.native()) +
                      "  読み込むページがどれも変換できなかったため、変換しません（変換すると、ページが名前を挙げる"
                      "文字コードと合わなくなります）: " +
                      failing.native()),
            std::string::npos)
      << said;
  EXPECT_NE(
      said.find(success(b) + "  変換できなかったページは元の文字コードのままで、このファイルと合わなくなりました: " +
                failing.native()),
      std::string::npos)
      << said;
}

// --- Passes and sets -------------------------------------------------------------------------

TEST(ConversionRun, FivePassesInOrderEachAscendingByPathBytes) {
  for (int threads : {1, 4}) {
    TempFolder folder;
    const fs::path t = folder.path();
    fs::path pageB = folder.put("b.html", page({"r/x.css"}, {"r/y.js"}));
    fs::path pageA = folder.put("a.html", page({"r/w.css"}));
    fs::path sheetAccent = folder.put("s/\xC3\xA9.css", kSheet);  // é: bytes above every ASCII letter
    fs::path sheetZ = folder.put("s/z.css", kSheet);
    fs::path sheetUpper = folder.put("s/B.css", kSheet);  // upper case before lower case
    fs::path scriptB = folder.put("j/b.js", kScript);
    fs::path scriptA = folder.put("j/a.js", kScript);
    folder.put("r/x.css", kSheet);
    folder.put("r/w.css", kSheet);
    folder.put("r/y.js", kScript);
    fs::path notes = folder.put("notes.txt", "note");
    fs::path image = folder.put("i.png", "png");
    RunRequest request{toUtf8(),
                       {scriptB, sheetAccent, pageB, notes, sheetZ, pageA, image, scriptA, sheetUpper, pageA}};
    request.threads = threads;
    RunResult r = convertAll(request);
    const std::vector<std::pair<std::string, int>> expected = {
        {(t / "a.html").string(), 1},  {(t / "b.html").string(), 1},  {(t / "s/B.css").string(), 2},
        {(t / "s/z.css").string(), 2}, {sheetAccent.string(), 2},     {(t / "j/a.js").string(), 3},
        {(t / "j/b.js").string(), 3},  {(t / "r/w.css").string(), 4}, {(t / "r/x.css").string(), 4},
        {(t / "r/y.js").string(), 5},
    };
    std::vector<std::pair<std::string, int>> actual;
    for (const auto& o : r.record.outcomes) actual.emplace_back(o.path.string(), o.pass);
    EXPECT_EQ(actual, expected) << threads << " threads";
    // Each pass says how many files it will log before its first (a page listed twice is one).
    EXPECT_EQ(r.record.planned, (std::vector<std::tuple<int, std::size_t, std::size_t>>{
                                    {1, 2, 0}, {2, 3, 0}, {3, 2, 0}, {4, 2, 7}, {5, 1, 9}}))
        << threads << " threads";
    EXPECT_EQ(TempFolder::read(notes), "note");
    EXPECT_FALSE(fs::exists(notes.string() + ".bak"));
    EXPECT_FALSE(fs::exists(pageA.string() + ".bak.bak")) << "a page listed twice is converted once";
  }
}

// A sheet loaded three times by a page and by a second page is converted once in the loaded
// sheets' pass; listed too, it is converted twice, and the second conversion gives back what the
// first wrote: neither backed up nor written again, so its one backup holds the original. A
// script listed and loaded is told against its page as it was, then (as this run wrote it)
// against the page as this run wrote it, so neither finds the two at odds.
TEST(ConversionRun, AFileListedAndLoadedIsWrittenOnceAndToldAgainstItsPageAsWritten) {
  TempFolder folder;
  const fs::path one = folder.put("one.html", page({"a.css", "a.css", "./a.css"}, {"a.js"}));
  const fs::path two = folder.put("sub/two.html", page({"../a.css"}));
  const fs::path sheet = folder.put("a.css", kSheet), script = folder.put("a.js", kScript);
  const RunResult r = convertAll({toUtf8(), {sheet, script, one, two}});
  EXPECT_EQ(r.record.log(), kStart + success(one) + success(two) + success(sheet) + success(script) + success(sheet) +
                                success(script) + finished(6, 0));
  EXPECT_EQ(TempFolder::read(sheet.string() + ".bak"), kSheet);
  EXPECT_FALSE(fs::exists(sheet.string() + ".bak.bak"));
  EXPECT_EQ(TempFolder::read(sheet), kSheetInUtf8);
  const LoadEvidence before{"", SourceEncoding::ShiftJis}, written{"UTF-8", SourceEncoding::Utf8};
  const FileOutcome &listed = r.record.outcomes.at(3), &loaded = r.record.outcomes.at(5);
  EXPECT_EQ(std::tuple(listed.loader.charset, listed.loader.page), std::tuple(before.charset, before.page));
  EXPECT_EQ(std::tuple(loaded.loader.charset, loaded.loader.page), std::tuple(written.charset, written.page));
  for (const FileOutcome* each : {&listed, &loaded}) EXPECT_EQ(sourceFactsOf(*each).problems, std::vector<NoteLine>{});
}

// The second visit spares the work only for the file as the first left it: one another
// program rewrote meanwhile is read and converted again.
TEST(ConversionRun, ASheetRewrittenBetweenItsTwoVisitsIsConvertedAgain) {
  TempFolder folder;
  fs::path p = folder.put("index.html", page({"a.css"}));
  fs::path sheet = folder.put("a.css", kSheet);
  RunResult r = convertAll({toUtf8(), {sheet, p}}, [&](const FileOutcome& done) {
    if (done.pass == 2) std::ofstream(sheet, std::ios::binary | std::ios::trunc) << "q{}\n";
  });
  EXPECT_EQ(r.summary.successes, 3);
  EXPECT_EQ(TempFolder::read(sheet), "@charset \"utf-8\";\nq{}\n");
}

TEST(ConversionRun, FollowSwitches) {
  const struct { bool followCss, followJs; } cases[] = {{true, true}, {false, true}, {true, false}};
  for (const auto& c : cases) {
    TempFolder folder;
    fs::path p = folder.put("index.html", page({"a.css"}, {"b.js"}));
    fs::path sheet = folder.put("a.css", kSheet);
    fs::path script = folder.put("b.js", kScript);
    ConversionOptions options = toUtf8();
    options.followCss = c.followCss;
    options.followJs = c.followJs;
    convertAll({options, {p}});
    EXPECT_EQ(TempFolder::read(sheet), c.followCss ? kSheetInUtf8 : kSheet) << c.followCss << c.followJs;
    EXPECT_EQ(TempFolder::read(script), c.followJs ? kScriptInUtf8 : kScript) << c.followCss << c.followJs;
    // the page names the target on its links whether or not they are followed
    EXPECT_NE(TempFolder::read(p).find("<link rel=\"stylesheet\" href=\"a.css\" charset=\"UTF-8\">"),
              std::string::npos);
    EXPECT_NE(TempFolder::read(p).find("<script src=\"b.js\" charset=\"UTF-8\">"), std::string::npos);
  }
}

// An XHTML page loads a sheet by its prolog's instruction: the sheet is converted with it.
TEST(ConversionRun, AnXhtmlPagesStyleSheetInstructionBringsItsSheet) {
  TempFolder folder;
  const fs::path xhtml = folder.put("a.xhtml", "<?xml-stylesheet href=\"a.css\" type=\"text/css\"?>\n<html/>\n");
  const fs::path sheet = folder.put("a.css", kSheet);
  ConversionOptions options = toUtf8();
  options.kinds = parseKindList("+xhtml").kinds;
  const RunResult r = convertAll({options, {xhtml}});
  EXPECT_EQ(r.summary.successes, 2);
  EXPECT_EQ(TempFolder::read(sheet), kSheetInUtf8);  // the instruction's charset is ConvertHtml's
}

// --- Failures ------------------------------------------------------------------------------

TEST(ConversionRun, AFailingFileIsLoggedAndCountedAndTheRunGoesOn) {
  TempFolder folder;
  fs::path missing = folder / "gone.css";
  fs::path folderAsFile = folder / "dir.js";
  fs::create_directory(folderAsFile);
  fs::path blocked = folder.put("blocked.css", kSheet);
  fs::create_directory(blocked.string() + ".bak");
  fs::path good = folder.put("good.css", kSheet);
  fs::path script = folder.put("z.js", kScript);
  RunResult r = convertAll({toUtf8(), {missing, folderAsFile, blocked, good, script}});
  EXPECT_EQ(r.record.log(), kStart + fileMessage(ResultCode::BackupFailed, blocked.string()) +
                                fileMessage(ResultCode::CannotOpen, missing.string()) + success(good) +
                                fileMessage(ResultCode::CannotOpen, folderAsFile.string()) + success(script) +
                                finished(2, 3));
  EXPECT_EQ(TempFolder::read(blocked), kSheet);
}

TEST(ConversionRun, ATargetOutsideTheTableLogsNothing) {
  for (int target : {-1, 4}) {
    TempFolder folder;
    fs::path script = folder.put("a.js", kScript);
    RunResult r = convertAll({optionsFor(target), {script}});
    EXPECT_FALSE(r.summary.started) << target;
    EXPECT_TRUE(r.record.entries.empty()) << target;
    EXPECT_EQ(TempFolder::read(script), kScript);
  }
}

// --- Cancellation -------------------------------------------------------------------------------

TEST(ConversionRun, CancellingBeforeTheRunOrBeforeTheLoadedFiles) {
  {
    TempFolder folder;
    fs::path script = folder.put("a.js", kScript);
    std::atomic<bool> cancel{true};
    RunResult r = convertAll({toUtf8(), {script}}, {}, &cancel);
    EXPECT_EQ(r.record.log(), kStart + kCancelled);
    EXPECT_EQ(TempFolder::read(script), kScript);
  }
  {
    TempFolder folder;
    fs::path p = folder.put("index.html", page({"a.css"}));
    fs::path sheet = folder.put("a.css", kSheet);
    std::atomic<bool> cancel{false};
    RunResult r = convertAll(
        {toUtf8(), {p}}, [&](const FileOutcome&) { cancel = true; }, &cancel);
    EXPECT_EQ(r.record.log(), kStart + success(p) + kCancelled);
    EXPECT_EQ(TempFolder::read(sheet), kSheet);
  }
}

// --- Several runs at once -----------------------------------------------------------------------

// Nothing of a run is process-wide: two runs on two threads each resolve their pages' bare
// references against their own pages' folders.
TEST(ConversionRun, TwoRunsAtOnceKeepToThemselves) {
  TempFolder folder;
  std::vector<fs::path> pages[2];
  for (int which = 0; which < 2; ++which) {
    for (int k = 0; k < 8; ++k) {
      const std::string dir = "run" + std::to_string(which) + "/p" + std::to_string(k) + "/";
      pages[which].push_back(folder.put(dir + "index.html", page({"a.css"})));
      folder.put(dir + "a.css", kSheet);
    }
  }
  RunResult results[2];
  std::thread first([&] { results[0] = convertAll({toUtf8(), texts(pages[0])}); });
  std::thread second([&] { results[1] = convertAll({toUtf8(), texts(pages[1])}); });
  first.join();
  second.join();
  for (int which = 0; which < 2; ++which) {
    EXPECT_EQ(results[which].summary.successes, 16);
    for (const fs::path& p : pages[which]) {
      EXPECT_EQ(TempFolder::read(p.parent_path() / "a.css"), kSheetInUtf8) << p;
      EXPECT_FALSE(fs::exists(p.parent_path() / "a.css.bak.bak")) << p;
    }
  }
}

// --- What the run knows of each file's encoding, and which references it follows ---------------

// A one-word script of an EUC-JP site is read as the page that loads it, on a first
// conversion too; and a script nobody loads as the site's other files are.
TEST(ConversionRunEvidence, AOneWordScriptOfAnEucJpSiteIsReadAsTheSite) {
  TempFolder folder;
  const std::string head = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=EUC-JP\">";
  fs::path index = folder.put("site/index.html",
                              head + "<script src=\"a.js\"></script></head><body>\xC6\xFC\xCB\xDC</body></html>\n");
  fs::path other = folder.put("site/other.html", head + "</head><body>\xB8\xEC</body></html>\n");
  fs::path loaded = folder.put("site/a.js", "var label = \"\xC1\xB0\";\n");  // 前: C1 B0 passes the lead-byte test
  fs::path alone = folder.put("site/b.js", "var label = \"\xC9\xBD\";\n");   // 表
  RunResult r = convertAll({optionsFor(3, false), {index, other, alone}});
  EXPECT_EQ(r.summary.failures, 0);
  EXPECT_TRUE(sameBytes(TempFolder::read(loaded), "var label = \"\xE5\x89\x8D\";\n"));
  EXPECT_TRUE(sameBytes(TempFolder::read(alone), "var label = \"\xE8\xA1\xA8\";\n"));
}

// A script two pages load is read in the charset its first loader in pass order names, and is
// a module script when any of them loads it as one.
TEST(ConversionRunEvidence, TheFirstLoaderLendsItsCharsetAndAnyLoaderMakesAModule) {
  TempFolder folder;
  auto page = [](const std::string& scripts) { return "<html><head><title>t</title>" + scripts + "</head></html>\n"; };
  fs::path first = folder.put("site/a.html",
                              page("<script src=\"s.js\" charset=\"euc-jp\"></script><script src=\"m.js\"></script>"));
  fs::path later = folder.put("site/b.html", page("<script src=\"s.js\" charset=\"shift_jis\"></script>"
                                                  "<script type=\"module\" src=\"m.js\"></script>"));
  fs::path loaded = folder.put("site/s.js", "var label = \"\xC1\xB0\";\n");  // 前 in EUC-JP, two katakana in Shift_JIS
  fs::path module = folder.put("site/m.js", kScriptInUtf8);
  RunResult r = convertAll({optionsFor(0, false), {first, later}});
  EXPECT_EQ(r.summary.failures, 0);
  EXPECT_TRUE(sameBytes(TempFolder::read(loaded), "var label = \"\x91\x4F\";\n"));
  EXPECT_EQ(TempFolder::read(module), kScriptInUtf8);
}

// A reference is followed only to a file of the kind its element loads; the others keep their
// element as it was and are named under the page's line. A file loaded from outside what the
// user named is converted and named under its own line, when it has the page's owner: another
// user's is passed over like the others. A sheet's @import is a reference too, followed from
// every sheet converted, an imported sheet's own included, each sheet once.
TEST(ConversionRunEvidence, ReferencesReachOnlyFilesOfTheirKind) {
  TempFolder folder;
  const std::string passwd = "root:x:0:0::/root:/bin/bash\n";
  folder.put("passwd", passwd);
  const std::string imports = "@import url(../site/css/part.css);\n@import \"../passwd\" screen;\n";
  fs::path outside = folder.put("shared/common.css", imports + kSheet);
  const std::string importsBack = "@import '../../shared/common.css';\n";
  fs::path part = folder.put("site/css/part.css", importsBack + kSheet);
  fs::path theirs = folder.put("private/app.js", kScript);
  ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
  const std::string tags = "<link rel=\"stylesheet\" href=\"" + (folder / "passwd").string() + "\"><script src=\"" +
                           theirs.string() + "\"></script>";
  fs::path index = folder.put("site/index.html", "<html><head><title>t</title>" + tags +
                                                     "<link rel=stylesheet href=../shared/common.css></head></html>\n");
  RunRequest request{optionsFor(3, false), {index}};
  request.namedPaths = {folder / "site"};
  RunResult r = convertAll(request);
  EXPECT_EQ(TempFolder::read(folder / "passwd"), passwd);
  EXPECT_NE(TempFolder::read(index).find(tags), std::string::npos);
  const std::string rule = "@charset \"utf-8\";\n";
  EXPECT_EQ(TempFolder::read(outside), rule + imports + kSheet);
  EXPECT_EQ(TempFolder::read(part), rule + importsBack + kSheet);
  EXPECT_EQ(TempFolder::read(theirs), kScript);
  ASSERT_EQ(r.record.outcomes.size(), 3u);
  const std::string refused = "参照先は読み込む要素に合う種類のファイルではないため変換しません: ";
  const NoteLine passwdRefused{"reference-refused", {}, refused + (folder / "passwd").string()};
  EXPECT_EQ(said(r.record.outcomes[0], TargetEncoding::Utf8),
            (std::vector<NoteLine>{
                passwdRefused,
                {"reference-foreign-owner",
                 {},
                 "参照先は指定されたフォルダーとファイルの外にあり、持ち主がこのページと違うため変換しません: " +
                     theirs.string()}}));
  EXPECT_EQ(
      said(r.record.outcomes[1], TargetEncoding::Utf8),
      (std::vector<NoteLine>{passwdRefused,
                             {"outside-named",
                              {},
                              "指定されたフォルダーとファイルの外にありますが、ページが読み込むため変換しました。"}}));
  EXPECT_EQ(r.record.outcomes[2].path, part);
  EXPECT_TRUE(r.record.outcomes[2].notes.empty());
}

std::vector<std::string> codesOf(const FileOutcome& outcome, int target) {
  std::vector<std::string> codes;
  for (const NoteLine& note : said(outcome, static_cast<TargetEncoding>(target))) codes.push_back(note.code);
  return codes;
}

// Browsers read a module script as UTF-8 whatever its page says: with another target the file
// stays as it was, listed or loaded, its element keeps its tag, and both lines say so. With
// the UTF-8 target it is converted like any script.
TEST(ConversionRunEvidence, AModuleScriptStaysInUtf8) {
  for (int target : {0, 3}) {
    TempFolder folder;
    const std::string tag = "<script type=\"module\" src=\"m.js\"></script>";
    fs::path index = folder.put("site/index.html", "<html><head><title>t</title>" + tag + "</head></html>\n");
    fs::path module = folder.put("site/m.js", kScriptInUtf8);
    RunResult r = convertAll({optionsFor(target, false), {index, module}});
    EXPECT_EQ(r.summary.failures, 0) << target;
    EXPECT_EQ(TempFolder::read(module), kScriptInUtf8) << target;  // its tag is ConvertHtml's
    ASSERT_EQ(r.record.outcomes.size(), 3u) << target;             // the page, the script listed and loaded
    const std::vector<std::string> expected =
        target == 3 ? std::vector<std::string>{} : std::vector<std::string>{"module-script"};
    for (const FileOutcome& outcome : r.record.outcomes) EXPECT_EQ(codesOf(outcome, target), expected) << outcome.path;
  }
}

// A page the run does not take (an .xhtml page) keeps its charsets: the script it loads says so
// under its line, once, naming the page; the page itself is left as it was.
TEST(ConversionRunEvidence, AFileAPageOfAnotherKindLoadsSaysSo) {
  TempFolder folder;
  const std::string other = "<html><head><script src=\"js/a.js\" charset=\"Shift_JIS\"></script></head></html>\n";
  fs::path xhtml = folder.put("site/a.xhtml", other);
  fs::path index = folder.put("site/index.html", page({}, {"js/a.js"}));
  fs::path script = folder.put("site/js/a.js", kScript);
  RunRequest request{toUtf8(), {index, script}};
  request.untakenPages.push_back(xhtml.native());
  RunResult r = convertAll(request);
  EXPECT_EQ(TempFolder::read(xhtml), other);
  ASSERT_EQ(r.record.outcomes.size(), 3u);  // the page, the script listed and loaded
  EXPECT_EQ(said(r.record.outcomes[1], TargetEncoding::Utf8),
            (std::vector<NoteLine>{{"untaken-page",
                                    {},
                                    "変換しない種類のページが読み込んでいます。そのページの charset "
                                    "は変換前の文字コードのままです: " +
                                        xhtml.string()}}));
  EXPECT_TRUE(r.record.outcomes[2].notes.empty());
}

}  // namespace
}  // namespace sarnavel
