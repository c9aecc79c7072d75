// The report's lines: every field of a file's object from its outcome, and the summary's tallies.
#include "report/run_report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "report/file_notes.h"

namespace sarnavel {
namespace {

using Json = nlohmann::ordered_json;

FileOutcome converted() {
  FileOutcome o;
  o.path = "/site/index.html";
  o.pass = 1;
  DocumentResult& r = o.document.emplace();
  r.source = {SourceEncoding::ShiftJis, DecisionBasis::Declaration};
  r.declarations = {{DeclarationForm::ContentTypeMeta, "Shift_JIS", DeclarationFate::MovedBeforeTitle}};
  r.references.add({LoadedKind::Script, "a.js", ReferenceStatus::Followable, "/site/a.js", "EUC-JP", true});
  r.escaped = {{0xE9, 2, {3, 4}}};
  r.lost = {{0x2460, 1, {5, 6}, StandIn::GetaMark}, {0x1F600, 1, {9, 1}, StandIn::Reference}};
  r.invalidBytes = {1, {7, 8}};
  r.lineBreaksBefore = {2, 1, 0};
  r.lineBreaksAfter = {0, 3, 0};
  r.bytesBefore = 100;
  r.bytesAfter = 120;
  o.notes = {{NoteCode::OutsideNamed}};
  o.backup = "/site/index.html.bak";
  return o;
}

TEST(RunReport, AConvertedFilesObject) {
  RunReport report(WriteMode::Write, TargetEncoding::Utf8);
  const Json line = Json::parse(report.fileLine(converted(), "/site/index.html"));
  EXPECT_EQ(line, Json::parse(R"j({"path":"/site/index.html","kind":"html","pass":1,"result":100,
    "source":{"encoding":"shift_jis","decidedBy":"declaration"},
    "declared":[{"where":"meta","charset":"Shift_JIS"}],"target":"utf-8","declaration":"moved-before-title",
    "escaped":[{"codePoint":"U+00E9","count":2,"first":"3:4"}],
    "lost":[{"codePoint":"U+2460","count":1,"first":"5:6","writtenAs":"geta-mark"},
            {"codePoint":"U+1F600","count":1,"first":"9:1","writtenAs":"reference"}],
    "invalidBytes":{"count":1,"first":"7:8"},
    "lineBreaks":{"before":{"crlf":2,"lf":1,"cr":0},"after":{"crlf":0,"lf":3,"cr":0}},
    "bytesBefore":100,"bytesAfter":120,"backup":"/site/index.html.bak",
    "references":[{"kind":"js","reference":"a.js","status":"followed","charset":"EUC-JP"}],
    "problems":[{"code":"invalid-bytes","line":7,"text":"文字にならないバイトが 1 個あります（shift_jis として読んだ場合）。"},
                {"code":"mixed-line-breaks","line":null,"text":"改行が混在しています（CR+LF 2、LF 1、CR 0）。"}],
    "warnings":[{"code":"lost-characters","line":5,"text":"UTF-8 にない文字 1 個を代わりの文字（〓 など）にしました: U+2460 (5:6)"},
                {"code":"escaped-characters","line":3,"text":"文字 2 個を文字参照・エスケープで書きました（表示は変わりません）: U+00E9 (3:4)"},
                {"code":"invalid-bytes","line":7,"text":"文字にならないバイトが 1 個ありました（最初は 7:8）。"},
                {"code":"lost-characters","line":9,"text":"<xmp> や <plaintext> の中では文字参照が読まれないため、変換先にない文字が参照のまま表示されます: U+1F600 (9:1)"},
                {"code":"outside-named","line":null,"text":"指定されたフォルダーとファイルの外にありますが、ページが読み込むため変換しました。"}]})j"));
}

TEST(RunReport, ACheckADryRunAndAnUnreadableFileSayOnlyWhatTheyKnow) {
  FileOutcome unreadable;
  unreadable.path = "/site/gone.css";
  unreadable.pass = 2;
  unreadable.result = ResultCode::CannotOpen;

  RunReport check(WriteMode::Check, TargetEncoding::ShiftJis);
  const Json checked = Json::parse(check.fileLine(converted(), "/site/index.html"));
  for (const char* field : {"target", "declaration", "bytesAfter", "backup"})
    EXPECT_TRUE(checked[field].is_null()) << field;
  EXPECT_TRUE(checked["lineBreaks"]["after"].is_null());
  EXPECT_EQ(Json::parse(check.fileLine(unreadable, "/site/gone.css")),
            Json::parse(R"({"path":"/site/gone.css","kind":"css","pass":2,"result":102,"problems":[],"warnings":[]})"));
  EXPECT_EQ(Json::parse(check.summaryLine({true, false, 1, 1})),
            Json::parse(R"({"version":1,"mode":"check","target":null,"files":2,"entries":2,"successes":1,"failures":1,
              "cancelled":false,"encodings":{"shift_jis":1},"problems":{"invalid-bytes":1,"mixed-line-breaks":1},
              "warnings":{"outside-named":1}})"));

  FileOutcome htaccess;  // the server's charset, rewritten after the five passes
  htaccess.path = "/site/.htaccess";
  htaccess.pass = kServerCharsetPass;
  const Json fixed =
      Json::parse(RunReport(WriteMode::Write, TargetEncoding::Utf8).fileLine(htaccess, "/site/.htaccess"));
  EXPECT_EQ(std::tuple(fixed["kind"], fixed["pass"]), std::tuple(Json("htaccess"), Json(6)));

  RunReport dryRun(WriteMode::DryRun, TargetEncoding::Utf8);
  EXPECT_TRUE(Json::parse(dryRun.fileLine(converted(), "/site/index.html"))["backup"].is_null());
}

TEST(RunReport, TextThatIsNoUtf8StaysOneValidLine) {
  FileOutcome o = converted();
  o.document->declarations.front().formerCharset = "x\xFF\ny";
  RunReport report(WriteMode::Write, TargetEncoding::Utf8);
  const std::string line = report.fileLine(o, "/site/index.html");
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  EXPECT_EQ(Json::parse(line)["declared"][0]["charset"], "x\\xff\\ny");
}

// A line is drafted on the worker without the notes the in-order step may add, and finished
// with them: it must be the very bytes of the whole object written at once (the compact form,
// which a parse and a dump give back unchanged), its warnings the outcome's final notes.
TEST(RunReport, ALineDraftedBeforeItsLastNotesIsTheWholeObjectsText) {
  FileOutcome unreadable;
  unreadable.path = "/site/gone.css";
  unreadable.pass = 4;
  unreadable.result = ResultCode::CannotOpen;
  FileOutcome noNotes = converted();
  noNotes.notes.clear();
  FileOutcome odd = converted();
  odd.notes.push_back({NoteCode::ServerCharset, StoreProblem::None, {"x\xFF\"\\\t</y>", "/h", "1", "\x01"}});
  odd.document->references.add({LoadedKind::StyleSheet, "a\"b.css", ReferenceStatus::Missing, "", "\x7F\x01", false});
  odd.document->references.add({LoadedKind::Script, "\t", ReferenceStatus::Missing, "", "\xE6\x97\xA5\xFF", false});
  odd.problems.push_back({NoteCode::RecoveryPending, StoreProblem::None, {"\x1F"}});
  const std::vector<FileNote> added = {
      {NoteCode::OutsideNamed}, {NoteCode::ServerCharset, StoreProblem::None, {"\xFF", "/h", "3", "AddCharset"}}};
  for (WriteMode mode : {WriteMode::Write, WriteMode::DryRun, WriteMode::Check}) {
    for (const FileOutcome& whole : {converted(), noNotes, odd, unreadable}) {
      for (std::size_t laterNotes : {0, 1, 2}) {
        FileOutcome drafted = whole;  // as the worker saw it: the last notes not yet there
        FileOutcome finished = whole;
        for (std::size_t k = 0; k < laterNotes; ++k) finished.notes.push_back(added[k]);
        RunReport report(mode, TargetEncoding::EucJp);
        for (const char* shown : {"/site/x", "/site/\"q\".css", "/site/q\\.css", "/\xE3\x82\xB5\"q\\\x7F/\x01\xFF"}) {
          const std::vector<NoteLine> warnings = warningsOf(finished, {mode, TargetEncoding::EucJp, {}});
          const std::string line = report.finish(finished, warnings, report.draft(drafted, shown));
          ASSERT_EQ(line.back(), '\n');
          const Json parsed = Json::parse(line);
          EXPECT_EQ(parsed.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n", line);
          EXPECT_EQ(parsed["warnings"].size(), warnings.size());
        }
      }
    }
  }
}

}  // namespace
}  // namespace sarnavel
