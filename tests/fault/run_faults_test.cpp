// The run while another program writes a file it converts: in-process, so the change lands
// exactly between the read and the write.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <thread>

#include "run/conversion_run.h"
#include "run/intake.h"
#include "report/run_messages.h"
#include "support/cli_process.h"
#include "support/folder_state.h"
#include "support/site_documents.h"
#include "support/temp_folder.h"
#include "support/run_log.h"

namespace sarnavel::testing {
namespace {

namespace fs = std::filesystem;

struct Logged {
  std::string log;
  RunSummary summary;
};

// Takes in the tree, lets `between` change it, then runs; `afterPages` changes it once the
// pages are converted (their references looked at), before the files they load are.
Logged convertTree(const fs::path& tree, const std::function<void()>& between,
                   const std::function<void()>& afterPages = {}) {
  IntakeReport intake;
  offerPath(tree, intake);
  between();
  RunRequest request{toUtf8(), intake.files};
  request.followedLinks = intake.followedLinks;
  request.listedFolders = intake.folders;
  request.threads = 1;
  RunObserver observer;
  Logged logged;
  auto log = [&](std::string_view entry) { logged.log += withUnixLineEnds(entry); };
  observer.fileDone = [&](const FileOutcome& done) {
    if (done.pass == 1 && afterPages) afterPages();
  };
  testing::writeLogThrough(observer, {request.mode, request.options.targetEncoding, {}}, log);
  std::atomic<bool> cancel{false};
  logged.summary = conversionWorker(request, observer, cancel);
  if (logged.summary.started) log(endMessage(logged.summary));
  return logged;
}

// In a folder others may write, a listed file or sub-folder is swapped for a link to the
// user's own, or a link the walk took inside the tree is re-pointed at a file of the user's,
// between the listing and the read: the user's file stays as it is, with no backup beside it,
// and the log says the listed file was replaced. A file (or a link's file) saved anew in its own
// folder, as an editor does, is converted as listed.
TEST(RunFault, AFileFolderOrLinkSwappedBeforeTheReadLeadsNowhereElse) {
  const std::string page = "<html><body>" + sjis(u"日本") + "</body></html>";
  const std::string sheet = sjisDocument(FileKind::Css, 500);
  const struct {
    const char* what;
    void (*change)(const fs::path& temp, const std::string& sheet);
    const char* refused;  // the listed file left as it is, or null
  } cases[] = {
      {"a listed file swapped for a link to a file outside",
       [](const fs::path& t, const std::string&) {
         fs::remove(t / "tree/sub/page.html");
         fs::create_symlink(t / "home/page.html", t / "tree/sub/page.html");
       },
       "tree/sub/page.html"},
      {"a listed file saved anew",
       [](const fs::path& t, const std::string&) {
         fs::remove(t / "tree/sub/page.html");
         fs::copy_file(t / "home/page.html", t / "tree/sub/page.html");
       },
       nullptr},
      {"a sub-folder swapped for a link to a folder outside",
       [](const fs::path& t, const std::string&) {
         fs::rename(t / "tree/sub", t / "tree/sub.old");
         fs::create_directory_symlink(t / "home", t / "tree/sub");
       },
       "tree/sub/page.html"},
      {"a link re-pointed at a file outside",
       [](const fs::path& t, const std::string&) {
         fs::remove(t / "tree/l.css");
         fs::create_symlink(t / "home/own.css", t / "tree/l.css");
       },
       "tree/l.css"},
      {"a link's file saved anew",
       [](const fs::path& t, const std::string& s) {
         fs::remove(t / "tree/a.css");
         std::ofstream(t / "tree/a.css", std::ios::binary) << s;
       },
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder temp;
    temp.put("tree/sub/page.html", page);
    temp.put("tree/a.css", sheet);
    fs::create_symlink("a.css", temp / "tree/l.css");
    const fs::path ownPage = temp.put("home/page.html", page), ownSheet = temp.put("home/own.css", sheet);
    const Logged r = convertTree(temp / "tree", [&] { c.change(temp.path(), sheet); });
    std::string expected = withUnixLineEnds(plainMessage(MessageId::Started));
    for (const char* listed : {"tree/sub/page.html", "tree/a.css", "tree/l.css"}) {
      if (c.refused && std::string(listed) == c.refused) {
        expected += failure(temp / listed, 102) +
                    "  ファイルが読み込む前に別のものに置き換えられたため、読まずにそのままにしました。\n";
      } else {
        expected += success(temp / listed);
      }
    }
    EXPECT_EQ(r.log, expected + (c.refused ? finished(2, 1) : finished(3, 0)));
    EXPECT_EQ(TempFolder::read(ownPage), page);
    EXPECT_EQ(TempFolder::read(ownSheet), sheet);
    EXPECT_EQ(snapshot(temp / "home").size(), 2u);
  }
}

// A sheet and a script that a page loads from a folder others may write, beside the tree
// named, are swapped for links to files of the user's once the page is converted, or were
// links there and are re-pointed at them: neither the links nor the user's files are touched
// (a text that is no sheet, a program), and the log says the names were replaced. Files saved
// anew under those names are converted as loaded.
TEST(RunFault, ALoadedFileSwappedForALinkAfterItsPageLeadsNowhereElse) {
  const std::string page =
      "<html><head><link rel=\"stylesheet\" href=\"../shared/s.css\">"
      "<script src=\"../shared/s.js\"></script></head><body>" +
      sjis(u"日本") + "</body></html>";
  const std::string sheet = sjisDocument(FileKind::Css, 100), script = sjisDocument(FileKind::JavaScript, 100);
  const std::string profile = "export PS1='" + sjis(u"日本") + "> '\n";
  const std::string program = std::string("\177ELF\x02\x01\x01\0\0\0", 10) + sjis(u"日本");
  const struct {
    const char* what;
    bool linksAtFirst;     // the names are links to files beside them when the run starts
    bool swappedForLinks;  // after the pages, links to the user's files; else files saved anew
  } cases[] = {
      {"swapped for links", false, true},
      {"links re-pointed", true, true},
      {"saved anew", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder temp;
    temp.put("tree/page.html", page);
    temp.put(c.linksAtFirst ? "shared/real.css" : "shared/s.css", sheet);
    temp.put(c.linksAtFirst ? "shared/real.js" : "shared/s.js", script);
    if (c.linksAtFirst) {
      fs::create_symlink("real.css", temp / "shared/s.css");
      fs::create_symlink("real.js", temp / "shared/s.js");
    }
    const fs::path ownText = temp.put("home/.profile", profile), ownProgram = temp.put("home/tool", program);
    const Logged r = convertTree(
        temp / "tree", [] {},
        [&] {
          for (const auto& [name, own, bytes] :
               {std::tuple{"shared/s.css", ownText, sheet}, {"shared/s.js", ownProgram, script}}) {
            fs::remove(temp / name);
            if (c.swappedForLinks) fs::create_symlink(own, temp / name);
            else temp.put(name, bytes);
          }
        });
    const std::string replaced = "  ファイルが読み込む前に別のものに置き換えられたため、読まずにそのままにしました。\n";
    if (c.swappedForLinks) {
      EXPECT_EQ(r.log, withUnixLineEnds(plainMessage(MessageId::Started)) + success(temp / "tree/page.html") +
                           failure(temp / "shared/s.css", 102) + replaced + failure(temp / "shared/s.js", 102) +
                           replaced + finished(1, 2));
      EXPECT_TRUE(fs::is_symlink(temp / "shared/s.css"));
    } else {
      EXPECT_EQ(r.summary.failures, 0) << r.log;
      EXPECT_EQ(TempFolder::read(temp / "shared/s.css"), convertedContent(temp / "shared/s.css", sheet));
    }
    EXPECT_EQ(TempFolder::read(ownText), profile);
    EXPECT_EQ(TempFolder::read(ownProgram), program);
    EXPECT_EQ(snapshot(temp / "home").size(), 2u);
  }
}

// Another program appends to a page after the run has read it and before it writes: the page
// is not rewritten, the appended line is kept, and the log says why.
TEST(RunFault, AFileWrittenByAnotherProgramDuringItsConversionIsLeftAsItIs) {
  TempFolder temp;
  const fs::path page = temp / "tree/big.html";
  const std::string bytes = sjisDocument(FileKind::Html, 8 << 20);  // long enough to convert for a while
  temp.put("tree/big.html", bytes);
  const int watch = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  std::thread otherProgram;
  const Logged r = convertTree(temp / "tree", [&] {
    ASSERT_GE(inotify_add_watch(watch, page.c_str(), IN_CLOSE_NOWRITE), 0);
    otherProgram = std::thread([&] {
      char event[4096];
      if (read(watch, event, sizeof event) > 0) std::ofstream(page, std::ios::app) << "<p>added</p>";
    });
  });
  otherProgram.join();
  close(watch);
  EXPECT_NE(r.log.find(failure(page, 103) +
                       "  ファイルが変換中に他のプログラムによって変更されたため、書き換えませんでした。\n"),
            std::string::npos)
      << r.log;
  EXPECT_TRUE(TempFolder::read(page) == bytes + "<p>added</p>") << "the other program's write is lost";
  for (const auto& [name, entry] : snapshot(temp / "tree")) EXPECT_FALSE(isToolTemporary(name)) << shown(name);
}

}  // namespace
}  // namespace sarnavel::testing
