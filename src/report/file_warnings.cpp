#include "report/file_warnings.h"

#include "engine/charset_label.h"
#include "engine/target_options.h"
#include "report/report_names.h"
#include "report/visible_path.h"

namespace sarnavel {
namespace {

// "U+E000 (12:5)、U+2460 (3:1) ほか": the first few by position.
template <class Character>
std::string named(const std::vector<Character>& characters) {
  std::string text;
  for (std::size_t k = 0; k < characters.size() && k < kCharactersNamed; ++k) {
    if (k > 0) text += "、";
    text += codePointText(characters[k].codePoint);
    if (const std::string at = positionText(characters[k].first); !at.empty()) text += " (" + at + ")";
  }
  if (characters.size() > kCharactersNamed) text += " ほか";
  return text;
}

template <class Character>
std::size_t total(const std::vector<Character>& characters) {
  std::size_t n = 0;
  for (const Character& c : characters) n += c.count;
  return n;
}

// The name of a reading in a note.
std::string readingName(SourceEncoding encoding) {
  switch (encoding) {
    case SourceEncoding::ShiftJis: return std::string(charsetNameOf(TargetEncoding::ShiftJis));
    case SourceEncoding::EucJp: return std::string(charsetNameOf(TargetEncoding::EucJp));
    case SourceEncoding::Iso2022Jp: return std::string(charsetNameOf(TargetEncoding::Iso2022Jp));
    case SourceEncoding::Utf8: return std::string(charsetNameOf(TargetEncoding::Utf8));
    case SourceEncoding::Latin1: return "windows-1252";
    case SourceEncoding::Utf16: return "UTF-16";
    case SourceEncoding::Ascii: break;
  }
  return "ASCII";
}

}  // namespace

bool pageEncodingChanges(const DocumentResult& record, TargetEncoding target) {
  const SourceEncoding now = sourceEncodingOf(target);
  if (record.source.encoding == now) return false;
  if (record.source.encoding == SourceEncoding::Utf16)
    return now != SourceEncoding::Utf8;  // forms of UTF-16 pages post UTF-8
  if (record.source.encoding != SourceEncoding::Ascii) return true;
  for (const Declaration& declaration : record.declarations) {
    if (declaration.fate != DeclarationFate::Added && encodingOfLabel(declaration.formerCharset) == now) return false;
  }
  return true;
}

namespace {

// The note that the bytes did not settle the encoding, when they did not.
std::optional<NoteLine> uncertainNote(const EncodingDecision& source, MessageLanguage language) {
  if (!source.otherReading) return std::nullopt;
  const std::string chosen = readingName(source.encoding), other = readingName(*source.otherReading);
  std::string_view why;
  switch (source.basis) {
    case DecisionBasis::LoadingElement: why = "読み込む要素の charset に従って"; break;
    case DecisionBasis::LoadingPage: why = "読み込むページの文字コードに従って"; break;
    case DecisionBasis::Site: why = "サイトのほかのファイルに合わせて"; break;
    default: break;
  }
  return NoteLine{"encoding-uncertain",
                  {},
                  why.empty() ? message(language,
                                        "文字コードがバイトからは決まりません（{1} とも {2} とも読めます）。{1} "
                                        "として読みました。",
                                        {chosen, other})
                              : message(language, "バイトだけなら {2} と読めますが、{3} {1} として読みました。",
                                        {chosen, other, message(language, why)})};
}

// Under a page whose encoding changes: what its forms and links will now send differently.
void pageNoticeWarnings(const DocumentResult& record, const std::string& targetText, MessageLanguage language,
                        std::vector<NoteLine>& notes) {
  for (const PageNotice& notice : record.pageNotices) {
    const std::string where = positionText(notice.at);
    const std::string prefix = where.empty() ? std::string() : where + ": ";
    const std::string value = visiblePath(notice.text);
    if (notice.kind == PageNoticeKind::FormWithoutAcceptCharset) {
      notes.push_back({"form-encoding", notice.at,
                       prefix + message(language,
                                        "accept-charset のない form は、これから {1} で送信されます（受け取る CGI "
                                        "を確かめてください）: action=\"{2}\"",
                                        {targetText, value})});
    } else if (notice.kind == PageNoticeKind::NonAsciiQuery) {
      notes.push_back(
          {"query-encoding", notice.at,
           prefix + message(language,
                            "URL のクエリーの ASCII 以外の文字は、これから {1} でパーセントエンコードされます: {2}",
                            {targetText, value})});
    }
  }
  const std::size_t forms =
      record.pageNoticesUnlisted[static_cast<std::size_t>(PageNoticeKind::FormWithoutAcceptCharset)];
  const std::size_t queries = record.pageNoticesUnlisted[static_cast<std::size_t>(PageNoticeKind::NonAsciiQuery)];
  if (forms > 0)
    notes.push_back(
        {"form-encoding", {}, message(language, "ほかにも同じ form が {1} 個あります。", {std::to_string(forms)})});
  if (queries > 0)
    notes.push_back(
        {"query-encoding", {}, message(language, "ほかにも同じ URL が {1} 個あります。", {std::to_string(queries)})});
}

}  // namespace

std::vector<NoteLine> documentWarnings(const DocumentResult& record, TargetEncoding target, MessageLanguage language) {
  std::vector<NoteLine> notes;
  const std::string targetText(charsetNameOf(target));
  if (std::optional<NoteLine> uncertain = uncertainNote(record.source, language))
    notes.push_back(std::move(*uncertain));
  // Characters lost in raw text, where they show as their references, have their own note
  // (fidelity_notes.h).
  std::vector<LostCharacter> substituted;
  for (const LostCharacter& c : record.lost) {
    if (c.writtenAs != StandIn::Reference && c.writtenAs != StandIn::UnshownReference) substituted.push_back(c);
  }
  if (!substituted.empty()) {
    notes.push_back({"lost-characters", substituted.front().first,
                     message(language, "{1} にない文字 {2} 個を代わりの文字（〓 など）にしました: {3}",
                             {targetText, std::to_string(total(substituted)), named(substituted)})});
  }
  if (!record.escaped.empty()) {
    notes.push_back({"escaped-characters", record.escaped.front().first,
                     message(language, "文字 {1} 個を文字参照・エスケープで書きました（表示は変わりません）: {2}",
                             {std::to_string(total(record.escaped)), named(record.escaped)})});
  }
  if (record.invalidBytes.count > 0) {
    const std::string at = positionText(record.invalidBytes.first);
    const std::string count = std::to_string(record.invalidBytes.count);
    notes.push_back({"invalid-bytes", record.invalidBytes.first,
                     at.empty()
                         ? message(language, "文字にならないバイトが {1} 個ありました。", {count})
                         : message(language, "文字にならないバイトが {1} 個ありました（最初は {2}）。", {count, at})});
  }
  if (!record.pageNotices.empty() && pageEncodingChanges(record, target))
    pageNoticeWarnings(record, targetText, language, notes);
  return notes;
}

}  // namespace sarnavel
