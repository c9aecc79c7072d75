// The language of the messages: the locale as POSIX orders it, and the English table.
#include "report/message_language.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "report/fidelity_notes.h"
#include "report/file_notes.h"
#include "report/file_warnings.h"
#include "report/run_listing.h"

namespace sarnavel {
namespace {

TEST(MessageLanguage, TheFirstLocaleSetDecides) {
  using L = MessageLanguage;
  const struct {
    const char *all, *messages, *lang;
    L language;
  } cases[] = {
      {nullptr, nullptr, nullptr, L::English},
      {nullptr, nullptr, "ja_JP.UTF-8", L::Japanese},
      {nullptr, nullptr, "C", L::English},
      {nullptr, "ja_JP.eucJP", "en_US.UTF-8", L::Japanese},
      {"C", "ja_JP.UTF-8", "ja_JP.UTF-8", L::English},  // LC_ALL=C: English
      {"", "", "ja", L::Japanese},                      // empty is unset
      {"en_GB.UTF-8", nullptr, "ja_JP.UTF-8", L::English},
      {"POSIX", nullptr, nullptr, L::English},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(messageLanguageOf(c.all, c.messages, c.lang), c.language)
        << (c.all ? c.all : "-") << " " << (c.messages ? c.messages : "-") << " " << (c.lang ? c.lang : "-");
  }
}

// Each English text has the places of its source, each source text is in the table once, and a
// message fills its places in either language.
TEST(MessageLanguage, EveryEnglishTextHasItsSourcesPlaces) {
  auto places = [](std::string_view text) {
    std::multiset<char> found;
    for (std::size_t k = 0; k + 2 < text.size(); ++k)
      if (text[k] == '{' && text[k + 2] == '}') found.insert(text[k + 1]);
    return found;
  };
  std::set<std::string_view> sources;
  for (const auto& [source, english] : englishMessages()) {
    EXPECT_EQ(places(source), places(english)) << source;
    EXPECT_TRUE(sources.insert(source).second) << source;
  }
  const std::string_view source = "{2} に {1} のファイルがありません（--kinds でほかの種類も変換できます）";
  EXPECT_EQ(message(MessageLanguage::English, source, {".css", "site"}), "no .css file in site; --kinds adds others");
  EXPECT_EQ(message(MessageLanguage::Japanese, source, {".css", "site"}),
            "site に .css のファイルがありません（--kinds でほかの種類も変換できます）");
  EXPECT_EQ(message(MessageLanguage::English, "表にない文"), "表にない文");
}

// Whether the text holds kana, which no English sentence does.
bool holdsKana(std::string_view text) {
  for (std::size_t k = 0; k + 1 < text.size(); ++k)
    if (text[k] == '\xE3' && (text[k + 1] == '\x81' || text[k + 1] == '\x82' || text[k + 1] == '\x83')) return true;
  return false;
}

// Every sentence a file's log line may carry has its English: a source text missing from the
// table would show in Japanese.
TEST(MessageLanguage, EveryNoteOfTheLogHasItsEnglish) {
  const NoteWording english{WriteMode::Write, TargetEncoding::Utf8, {}, MessageLanguage::English};
  std::vector<NoteLine> lines;
  for (int problem = 1; problem <= static_cast<int>(StoreProblem::InputOutput); ++problem)
    lines.push_back(noteLine({NoteCode::StoreProblem, static_cast<StoreProblem>(problem)}, english));
  for (int code = 1; code <= static_cast<int>(NoteCode::BackupKept); ++code) {
    for (const char* why : {"link", "not-regular", "too-large", "gone"})
      lines.push_back(noteLine({static_cast<NoteCode>(code), StoreProblem::None, {"2", why, "3", "4"}}, english));
  }
  for (const char* why : {"invalid-bytes", "lacked-character", "encoding", "backslash-byte"})
    lines.push_back(noteLine({NoteCode::CodeLeft, StoreProblem::None, {why, "1", "2", "12477"}}, english));
  for (const char* why : {"cancelled", "not-walked", "passed-over", "file-left", "untaken-page", "changed"})
    lines.push_back(noteLine({NoteCode::ServerCharsetKept,
                              StoreProblem::None,
                              {"Shift_JIS", "/s/.htaccess", "1", "AddDefaultCharset", why, "/s/a"}},
                             english));
  DocumentResult record;
  record.source = {SourceEncoding::ShiftJis, DecisionBasis::Detection, SourceEncoding::EucJp};
  record.lost = {{0x2460, 1, {5, 6}, StandIn::GetaMark}};
  record.escaped = {{0xE9, 2, {3, 4}}};
  record.invalidBytes = {1, {7, 8}};
  record.addNotice({PageNoticeKind::FormWithoutAcceptCharset, {1, 1}, "/cgi"});
  record.addNotice({PageNoticeKind::NonAsciiQuery, {2, 1}, "/q?a"});
  for (const std::uint32_t more : {1u, 2u, 3u, 4u}) {
    record.addNotice({PageNoticeKind::FormWithoutAcceptCharset, {3, more}, "/cgi"});
    record.addNotice({PageNoticeKind::NonAsciiQuery, {4, more}, "/q?a"});
  }
  for (const DecisionBasis basis :
       {DecisionBasis::Detection, DecisionBasis::LoadingPage, DecisionBasis::Site, DecisionBasis::LoadingElement}) {
    record.source.basis = basis;
    for (NoteLine& line : documentWarnings(record, TargetEncoding::Utf8, MessageLanguage::English))
      lines.push_back(std::move(line));
  }
  // And what a page cannot show as before, each list long enough to be cut short.
  DocumentResult page;
  for (char32_t c = 0x2460; c < 0x2466; ++c) {
    page.lost.push_back({c, 1, {1, 1}, StandIn::Reference});
    page.lost.push_back({c, 1, {2, 1}, StandIn::UnshownReference});
  }
  FoundReference loaded;
  loaded.status = ReferenceStatus::Followable;
  loaded.path = "/site/m.js";
  loaded.module = loaded.writtenByScript = true;
  page.references.add(loaded);
  page.addNotice({PageNoticeKind::CharsetByScript, {3, 1}, "<script charset=\"euc-jp\">"});
  page.addNotice({PageNoticeKind::CharsetSetByScript, {4, 1}, "s.charset = \"euc-jp\""});
  page.pageNoticesUnlisted[static_cast<std::size_t>(PageNoticeKind::CharsetByScript)] = 2;
  const std::size_t before = lines.size();
  appendFidelityNotes(page, TargetEncoding::ShiftJis, MessageLanguage::English, lines);
  EXPECT_EQ(lines.size(), before + 7);
  EXPECT_GT(lines.size(), 40u);
  for (const NoteLine& line : lines) EXPECT_FALSE(holdsKana(line.text)) << line.code << ": " << line.text;
}

// So has every reason an undo is refused for; the run's id keeps its place in either language.
TEST(MessageLanguage, EveryRefusalOfAnUndoHasItsEnglish) {
  for (int refusal = 1; refusal <= static_cast<int>(UndoRefusal::StillRunning); ++refusal) {
    UndoSummary undo;
    undo.refusal = static_cast<UndoRefusal>(refusal);
    undo.later = "20261209T2";
    const std::string english = undoRefusalLine(undo, "20261209T1", MessageLanguage::English);
    const std::string japanese = undoRefusalLine(undo, "20261209T1", MessageLanguage::Japanese);
    EXPECT_FALSE(holdsKana(english)) << english;
    EXPECT_TRUE(holdsKana(japanese)) << japanese;
    EXPECT_EQ(english.find("20261209T1") == std::string::npos, japanese.find("20261209T1") == std::string::npos);
  }
}

}  // namespace
}  // namespace sarnavel
