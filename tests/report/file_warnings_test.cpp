// The warnings of a conversion: what a file's record says, and what an .htaccess announces.
#include "report/file_warnings.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "report/file_notes.h"
#include "run/server_charset.h"
#include "support/temp_folder.h"

namespace sarnavel {
namespace {

using testing::TempFolder;

std::string dump(const std::vector<NoteLine>& notes) {
  std::string out;
  for (const NoteLine& n : notes)
    out += n.code + "@" + std::to_string(n.at.line) + ":" + std::to_string(n.at.column) + " " + n.text + "\n";
  return out;
}

// The run's notes as a UTF-8 conversion words them.
std::string dump(const std::vector<FileNote>& notes) {
  std::vector<NoteLine> lines;
  for (const FileNote& n : notes) lines.push_back(noteLine(n, {WriteMode::Write, TargetEncoding::Utf8, {}}));
  return dump(lines);
}

DocumentResult record(SourceEncoding source, std::vector<PageNotice> notices = {}, std::string declared = {}) {
  DocumentResult r;
  r.source = {source, DecisionBasis::Detection};
  r.pageNotices = std::move(notices);
  if (!declared.empty())
    r.declarations.push_back({DeclarationForm::ContentTypeMeta, declared, DeclarationFate::Replaced});
  return r;
}

TEST(FileWarnings, WhatARecordSays) {
  DocumentResult lost = record(SourceEncoding::Utf8);
  lost.lost = {{0xE000, 2, {12, 5}, StandIn::GetaMark},
               {0x2460, 1, {13, 1}, StandIn::GetaMark},
               {0x2461, 1, {14, 1}, StandIn::GetaMark},
               {0x2462, 1, {15, 1}, StandIn::GetaMark}};
  DocumentResult escaped = record(SourceEncoding::Utf8);
  escaped.escaped = {{0xE9, 3, {2, 7}}};
  DocumentResult invalid = record(SourceEncoding::ShiftJis);
  invalid.invalidBytes = {4, {3, 9}};
  DocumentResult oneInvalid = record(SourceEncoding::EucJp);
  oneInvalid.invalidBytes = {1, {1, 2}};
  const PageNotice form{PageNoticeKind::FormWithoutAcceptCharset, {7, 3}, "/cgi-bin/post.cgi"};
  const PageNotice query{PageNoticeKind::NonAsciiQuery, {9, 1}, "s.cgi?q=\xE6\x97\xA5"};
  DocumentResult manyForms = record(SourceEncoding::ShiftJis, {form});
  manyForms.pageNoticesUnlisted[static_cast<std::size_t>(PageNoticeKind::FormWithoutAcceptCharset)] = 399999;
  DocumentResult uncertain = record(SourceEncoding::ShiftJis);
  uncertain.source = {SourceEncoding::ShiftJis, DecisionBasis::LoadingPage, SourceEncoding::EucJp};
  const struct {
    DocumentResult record;
    TargetEncoding target;
    std::string expected;
  } cases[] = {
      {record(SourceEncoding::ShiftJis), TargetEncoding::Utf8, ""},
      {lost, TargetEncoding::EucJp,
       "lost-characters@12:5 EUC-JP にない文字 5 個を代わりの文字（〓 など）にしました: U+E000 (12:5)、U+2460 (13:1)、"
       "U+2461 (14:1) ほか\n"},
      {escaped, TargetEncoding::ShiftJis,
       "escaped-characters@2:7 文字 3 個を文字参照・エスケープで書きました（表示は変わりません）: U+00E9 (2:7)\n"},
      {invalid, TargetEncoding::Utf8, "invalid-bytes@3:9 文字にならないバイトが 4 個ありました（最初は 3:9）。\n"},
      {oneInvalid, TargetEncoding::ShiftJis,
       "invalid-bytes@1:2 文字にならないバイトが 1 個ありました（最初は 1:2）。\n"},
      {manyForms, TargetEncoding::Utf8,
       "form-encoding@7:3 7:3: accept-charset のない form は、これから UTF-8 で送信されます（受け取る CGI "
       "を確かめてください）: action=\"/cgi-bin/post.cgi\"\n"
       "form-encoding@0:0 ほかにも同じ form が 399999 個あります。\n"},
      {uncertain, TargetEncoding::Utf8,
       "encoding-uncertain@0:0 バイトだけなら EUC-JP と読めますが、読み込むページの文字コードに従って Shift_JIS "
       "として読みました。\n"},
      {record(SourceEncoding::ShiftJis, {form, query}), TargetEncoding::Utf8,
       "form-encoding@7:3 7:3: accept-charset のない form は、これから UTF-8 で送信されます（受け取る CGI "
       "を確かめてください）: action=\"/cgi-bin/post.cgi\"\n"
       "query-encoding@9:1 9:1: URL のクエリーの ASCII 以外の文字は、これから UTF-8 でパーセントエンコードされます: "
       "s.cgi?q=\xE6\x97\xA5\n"},
      // The page's encoding does not change: its forms and links mean what they meant.
      {record(SourceEncoding::Utf8, {form, query}), TargetEncoding::Utf8, ""},
      {record(SourceEncoding::Ascii, {form}, "utf-8"), TargetEncoding::Utf8, ""},
      {record(SourceEncoding::Utf16, {form}), TargetEncoding::Utf8, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(dump(documentWarnings(c.record, c.target)), c.expected);
  // An ASCII page that declared another encoding, or none, now posts in the target's.
  EXPECT_TRUE(pageEncodingChanges(record(SourceEncoding::Ascii, {}, "Shift_JIS"), TargetEncoding::Utf8));
  EXPECT_TRUE(pageEncodingChanges(record(SourceEncoding::Ascii), TargetEncoding::Utf8));
}

std::string directives(std::string_view text) {
  std::string out;
  for (const ServerCharsetDirective& d : readServerCharsetDirectives(text)) {
    out += std::to_string(d.line) + " " + d.charset + " [";
    for (const std::string& e : d.extensions) out += e + ";";
    out += "] " + d.text + "\n";
  }
  return out;
}

TEST(ServerCharset, DirectivesRead) {
  const struct {
    std::string text, expected;
  } cases[] = {
      {"AddDefaultCharset Shift_JIS\n", "1 Shift_JIS [] AddDefaultCharset Shift_JIS\n"},
      {"adddefaultcharset On\r\n", "1 ISO-8859-1 [] adddefaultcharset On\n"},
      {"AddDefaultCharset Off\n", ""},
      {"# AddDefaultCharset EUC-JP\n", ""},
      {"  AddCharset EUC-JP .html .HTM css\n", "1 EUC-JP [html;htm;css;] AddCharset EUC-JP .html .HTM css\n"},
      {"AddType \"text/html; charset=Shift_JIS\" .html\n",
       "1 Shift_JIS [html;] AddType \"text/html; charset=Shift_JIS\" .html\n"},
      {"AddType text/html;charset=euc-jp html\n", "1 euc-jp [html;] AddType text/html;charset=euc-jp html\n"},
      {"AddType text/html .html\n", ""},
      {"Options -Indexes\n\nAddCharset Shift_JIS \\\n  .js\n", "3 Shift_JIS [js;] AddCharset Shift_JIS    .js\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(directives(c.text), c.expected) << c.text;
}

TEST(ServerCharset, TheDeepestDirectiveUpToTheNamedFolderOncePerRun) {
  TempFolder tree;
  tree.put(".htaccess", "AddDefaultCharset EUC-JP\n");  // above the named folder: not looked at
  tree.put("site/.htaccess", "Options None\nAddDefaultCharset Shift_JIS\nAddCharset Shift_JIS .js\n");
  tree.put("site/utf/.htaccess", "AddDefaultCharset UTF-8\n");
  ServerCharsetLookup lookup(TargetEncoding::Utf8, {tree / "site"});
  const std::string htaccess = (tree / "site/.htaccess").string();
  EXPECT_EQ(dump(lookup.notesFor(tree / "site/a/index.html")),
            "server-charset@0:0 サーバーが HTTP で Shift_JIS と伝えるため、ブラウザーは meta より優先します。UTF-8 "
            "に変えてください: " +
                htaccess + ":2: AddDefaultCharset Shift_JIS\n");
  EXPECT_EQ(dump(lookup.notesFor(tree / "site/b.html")), "");          // named once per run
  EXPECT_EQ(dump(lookup.notesFor(tree / "site/style.css")), "");       // the default is for pages
  EXPECT_EQ(dump(lookup.notesFor(tree / "site/utf/index.html")), "");  // the deeper one names the target
  EXPECT_NE(dump(lookup.notesFor(tree / "site/js/a.js")).find(htaccess + ":3: AddCharset Shift_JIS .js"),
            std::string::npos);
  ServerCharsetLookup named(TargetEncoding::Utf8, {tree / "site/utf"});
  EXPECT_EQ(dump(named.notesFor(tree / "site/utf/x.html")), "");
}

// An .htaccess that is there but not read (never a pipe, which would wait forever; not through
// a link; not one over 1 MiB) is named once, under the first file it would govern.
TEST(ServerCharset, AnHtaccessNotReadIsNamed) {
  TempFolder tree;
  ASSERT_EQ(mkfifo((tree / ".htaccess").c_str(), 0644), 0);
  TempFolder other;
  other.put("real", "AddDefaultCharset Shift_JIS\n");
  std::filesystem::create_directory(tree / "sub");
  std::filesystem::create_symlink(other / "real", tree / "sub/.htaccess");
  tree.put("big/.htaccess", "AddDefaultCharset Shift_JIS\n" + std::string(1 << 20, '#'));
  ServerCharsetLookup lookup(TargetEncoding::Utf8, {tree.path()});
  auto unread = [&](const std::string& folder, const std::string& why) {
    return "htaccess-unread@0:0 " + (tree / folder).string() + " は読みませんでした（" + why +
           "）。サーバーがこのファイルを何の文字コードとして送るか確かめてください。\n";
  };
  EXPECT_EQ(dump(lookup.notesFor(tree / "index.html")), unread(".htaccess", "通常のファイルではない"));
  EXPECT_EQ(dump(lookup.notesFor(tree / "sub/index.html")), unread("sub/.htaccess", "シンボリックリンク"));
  EXPECT_EQ(dump(lookup.notesFor(tree / "big/index.html")), unread("big/.htaccess", "1 MiB より大きい"));
  EXPECT_EQ(dump(lookup.notesFor(tree / "sub/other.html")), "");  // once
}

}  // namespace
}  // namespace sarnavel
