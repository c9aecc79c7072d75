#include "report/source_facts.h"

#include "engine/charset_label.h"
#include "report/file_notes.h"
#include "report/report_names.h"
#include "report/visible_path.h"

namespace sarnavel {
namespace {

std::string quotedLabel(std::string_view label) { return "\"" + visiblePath(label) + "\""; }

bool sameEncoding(std::optional<SourceEncoding> named, SourceEncoding bytes) {
  if (!named) return false;
  if (bytes == SourceEncoding::Ascii) return true;
  return *named == bytes;
}

// What the element that loads the file says (or its page, when the element says nothing)
// against the bytes, when the two disagree.
std::optional<NoteLine> loadedMismatch(const LoadEvidence& loader, SourceEncoding bytes, const std::string& encoding) {
  if (!loader.charset.empty()) {
    if (labelFits(loader.charset, bytes)) return std::nullopt;
    return NoteLine{"loaded-mismatch",
                    {},
                    "読み込む要素の charset " + quotedLabel(loader.charset) + " は、バイトの文字コード " + encoding +
                        " と一致しません。"};
  }
  if (!loader.page) return std::nullopt;
  SourceEncoding page = *loader.page;
  if (page == SourceEncoding::Utf16) page = SourceEncoding::Utf8;  // what browsers lend from a UTF-16 page
  if (page == bytes || page == SourceEncoding::Ascii) return std::nullopt;
  return NoteLine{
      "loaded-mismatch",
      {},
      "読み込むページの文字コードと一致しません（要素に charset がなく、ページの文字コードで読まれます）。"};
}

}  // namespace

bool labelFits(std::string_view label, SourceEncoding encoding) {
  return sameEncoding(encodingOfLabel(label), encoding);
}

namespace {

// A template's code that has the server send, or the code work in, another encoding.
void codeDeclarationProblems(const DocumentResult& record, SourceFacts& facts) {
  for (const PageNotice& notice : record.pageNotices)
    if (notice.kind == PageNoticeKind::CharsetInCode)
      facts.problems.push_back(
          {"declaration-mismatch", notice.at,
           "コードの " + notice.text + " は、バイトの文字コード " + facts.encoding + " と一致しません。"});
}

}  // namespace

SourceFacts sourceFacts(DocumentKind kind, const DocumentResult& record, ContentForm form, const LoadEvidence& loader) {
  SourceFacts facts;
  const EncodingDecision& decision = record.source;
  const SourceEncoding bytes = decision.encoding;
  facts.encoding = std::string(encodingName(decision, form));
  const bool byteOrderMark = decision.basis == DecisionBasis::ByteOrderMark;

  bool ownDeclarationFits = false;
  for (const Declaration& own : record.declarations) {
    if (own.fate == DeclarationFate::Added) continue;
    facts.declared.push_back({std::string(declarationWhere(own.form)), own.formerCharset});
    if (labelFits(own.formerCharset, bytes)) {
      ownDeclarationFits = true;
    } else if (bytes != SourceEncoding::Utf16) {  // a UTF-16 file's own words count for nothing
      facts.problems.push_back({"declaration-mismatch",
                                {},
                                "宣言 " + std::string(declarationWhere(own.form)) + " の " +
                                    quotedLabel(own.formerCharset) + " は、バイトの文字コード " + facts.encoding +
                                    " と一致しません。"});
    }
  }
  codeDeclarationProblems(record, facts);
  const bool loaded = !loader.charset.empty() || loader.page.has_value() || loader.included;
  if (!loader.charset.empty()) {
    facts.declared.push_back({kind == DocumentKind::Script ? "script" : "link", loader.charset});
  }
  const bool ownWords = !facts.declared.empty() || byteOrderMark || loaded;
  // The server's header overrides everything but a byte-order mark.
  if (!loader.server.empty()) {
    facts.declared.push_back({"server", loader.server});
    if (!byteOrderMark && bytes != SourceEncoding::Utf16 && !labelFits(loader.server, bytes)) {
      facts.problems.push_back({"declaration-mismatch",
                                {},
                                "サーバー（.htaccess）が伝える " + quotedLabel(loader.server) +
                                    " は、バイトの文字コード " + facts.encoding + " と一致しません。"});
    }
  }
  // A script declares nothing of its own, and a plain text cannot.
  const bool declares = kind != DocumentKind::Script && kind != DocumentKind::Text;
  if (declares && bytes != SourceEncoding::Ascii && !ownWords) {
    if (loader.server.empty()) {
      facts.problems.push_back(
          {"no-declaration",
           {},
           "ASCII 以外の文字がありますが、文字コードの宣言がありません（ブラウザーは推測します）。"});
    } else {
      facts.problems.push_back(
          {"server-declared",
           {},
           "文字コードを伝えるのはサーバー（.htaccess）だけです（別のサーバーやファイルとして開くと"
           "ブラウザーは推測します）。"});
    }
  }
  if (record.invalidBytes.count > 0) {
    facts.problems.push_back({"invalid-bytes", record.invalidBytes.first,
                              "文字にならないバイトが " + std::to_string(record.invalidBytes.count) + " 個あります（" +
                                  facts.encoding + " として読んだ場合）。"});
  }
  // What the loading element says (or the page, when it says nothing) against the bytes.
  const bool readRightAnyway = byteOrderMark || (kind == DocumentKind::StyleSheet && ownDeclarationFits) ||
                               bytes == SourceEncoding::Ascii || bytes == SourceEncoding::Utf16;
  if (kind != DocumentKind::Page && loaded && !readRightAnyway) {
    if (std::optional<NoteLine> mismatch = loadedMismatch(loader, bytes, facts.encoding))
      facts.problems.push_back(std::move(*mismatch));
  }
  if (byteOrderMark && bytes == SourceEncoding::Utf8 && kind != DocumentKind::Text) {
    facts.problems.push_back(
        {"byte-order-mark",
         {},
         "UTF-8 のバイト順マーク (BOM) があります（PHP の include では本文の前に出力されます）。"});
  }
  const LineBreakCounts& breaks = record.lineBreaksBefore;
  if ((breaks.crlf > 0) + (breaks.lf > 0) + (breaks.cr > 0) > 1) {
    facts.problems.push_back({"mixed-line-breaks",
                              {},
                              "改行が混在しています（CR+LF " + std::to_string(breaks.crlf) + "、LF " +
                                  std::to_string(breaks.lf) + "、CR " + std::to_string(breaks.cr) + "）。"});
  }
  return facts;
}

SourceFacts sourceFactsOf(const FileOutcome& outcome) {
  SourceFacts facts;
  if (outcome.document)
    facts = sourceFacts(kindOfFile(outcome.pass, outcome.path), *outcome.document, outcome.form, outcome.loader);
  for (const FileNote& problem : outcome.problems) facts.problems.push_back(noteLine(problem, {}));
  return facts;
}

}  // namespace sarnavel
