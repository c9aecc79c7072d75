// sarnavel-cli and the kinds of file beyond pages, sheets and scripts: the settings file the
// desktop program shares with it, --kinds over it, and a legacy site of every kind converted.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/cli_process.h"
#include "support/oracle.h"
#include "support/state_home.h"
#include "support/temp_folder.h"
#include "text/ascii.h"

namespace sarnavel::testing {
namespace {

namespace fs = std::filesystem;

// Writes the settings file the runs read (removed again at the end of the test).
class SettingsFile {
 public:
  explicit SettingsFile(const std::string& text) {
    fs::create_directories(settingsFileOf().parent_path());
    std::ofstream(settingsFileOf(), std::ios::binary) << text;
  }
  ~SettingsFile() { fs::remove(settingsFileOf()); }
};

// The settings file's kinds are the walk's; --kinds overrides them; what cannot be used there
// is named with its line and the default stands.
TEST(CliKinds, TheSettingsFileGivesTheKindsAndTheCommandLineWins) {
  TempFolder folder;
  const fs::path sheet = folder.put("site/a.css", "p{}\n");
  const fs::path script = folder.put("site/a.js", "var a;\n");
  {
    const SettingsFile settings("[conversion]\nkinds=css\nfix_server_charset=true\n");
    const CliResult r = runCli({"-q", "-t", "utf-8", "site"}, folder.path());
    EXPECT_EQ(r.out, finished(1, 0));
    EXPECT_EQ(r.err, "");
    const CliResult given = runCli({"-q", "-t", "utf-8", "--kinds", "js", "--no-fix", "site"}, folder.path());
    EXPECT_EQ(given.out, finished(1, 0));
    EXPECT_EQ(given.err, "");
    const CliResult none = runCli({"-q", "-t", "utf-8", "--kinds", "xhtml,xml,txt", "--no-fix", "site"}, folder.path());
    EXPECT_EQ(none.err,
              "sarnavel-cli: no .xhtml, .xht, .xml, .rss, .rdf, .atom, .txt, .csv or .tsv file in site; --kinds adds "
              "others\n");
  }
  {
    const SettingsFile settings("[conversion]\nkinds=\"+asp x\"\nfix_server_charset=maybe\n");
    const CliResult r = runCli({"-q", "-t", "utf-8", "site"}, folder.path());
    EXPECT_EQ(r.out, finished(2, 0));
    const std::string file = settingsFileOf().native();
    EXPECT_EQ(r.err, "sarnavel-cli: " + file +
                         ":2: kinds: '+asp x' is no list of kinds (html, css, js, xhtml, shtml, php, asp, jsp, "
                         "xml, txt); the default kinds are taken\n"
                         "sarnavel-cli: " +
                         file + ":3: fix_server_charset: 'maybe' is neither true nor false; not used\n");
  }
  {
    // A restore looks for the backups where the settings file has them made; a file with none
    // there fails, and so does the command.
    const SettingsFile settings("[conversion]\nbackup_dir=backups\nbackup_suffix=.orig\n");
    const fs::path page = folder.put("site/b.html", "new\n");
    folder.put("backups/b.html.orig", "old\n");
    const CliResult r = runCli({"-q", "--restore", "site/b.html"}, folder.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(TempFolder::read(page), "old\n");
    EXPECT_EQ(runCli({"-q", "--restore", "site/a.css"}, folder.path()).status, 1);
  }
  {
    // The settings file's fix_server_charset rewrites the server's charset; the command line's
    // --no-fix-server-charset wins over it.
    const SettingsFile settings("[conversion]\nfix_server_charset=true\n");
    for (const bool noFix : {false, true}) {
      TempFolder site;
      site.put("p.html", "<html><head><title>\x93\xFA\x96\x7B</title></head></html>\n");  // Shift_JIS
      const fs::path htaccess = site.put(".htaccess", "AddDefaultCharset Shift_JIS\n");
      std::vector<std::string> arguments = {"-q", "-t", "utf-8", site.path().native()};
      if (noFix) arguments.insert(arguments.begin(), "--no-fix-server-charset");
      EXPECT_EQ(runCli(arguments).status, 0);
      EXPECT_EQ(TempFolder::read(htaccess), noFix ? "AddDefaultCharset Shift_JIS\n" : "AddDefaultCharset UTF-8\n");
    }
  }
}

// --fix-server-charset rewrites the line that makes the server send a converted page's former
// encoding, with a backup, and --undo takes it back; any other line is named, not changed.
TEST(CliKinds, TheServersCharsetIsFixedWhereItNamesTheFormerEncoding) {
  const std::string page = "<html><head><title>\x93\xFA\x96\x7B</title></head></html>\n";  // Shift_JIS
  const struct {
    std::string htaccess;
    std::string after;  // empty: as it was, and the line named
    std::vector<std::string> options = {};
    std::string page = "index.html";
  } cases[] = {
      // The server sends SSI pages as HTML too: the default charset reaches them.
      {"AddDefaultCharset Shift_JIS\n", "AddDefaultCharset UTF-8\n", {"--kinds", "+shtml"}, "news.shtml"},
      {"Options -Indexes\nAddDefaultCharset Shift_JIS\n", "Options -Indexes\nAddDefaultCharset UTF-8\n"},
      {"  addcharset SJIS .htm .html\r\n# end\r\n", "  addcharset UTF-8 .htm .html\r\n# end\r\n"},
      {"AddType \"text/html; charset=x-sjis\" .html\n", "AddType \"text/html; charset=UTF-8\" .html\n"},
      {"<Files a.html>\nAddDefaultCharset EUC-JP\n</Files>\nAddDefaultCharset Shift_JIS\n",
       "<Files a.html>\nAddDefaultCharset EUC-JP\n</Files>\nAddDefaultCharset UTF-8\n"},
      {"<If \"%{HTTP_HOST} == 'a'\">\nAddDefaultCharset Shift_JIS\n</If>\n", ""},  // guarded
      {"<FilesMatch \"\\.html$\">\n  AddCharset Shift_JIS .html\n</FilesMatch>\n", ""},
      {"AddDefaultCharset EUC-JP\n", ""},         // not the encoding the page was in
      {"AddCharset Shift_JIS .html .txt\n", ""},  // texts, not converted, would be announced in UTF-8
      {"AddDefaultCharset On\n", ""},
      {"AddDefaultCharset \\\n  Shift_JIS\n", ""},  // over two lines
      {"AddDefaultCharset Shift_JIS\n", "", {"--dry-run"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.htaccess);
    TempFolder folder;
    folder.put("site/" + c.page, page);
    const fs::path htaccess = folder.put("site/.htaccess", c.htaccess);
    std::vector<std::string> arguments{"-t", "utf-8", "--fix-server-charset"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    arguments.push_back("site");
    const CliResult r = runCli(arguments, folder.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(TempFolder::read(htaccess), c.after.empty() ? c.htaccess : c.after);
    const bool fixed = !c.after.empty();
    EXPECT_EQ(fs::exists(htaccess.native() + ".bak"), fixed);
    if (fixed) {
      EXPECT_EQ(TempFolder::read(htaccess.native() + ".bak"), c.htaccess);
    }
    EXPECT_EQ(r.out.find("(the former content is in " + htaccess.native() + ".bak)") != std::string::npos, fixed)
        << r.out;
    EXPECT_EQ(r.out.find("change it to UTF-8: " + htaccess.native()) != std::string::npos, !fixed) << r.out;
    if (!fixed) continue;
    // The rewrite is the run's as any file's: its undo takes it back.
    const CliResult undo = runCli({"-q", "--undo"}, folder.path());
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_EQ(TempFolder::read(htaccess), c.htaccess);
    EXPECT_FALSE(fs::exists(htaccess.native() + ".bak"));
  }
}

// A legacy site of every kind converted has the text it had: each file, read in its new
// encoding, is the original read in Shift_JIS, but for the declarations naming the target.
TEST(CliKinds, ALegacySiteOfEveryKindKeepsItsText) {
  const std::pair<std::string, std::string> files[] = {
      {"index.html",
       "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=NAME\"><title>日本語の案内</title>"
       "<link rel=\"stylesheet\" href=\"css/site.css\" charset=\"NAME\"><script src=\"js/site.js\" "
       "charset=\"NAME\"></script></head>\r\n<body><p>ようこそ。漢字とかな、カタカナ。</p></body></html>\r\n"},
      {"about.xhtml",
       "<?xml version=\"1.0\" encoding=\"NAME\"?>\r\n<?xml-stylesheet href=\"css/site.css\" type=\"text/css\" "
       "charset=\"NAME\"?>\r\n<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
       "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\r\n<html xmlns=\"http://www.w3.org/1999/xhtml\"><head>"
       "<meta http-equiv=\"Content-Type\" content=\"application/xhtml+xml; charset=NAME\" /><title>会社概要</title>"
       "<script type=\"text/javascript\" src=\"js/site.js\" charset=\"NAME\"></script></head>\r\n"
       "<body><p>東京都千代田区</p></body></html>\r\n"},
      {"news.shtml",
       "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=NAME\"><title>お知らせ</title>"
       "</head>\n<body><!--#include virtual=\"/inc/menu.html\" --><p>更新しました。</p>"
       "<!--#include file=\"inc/footer.inc\" --><!--#include virtual=\"/ad/banner.html\" -->"
       "<!--#echo var=\"LAST_MODIFIED\" --></body></html>\n"},
      {"css/site.css",
       "@charset \"RULE\";\r\nbody { font-family: \"ＭＳ Ｐゴシック\"; }\r\np:before { content: \"※\"; }\r\n"},
      {"js/site.js", "var greeting = \"こんにちは、世界\";\r\n"},
      // Fragments the SSI page includes: no declaration is added to them.
      {"inc/menu.html", "<ul><li>ホーム</li><li>お知らせ</li></ul>\n"},
      {"inc/footer.inc", "<p>著作権表示</p>\n"},
      // A template's code keeps its bytes: its header() is the user's to change.
      {"contact.php",
       "<?php\nheader('Content-Type: text/html; charset=Shift_JIS');\n$title = 'お問い合わせ';\n?>\n"
       "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=NAME\">"
       "<title><?php echo $title; ?></title></head>\n<body><form action=\"<?= $url ?>\"><p>ご意見を"
       "どうぞ。</p></form><?php echo '<p>送信後に確認します。</p>'; ?></body></html>\n"},
      {"readme.txt", "このサイトについて\r\n更新日：二〇〇九年四月一日、担当 <info@example.jp>\r\n"},
      {"news.rss",
       "<?xml version=\"1.0\" encoding=\"NAME\"?>\r\n<rss version=\"2.0\"><channel><title>お知らせ</title>\r\n"
       "<item><title>新着情報</title><description><![CDATA[<p>更新しました。</p>]]></description></item>"
       "<!-- 更新履歴 --></channel></rss>\r\n"},
  };
  // A sheet's rule names the target in lower case.
  auto named = [](std::string text, const std::string& name) {
    for (std::size_t at = 0; (at = text.find("NAME", at)) != std::string::npos;) text.replace(at, 4, name);
    for (std::size_t at = 0; (at = text.find("RULE", at)) != std::string::npos;)
      text.replace(at, 4, lowercaseCopy(name));
    return text;
  };
  const struct {
    const char* target;
    const char* icu;
    const char* name;
  } targets[] = {
      {"shift_jis", "windows-31j", "Shift_JIS"},
      {"euc-jp", "EUC-JP", "EUC-JP"},
      {"utf-8", "UTF-8", "UTF-8"},
      {"iso-2022-jp", "ISO-2022-JP", "ISO-2022-JP"},
  };
  for (const auto& target : targets) {
    SCOPED_TRACE(target.target);
    TempFolder folder;
    for (const auto& [name, text] : files)
      folder.put("site/" + name, icuEncode("windows-31j", icuDecode("UTF-8", named(text, "Shift_JIS"))));
    const CliResult r =
        runCli({"-t", target.target, "--no-backup", "--kinds", "+xhtml,shtml,php,txt,xml", "site"}, folder.path());
    // Code is not kept byte for byte in ISO-2022-JP: the template is left as it was.
    const bool codeKept = std::string_view(target.target) != "iso-2022-jp";
    EXPECT_EQ(r.status, codeKept ? 0 : 1) << r.out << r.err;
    EXPECT_EQ(r.out.find("charset=" + std::string(target.name) + "');") != std::string::npos,
              codeKept && std::string_view(target.target) != "shift_jis")
        << r.out;
    // An included file the run does not convert is named under the page.
    EXPECT_NE(r.out.find("/site/ad/banner.html"), std::string::npos) << r.out;
    // The script the XHTML page loads is no more said to be loaded by a page left as it was.
    EXPECT_EQ(r.out.find("変換しない種類のページ"), std::string::npos) << r.out;
    for (const auto& [name, text] : files) {
      const bool left = !codeKept && name.ends_with(".php");
      EXPECT_EQ(icuUtf8(icuDecode(left ? "windows-31j" : target.icu, TempFolder::read(folder / ("site/" + name)))),
                named(text, left ? "Shift_JIS" : target.name))
          << name;
    }
  }
}

// A plain text holding a character its target lacks is left as it was, the character named by
// position, unless --allow-loss: then the geta mark stands for it and the log says so.
TEST(CliKinds, APlainTextLosesACharacterOnlyWhenAllowed) {
  const struct {
    bool allowed;
    const char* written;
    const char* said;
  } cases[] = {
      {false, "caf\xc3\xa9\n", "1 characters that EUC-JP lacks, where no reference can stand for them; left as it"},
      {true, "caf\xa2\xae\n", "1 characters that EUC-JP lacks were written as stand-ins"},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    const fs::path text = folder.put("notes.txt", "caf\xc3\xa9\n");
    std::vector<std::string> args = {"-t", "euc-jp", "--no-backup", "--kinds", "txt", "notes.txt"};
    if (c.allowed) args.insert(args.begin(), "--allow-loss");
    const CliResult r = runCli(args, folder.path());
    EXPECT_EQ(r.status, c.allowed ? 0 : 1) << r.out << r.err;
    EXPECT_EQ(TempFolder::read(text), c.written);
    EXPECT_NE(r.out.find(c.said), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("): U+00E9 (1:4)\n"), std::string::npos) << r.out;
  }
}

}  // namespace
}  // namespace sarnavel::testing
