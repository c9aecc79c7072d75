// sarnavel-cli end to end for what a run tells about each file: the check mode, the warnings
// under a file's log line, and the JSON Lines report, whose documented example must still be
// what the tool writes.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/bytes.h"
#include "support/cli_process.h"
#include "support/folder_state.h"
#include "support/temp_folder.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using testing::runCli;
using testing::TempFolder;
using Json = nlohmann::json;

// The example site of docs/report.md, in Shift_JIS: a page with a form and a search link, its
// sheet, and an .htaccess that still announces Shift_JIS.
void putExampleSite(const TempFolder& folder) {
  folder.put("site/index.html",
             "<html><head><title>\x82\xA8\x92m\x82\xE7\x82\xB9</title>\r\n"
             "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\r\n"
             "<link rel=\"stylesheet\" href=\"style.css\">\r\n"
             "</head><body>\r\n"
             "<p>\x87@\x81@\x90V\x82\xB5\x82\xA2\x8C\x9F\x8D\xF5\x83y\x81[\x83W\x82\xC5\x82\xB7\x81"
             "B</p>\r\n"
             "<form action=\"/cgi-bin/search.cgi\"><input name=\"q\"></form>\r\n"
             "<p><a href=\"/cgi-bin/search.cgi?q=\x82\xA8\x92m\x82\xE7\x82\xB9\">\x82\xA8\x92m\x82\xE7\x82\xB9"
             "\x82\xF0\x8C\x9F\x8D\xF5</a></p>\n"
             "</body></html>\r\n");
  folder.put("site/style.css",
             "body { font-family: \"\x82l\x82r \x83S\x83V\x83"
             "b\x83N\"; }\n");
  folder.put("site/.htaccess", "Options -Indexes\nAddDefaultCharset Shift_JIS\n");
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

std::string fencedBlock(const std::string& markdown, const std::string& language) {
  const std::string open = "```" + language + "\n";
  const std::size_t start = markdown.find(open);
  if (start == std::string::npos) return {};
  const std::size_t end = markdown.find("```", start + open.size());
  return markdown.substr(start + open.size(), end - start - open.size());
}

TEST(CliReport, TheDocumentedExampleIsWhatTheToolWrites) {
  TempFolder folder;
  putExampleSite(folder);
  const testing::CliResult run = runCli({"-t", "utf-8", "--report", "report.jsonl", "site"}, folder.path());
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string written = replaced(TempFolder::read(folder / "report.jsonl"), folder.path().string(), "/home/taro");
  const std::string log = replaced(run.out, folder.path().string(), "/home/taro");
  const std::string doc = TempFolder::read(fs::path(SARNAVEL_SOURCE_DIR) / "docs/report.md");
  EXPECT_EQ(fencedBlock(doc, "jsonl"), written) << "docs/report.md's example differs; the tool now writes:\n"
                                                << written;
  EXPECT_EQ(fencedBlock(doc, "text"), log) << "docs/report.md's log differs; the tool now writes:\n" << log;
}

TEST(CliReport, ACheckListsEachFileAndItsStatusSaysWhetherAnyHasAProblem) {
  TempFolder folder;
  putExampleSite(folder);
  const std::string page = TempFolder::read(folder / "site/index.html");
  const testing::CliResult problem = runCli({"--check", "--report", "-", "site"}, folder.path());
  const std::string root = folder.path().string();
  EXPECT_EQ(problem.status, 1);
  // With the report on standard output, the listing goes to standard error.
  EXPECT_EQ(problem.err, root + "/site/index.html\tshift_jis\tmeta=shift_jis server=Shift_JIS\tmixed-line-breaks\n" +
                             root +
                             "/site/style.css\tshift_jis\t-\tok\n---\nfiles: 2\nencodings: shift_jis 2\n"
                             "problems: mixed-line-breaks 1\n");
  // Quiet: the files with a problem, and the summary.
  EXPECT_EQ(runCli({"--check", "--quiet", "site"}, folder.path()).out,
            root +
                "/site/index.html\tshift_jis\tmeta=shift_jis server=Shift_JIS\tmixed-line-breaks\n---\nfiles: 2\n"
                "encodings: shift_jis 2\nproblems: mixed-line-breaks 1\n");
  std::istringstream lines(problem.out);
  std::vector<Json> objects;
  for (std::string line; std::getline(lines, line);) objects.push_back(Json::parse(line));
  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(objects[2]["mode"], "check");
  EXPECT_EQ(objects[2]["version"], 1);
  EXPECT_EQ(TempFolder::read(folder / "site/index.html"), page);
  EXPECT_FALSE(fs::exists(folder / "site/index.html.bak"));

  // Every declaration is listed, the server's and a UTF-16 page's own among them; a page only
  // the server declares is server-declared, not undeclared.
  TempFolder clean;
  clean.put("a.css", "@charset \"Shift_JIS\";\np:after{content:\"\x93\xFA\"}\n");
  clean.put("b.html", testing::kLeMark + testing::utf16le(u"<meta charset=\"utf-16\"><p>\u65E5</p>"));
  clean.put("c.html", "<p>\x93\xFA</p>");
  clean.put(".htaccess", "AddDefaultCharset Shift_JIS\n");
  const testing::CliResult ok = runCli({"--check", clean.path().string()});
  EXPECT_EQ(ok.status, 1) << ok.err;
  EXPECT_EQ(ok.out, (clean / "b.html").string() + "\tutf-16le\tmeta-charset=utf-16 server=Shift_JIS\tok\n" +
                        (clean / "c.html").string() + "\tshift_jis\tserver=Shift_JIS\tserver-declared\n" +
                        (clean / "a.css").string() +
                        "\tshift_jis\t@charset=Shift_JIS\tok\n---\nfiles: 3\n"
                        "encodings: shift_jis 2, utf-16le 1\nproblems: server-declared 1\n");
}

TEST(CliReport, ADryRunWarnsAndReportsWhatAConversionWouldDoAndWritesNothing) {
  TempFolder folder;
  putExampleSite(folder);
  testing::ageEverything(folder.path());
  const auto before = testing::snapshot(folder.path());
  const testing::CliResult run = runCli({"-t", "utf-8", "--dry-run", "--report", "-", "site"}, folder.path());
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char* warning :
       {"\n  6:1: accept-charset のない form", "\n  7:4: URL のクエリー", "\n  サーバーが HTTP で Shift_JIS"})
    EXPECT_NE(run.err.find(warning), std::string::npos) << warning;
  std::istringstream lines(run.out);
  std::vector<Json> objects;
  for (std::string line; std::getline(lines, line);) objects.push_back(Json::parse(line));
  ASSERT_EQ(objects.size(), 4u);
  EXPECT_EQ(objects[0]["warnings"].size(), 3u);
  EXPECT_TRUE(objects[0]["backup"].is_null());
  EXPECT_EQ(objects[3]["mode"], "dry-run");
  // Nothing on disk changed: no byte, no backup, no modification time, no entry of a folder.
  EXPECT_TRUE(testing::snapshot(folder.path()) == before);
  struct stat info {};
  ASSERT_EQ(stat(folder.path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mtim.tv_sec, 1000000000);
}

// The report is never written over a file the run reads: one it lists (by any name, a hard
// link too), nor one a page may load, which the run cannot know before it starts: named like
// one, reached through a link, or another name of a file of several; nor over a backup, which
// may hold the only former content there is.
TEST(CliReport, AReportOverAFileTheRunReadsIsAUsageError) {
  TempFolder folder;
  putExampleSite(folder);
  folder.put("site/sub/page.html", "<link rel=\"stylesheet\" href=\"../../shared/common.css\">\n");
  folder.put("shared/common.css", "p{}\n");
  ASSERT_EQ(link((folder / "site/index.html").c_str(), (folder / "page-link.jsonl").c_str()), 0);
  ASSERT_EQ(link((folder / "site/style.css").c_str(), (folder / "sheet-link.jsonl").c_str()), 0);
  fs::create_symlink("site/style.css", folder / "sheet.jsonl");
  fs::create_symlink("site/sub/new.js", folder / "script.jsonl");  // leads nowhere yet
  folder.put("site/a.js.bak", "the former script");
  testing::ageEverything(folder.path());
  const auto before = testing::snapshot(folder.path());
  for (const char* report :
       {"site/style.css", "site/../site/index.html", "page-link.jsonl", "shared/common.css", "site/missing.JS",
        "sheet-link.jsonl", "sheet.jsonl", "script.jsonl", "site/a.js.bak", "a.js.bak.bak"}) {
    // The page alone is named: the sheet it loads is not listed.
    const testing::CliResult run = runCli({"-t", "utf-8", "--report", report, "site/index.html"}, folder.path());
    EXPECT_EQ(run.status, 2) << report << "\n" << run.err;
    EXPECT_TRUE(testing::snapshot(folder.path()) == before) << report;
  }
}

// A named pipe that no program reads yet holds the report's open, as it holds any writer's: the
// wait is said on standard error, and a stop signal still ends it, with nothing converted.
TEST(CliReport, AStopSignalEndsTheWaitForAPipeNobodyReads) {
  TempFolder folder;
  putExampleSite(folder);
  ASSERT_EQ(mkfifo((folder / "report.pipe").c_str(), 0600), 0);
  const auto before = testing::snapshot(folder / "site");
  testing::CliProcess process({"-t", "utf-8", "--report", "report.pipe", "site"}, folder.path());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  process.signal(SIGINT);
  const testing::CliResult run = process.finish(std::chrono::seconds(10));
  EXPECT_EQ(run.status, 128 + SIGINT) << run.err;
  EXPECT_NE(run.err.find("report.pipe: waiting for a program to read the report"), std::string::npos) << run.err;
  EXPECT_TRUE(testing::snapshot(folder / "site") == before);
}

}  // namespace
}  // namespace sarnavel
