// The run itself under faults that strike between the intake and the conversion: a file that
// vanishes, a file that turns into a folder or a named pipe; and another program writing a
// file while it converts. Driven in-process through offerPath and conversionWorker, so the
// change lands exactly where it should.
#include <sys/inotify.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "fault/fault_support.h"
#include "run/conversion_run.h"
#include "run/intake.h"
#include "run/run_messages.h"

namespace sarnavel::fault {
namespace {

struct RunLog {
  std::string text;
  RunSummary summary;
};

RunLog convertTree(const fs::path& tree, const ConversionOptions& options,
                   const std::function<void()>& betweenIntakeAndRun) {
  IntakeReport intake;
  offerPath(tree, intake);
  betweenIntakeAndRun();
  RunRequest request{options, intake.files};
  RunObserver observer;
  RunLog log;
  observer.log = [&](std::string_view entry) { log.text += withUnixLineEnds(entry); };
  std::atomic<bool> cancel{false};
  log.summary = conversionWorker(request, observer, cancel);
  return log;
}

class RunFault : public ::testing::Test {
 protected:
  fs::path tree() const { return temp_.path() / "tree"; }
  void document(const std::string& name, int seed) {
    const fs::path path = tree() / name;
    const std::string bytes = sjisDocument(classifyExtension(path), 500, seed);
    putFile(path, bytes);
    documents_[name] = {bytes, convertedContent(path, bytes, toUtf8())};
  }
  TempFolder temp_;
  Documents documents_;
};

TEST_F(RunFault, FileVanishesBetweenIntakeAndConversion) {
  document("a.html", 0);
  document("b.css", 1);
  document("c.js", 2);
  Snapshot before;
  RunLog log = convertTree(tree(), toUtf8(), [&] {
    fs::remove(tree() / "b.css");
    before = snapshot(tree());
  });
  documents_.erase("b.css");
  EXPECT_EQ(log.summary.successes, 2);
  EXPECT_EQ(log.summary.failures, 1);
  EXPECT_NE(log.text.find(failure(tree() / "b.css", ResultCode::CannotOpen)), std::string::npos) << log.text;
  const Snapshot after = snapshot(tree());
  EXPECT_FALSE(after.count("b.css") || after.count("b.css.bak")) << "the vanished file came back";
  expectRunInvariant(before, after, documents_, {{"a.html", Outcome::Converted}, {"c.js", Outcome::Converted}}, true);
}

TEST_F(RunFault, FileTurnsIntoAFolderBetweenIntakeAndConversion) {
  document("a.html", 0);
  document("b.css", 1);
  document("c.js", 2);
  Snapshot before;
  RunLog log = convertTree(tree(), toUtf8(), [&] {
    fs::remove(tree() / "c.js");
    fs::create_directory(tree() / "c.js");
    putFile(tree() / "c.js" / "inside.txt", "kept\n");
    before = snapshot(tree());
  });
  documents_.erase("c.js");
  EXPECT_EQ(log.summary.failures, 1);
  EXPECT_NE(log.text.find(failure(tree() / "c.js", ResultCode::CannotOpen)), std::string::npos) << log.text;
  expectRunInvariant(before, snapshot(tree()), documents_,
                     {{"a.html", Outcome::Converted}, {"b.css", Outcome::Converted}}, true);
}

TEST_F(RunFault, FileTurnsIntoANamedPipeOrALinkBetweenIntakeAndConversion) {
  document("a.html", 0);
  document("b.css", 1);
  document("c.js", 2);
  Snapshot before;
  RunLog log = convertTree(tree(), toUtf8(), [&] {
    fs::remove(tree() / "b.css");
    ASSERT_EQ(::mkfifo((tree() / "b.css").c_str(), 0644), 0);
    fs::remove(tree() / "c.js");
    fs::create_symlink("nowhere.js", tree() / "c.js");
    before = snapshot(tree());
  });
  documents_.erase("b.css");
  documents_.erase("c.js");
  EXPECT_EQ(log.summary.failures, 2);
  EXPECT_NE(log.text.find(failure(tree() / "b.css", ResultCode::CannotOpen)), std::string::npos) << log.text;
  EXPECT_NE(log.text.find(failure(tree() / "c.js", ResultCode::CannotOpen)), std::string::npos) << log.text;
  expectRunInvariant(before, snapshot(tree()), documents_, {{"a.html", Outcome::Converted}}, true);
}

// A file that vanishes after the page that loads it was converted: passes 4 and 5 find it
// gone and log 102; the page stays converted.
TEST_F(RunFault, ReferencedFileVanishesDuringTheRun) {
  const std::string page =
      "<html><head><link rel=\"stylesheet\" href=\"s.css\"></head><body>" + sjis(u"日本") + "</body></html>";
  putFile(tree() / "p.html", page);
  putFile(tree() / "s.css", sjisDocument(FileKind::Css, 200));
  IntakeReport intake;
  offerPath(tree() / "p.html", intake);
  ASSERT_EQ(intake.files.size(), 1u);
  RunRequest request{toUtf8(), intake.files};
  request.threads = 1;
  RunObserver observer;
  std::string log;
  observer.log = [&](std::string_view entry) { log += withUnixLineEnds(entry); };
  observer.fileDone = [&](const FileOutcome& outcome) {
    if (outcome.pass == 1) fs::remove(tree() / "s.css");
  };
  std::atomic<bool> cancel{false};
  RunSummary summary = conversionWorker(request, observer, cancel);
  EXPECT_EQ(summary.successes, 1);
  EXPECT_EQ(summary.failures, 1);
  EXPECT_NE(log.find(success(tree() / "p.html")), std::string::npos) << log;
  EXPECT_NE(log.find(failure(tree() / "s.css", ResultCode::CannotOpen)), std::string::npos) << log;
  const Snapshot after = snapshot(tree());
  EXPECT_FALSE(after.count("s.css") || after.count("s.css.bak"));
  EXPECT_TRUE(after.at("p.html.bak").content == page);
}

// Another program appends to a page while it converts (after the run has read it, before it
// writes): the page is not rewritten, the appended line is kept, and the log says why.
TEST_F(RunFault, AFileWrittenByAnotherProgramDuringItsConversionIsLeftAsItIs) {
  const fs::path page = tree() / "big.html";
  const std::string bytes = sjisDocument(FileKind::Html, 8 << 20);  // long enough to convert for a while
  putFile(page, bytes);
  const std::string appended = "<p>added meanwhile</p>\r\n";

  const int watch = ::inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  std::thread otherProgram;
  Snapshot before;
  RunLog log = convertTree(tree(), toUtf8(), [&] {
    before = snapshot(tree());
    ASSERT_GE(::inotify_add_watch(watch, page.c_str(), IN_CLOSE_NOWRITE), 0);
    otherProgram = std::thread([&] {
      char event[4096];
      if (::read(watch, event, sizeof event) > 0)
        std::ofstream(page, std::ios::binary | std::ios::app) << appended;  // the run has read it
    });
  });
  otherProgram.join();
  ::close(watch);

  EXPECT_EQ(log.summary.failures, 1);
  EXPECT_NE(log.text.find(failure(page, ResultCode::WriteFailed) +
                          "  ファイルが変換中に他のプログラムによって変更されたため、書き換えませんでした。\n"),
            std::string::npos)
      << log.text;
  EXPECT_TRUE(readFile(page) == bytes + appended) << "the other program's write is lost";
  const Snapshot after = snapshot(tree());
  if (after.count("big.html.bak")) {
    EXPECT_TRUE(after.at("big.html.bak").content == bytes);
  }
  for (const auto& [name, entry] : after) EXPECT_FALSE(isToolTemporary(name)) << shown(name);
}

}  // namespace
}  // namespace sarnavel::fault
