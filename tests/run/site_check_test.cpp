// The check mode: what each file's bytes are, what declares them and what is wrong with them,
// read through a real run over small files; and that a check writes nothing at all.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "report/check_listing.h"
#include "run/conversion_run.h"
#include "run/kind_set.h"
#include "support/folder_state.h"
#include "support/temp_folder.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using namespace std::string_literals;

// "日本語の文章です。" in each encoding.
const std::string kSjis =
    "\x93\xFA\x96{\x8C\xEA\x82\xCC\x95\xB6\x8F\xCD\x82\xC5\x82\xB7\x81"
    "B";
const std::string kEuc = "\xC6\xFC\xCB\xDC\xB8\xEC\xA4\xCE\xCA\xB8\xBE\xCF\xA4\xC7\xA4\xB9\xA1\xA3";
const std::string kJis = "\x1B$BF|K\\8l$NJ8>O$G$9!#\x1B(B";
const std::string kUtf8 =
    "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x96\x87\xE7\xAB\xA0\xE3\x81\xA7\xE3\x81\x99\xE3\x80\x82";

std::string page(const std::string& head, const std::string& body) {
  return "<html><head>" + head + "<title>t</title></head><body><p>" + body + "</p></body></html>\n";
}
std::string meta(const std::string& charset) {
  return "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charset + "\">";
}

// Runs a check over `folder`; each file's listing line without the folder, by name.
std::map<std::string, std::string> check(const fs::path& folder, RunSummary* summary = nullptr) {
  RunRequest request;
  request.mode = WriteMode::Check;
  request.options.kinds = parseKindList("+php,jsp,shtml,xhtml,xml,txt").kinds;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) request.paths.push_back(entry.path().native());
  request.namedPaths = {folder};
  CheckListing listing;
  std::map<std::string, std::string> lines;
  RunObserver observer;
  observer.fileDone = [&](const FileOutcome& outcome) {
    const std::string name = outcome.path.lexically_relative(folder).string();
    std::string line = listing.fileLine(outcome, name);
    line.pop_back();
    EXPECT_TRUE(lines.emplace(name, line.substr(name.size() + 1)).second) << name << " listed twice";
  };
  std::atomic<bool> cancel{false};
  const RunSummary done = conversionWorker(request, observer, cancel);
  if (summary) *summary = done;
  return lines;
}

TEST(SiteCheck, Verdicts) {
  TempFolder site;
  const struct {
    std::string name, bytes, expected;  // expected: encoding, declared, problems
  } cases[] = {
      // Clean files of every encoding.
      {"sjis.html", page(meta("Shift_JIS"), kSjis), "shift_jis\tmeta=shift_jis\tok"},
      {"euc.html", page(meta("EUC-JP"), kEuc), "euc-jp\tmeta=euc-jp\tok"},
      {"jis.html", page("<meta charset=\"ISO-2022-JP\">", kJis), "iso-2022-jp\tmeta-charset=ISO-2022-JP\tok"},
      {"utf8.css", "@charset \"UTF-8\";\np:after{content:\"" + kUtf8 + "\"}\n", "utf-8\t@charset=UTF-8\tok"},
      {"le.html",
       "\xFF\xFE<\0p\0>\0\xE5"
       "e,g\0\n\0"s,
       "utf-16le\t-\tok"},
      {"be.js", "\xFE\xFF\0x\0=\0'e\xE5g,\0'\0\n"s, "utf-16be\t-\tok"},
      {"latin.html", page("<meta charset=\"iso-8859-1\">", "caf\xE9"), "windows-1252\tmeta-charset=iso-8859-1\tok"},
      {"ascii.js", "var a = 1;\n", "ascii\t-\tok"},
      {"xml.html", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + page("", kUtf8), "utf-8\txml=UTF-8\tok"},
      // One row per problem.
      {"mismatch.html", page(meta("Shift_JIS"), kUtf8 + kUtf8), "utf-8\tmeta=shift_jis\tdeclaration-mismatch"},
      {"unknown.html", page(meta("x-unheard-of"), kSjis), "shift_jis\tmeta=x-unheard-of\tdeclaration-mismatch"},
      {"nodecl.html", page("", kSjis), "shift_jis\t-\tno-declaration"},
      {"nodecl.css", "p:after{content:\"" + kEuc + "\"}\n", "euc-jp\t-\tno-declaration"},
      {"broken.js", "var a = 1;\nx='\x93\xFA\x81';\n", "shift_jis\t-\tinvalid-bytes@2:5"},
      {"bom.html", "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + page("", kUtf8),
       "utf-8-bom\txml=UTF-8\tbyte-order-mark"},
      {"mixed.js", "a = 1;\r\nb = 2;\nc = 3;\r\n", "ascii\t-\tmixed-line-breaks"},
      // Files a page loads: by the element's charset, else the page's encoding.
      {"loads.html",
       page(meta("Shift_JIS") + "<link rel=\"stylesheet\" href=\"euc.css\"><script src=\"u.js\" charset=\"Shift_JIS\">"
                                "</script><script src=\"s.js\"></script>",
            kSjis),
       "shift_jis\tmeta=shift_jis\tok"},
      {"euc.css", "p:after{content:\"" + kEuc + kEuc + "\"}\n", "euc-jp\t-\tloaded-mismatch"},
      {"u.js", "x='" + kUtf8 + "';\n", "utf-8\tscript=Shift_JIS\tloaded-mismatch"},
      {"s.js", "x='" + kSjis + "';\n", "shift_jis\t-\tok"},
      // A template's code: what it declares counts, the page it writes does not.
      {"header.php", "<?php header('Content-Type: text/html; charset=EUC-JP'); ?>\n" + page(meta("Shift_JIS"), kSjis),
       "shift_jis\tmeta=shift_jis\tdeclaration-mismatch@1:1"},
      {"page.jsp",
       "<%@ page pageEncoding=\"Shift_JIS\" %><% out.print(\"<meta charset='EUC-JP'>\"); %>" +
           page(meta("Shift_JIS"), kSjis),
       "shift_jis\tmeta=shift_jis\tok"},
      // A fragment an SSI page includes is declared by that page.
      {"ssi.shtml", "<!--#include virtual=\"frag.html\" -->" + page(meta("Shift_JIS"), kSjis),
       "shift_jis\tmeta=shift_jis\tok"},
      {"frag.html", "<p>" + kSjis + "</p>\n", "shift_jis\t-\tok"},
      // An XHTML page and a feed are declared by their XML declaration; a plain text cannot
      // declare its encoding, and that is no problem.
      {"x.xhtml", "<?xml version=\"1.0\" encoding=\"EUC-JP\"?>\n" + page("", kSjis),
       "shift_jis\txml=EUC-JP\tdeclaration-mismatch"},
      {"feed.rss",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss><channel><title>" + kSjis + "</title></channel></rss>\n",
       "shift_jis\txml=UTF-8\tdeclaration-mismatch"},
      {"notes.txt", kSjis + "\r\n", "shift_jis\t-\tok"},
  };
  for (const auto& c : cases) site.put(c.name, c.bytes);
  const std::map<std::string, std::string> lines = check(site.path());
  for (const auto& c : cases) {
    auto line = lines.find(c.name);
    ASSERT_NE(line, lines.end()) << c.name;
    EXPECT_EQ(line->second, c.expected) << c.name;
  }
  EXPECT_EQ(lines.size(), std::size(cases));
}

TEST(SiteCheck, WritesNothingAndSweepsNothing) {
  TempFolder site;
  site.put("index.html", page(meta("Shift_JIS") + "<link rel=\"stylesheet\" href=\"css/a.css\">", kSjis));
  site.put("css/a.css", "p{}\n");
  // What a killed conversion would have left: a conversion sweeps it, a check leaves it.
  site.put("css/.a.css.sarnavel-AbC123.tmp", "half");
  chmod(site.path().c_str(), 0555);  // a write into the folder would fail (not for root: compared below)
  const testing::FolderState before = testing::snapshot(site.path());
  RunSummary summary;
  const auto lines = check(site.path(), &summary);
  chmod(site.path().c_str(), 0755);
  EXPECT_TRUE(testing::snapshot(site.path()) == before);
  EXPECT_EQ(summary.successes, 2);  // the sheet, listed and loaded, is read once
  EXPECT_EQ(lines.size(), 2u);
}

// What each file declares, by name: as a check lists it, or as a dry run found it before
// rewriting it (the declarations browsers read: not one the conversion adds, nor a sheet's rule
// past its start, which it rewrites too).
using Declared = std::multiset<std::pair<DeclarationForm, std::string>>;
std::map<std::string, Declared> declaredBy(const fs::path& folder, WriteMode mode) {
  RunRequest request;
  request.mode = mode;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) request.paths.push_back(entry.path().native());
  request.namedPaths = {folder};
  std::map<std::string, Declared> found;
  RunObserver observer;
  observer.fileDone = [&](const FileOutcome& outcome) {
    Declared& declared = found[outcome.path.lexically_relative(folder).string()];
    declared.clear();  // a dry run lists a sheet both listed and loaded twice, alike
    if (!outcome.document) return;
    for (const Declaration& own : outcome.document->declarations) {
      const bool misplacedRule = own.form == DeclarationForm::CharsetRule && own.fate == DeclarationFate::Rewritten;
      if (own.fate != DeclarationFate::Added && !misplacedRule) declared.insert({own.form, own.formerCharset});
    }
  };
  std::atomic<bool> cancel{false};
  conversionWorker(request, observer, cancel);
  return found;
}

// A check and a conversion read a file's declarations with the same readers, so they name the
// same ones: over the sample site and the edges where two readers could part.
TEST(SiteCheck, DeclaresWhatTheConversionReads) {
  TempFolder site;
  fs::copy(fs::path(SARNAVEL_SOURCE_DIR) / "samples/site", site.path(), fs::copy_options::recursive);
  const std::string longLabel(1020, 'x');
  const struct {
    std::string name, bytes;
    Declared declared;
  } edges[] = {
      {"late.css", "/*" + std::string(1100, ' ') + "*/@charset \"EUC-JP\";\np{}\n", {}},
      {"long.css", "@charset \"" + longLabel + "\";\np{}\n", {}},
      {"spaced.css", "@charset  \"EUC-JP\" ;\np{}\n", {}},  // replaced, but no browser reads it
      {"quoted.css", "@charset \"utf-8\"\np{font-family:\"x\";}\n", {}},
      {"bom.css",
       "\xEF\xBB\xBF@charset \"UTF-8\";\np:after{content:\"" + kUtf8 + "\"}\n",
       {{DeclarationForm::CharsetRule, "UTF-8"}}},
      {"spaced.html",
       "<?xml version='1.0'  encoding \t= 'Shift_JIS' ?>\n" + page("", kSjis),
       {{DeclarationForm::XmlDeclaration, "Shift_JIS"}}},
      {"utf16.html",
       "\xFF\xFE<\0m\0e\0t\0a\0 \0c\0h\0a\0r\0s\0e\0t\0=\0\"\0u\0t\0f\0-\08\0\"\0>\0<\0p\0>\0\xE5"
       "e,g\0\n\0"s,
       {{DeclarationForm::MetaCharset, "utf-8"}}},
  };
  for (const auto& edge : edges) site.put(edge.name, edge.bytes);
  const std::map<std::string, Declared> checked = declaredBy(site.path(), WriteMode::Check);
  const std::map<std::string, Declared> converted = declaredBy(site.path(), WriteMode::DryRun);
  EXPECT_EQ(checked.size(), 9u + std::size(edges));
  EXPECT_EQ(converted.size(), checked.size());
  for (const auto& [name, declared] : converted) {
    auto check = checked.find(name);
    ASSERT_NE(check, checked.end()) << name;
    EXPECT_EQ(check->second, declared) << name;
  }
  for (const auto& edge : edges) EXPECT_EQ(checked.at(edge.name), edge.declared) << edge.name;
}

}  // namespace
}  // namespace sarnavel
