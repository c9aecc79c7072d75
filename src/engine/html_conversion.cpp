#include "engine/html_conversion.h"

#include <optional>

#include "engine/charset_attributes.h"
#include "engine/conversion_steps.h"
#include "engine/page_edits.h"
#include "html/head_analysis.h"
#include "html/page_walk.h"
#include "html/tag_scanner.h"

namespace sarnavel {
namespace {

// The label a page declares: its content-type declaration's, else its first HTML5 one.
std::string_view declaredLabel(const PARSE1INFO& info) {
  return info.charset.empty() ? std::string_view(info.firstMetaCharset) : std::string_view(info.charset);
}

// An XML declaration at the very start names the encoding too: its value becomes the target.
// Returns the value it had, when there was one.
std::optional<std::string> rewriteXmlDeclaration(std::string& page, const std::string& charsetName) {
  if (!std::string_view(page).starts_with("<?xml")) return std::nullopt;
  std::size_t end = page.find("?>");
  std::size_t at = page.find("encoding", 5);
  if (end == std::string::npos || at == std::string::npos || at > end) return std::nullopt;
  std::size_t i = at + 8;
  while (i < end && (page[i] == ' ' || page[i] == '\t' || page[i] == '\r' || page[i] == '\n')) ++i;
  if (i >= end || page[i] != '=') return std::nullopt;
  ++i;
  while (i < end && (page[i] == ' ' || page[i] == '\t' || page[i] == '\r' || page[i] == '\n')) ++i;
  if (i >= end || (page[i] != '"' && page[i] != '\'')) return std::nullopt;
  std::size_t close = page.find(page[i], i + 1);
  if (close == std::string::npos || close > end) return std::nullopt;
  std::string former = page.substr(i + 1, close - i - 1);
  page.replace(i + 1, close - i - 1, charsetName);
  return former;
}

// Every HTML5 declaration, <meta charset="...">, names the target; its tag is written anew with
// its other attributes.
void rewriteMetaCharsets(std::string_view page, const PARSE1INFO& info, const std::string& charsetName,
                         std::vector<PageEdit>& edits) {
  for (const PARSE1INFO::MetaCharset& meta : info.metaCharsets) {
    std::optional<TagSpan> span = findNextTag(page, meta.tagStart);
    std::string name;
    AttributeMap attributes;
    if (!span || span->tagStart != meta.tagStart || !parseTagText(span->text, name, attributes)) continue;
    attributes["charset"] = charsetName;
    std::string tag;
    writeTag(tag, name, attributes, span->selfClosing);
    edits.push_back({span->tagStart, span->tagEnd, std::move(tag)});
  }
}

// Writes the content-type declaration into the converted page as the second analysis finds it,
// and says what became of the old one. A page with an HTML5 declaration and no content-type one
// gets none added; a page with an `html` tag but no head gets it right after the `html` start
// tag, where browsers still look.
std::optional<Declaration> writeDeclaration(const PARSE1INFO& info, const std::string& charsetName,
                                            std::vector<PageEdit>& edits) {
  std::string declaration = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charsetName;
  declaration += info.metaSelfClosing ? "\" />" : "\">";
  if (info.hasContentTypeMeta) {
    const bool inPlace =
        (info.hasHead && info.metaStart <= info.headStart) || !info.hasTitle || info.metaStart < info.titleStart;
    if (inPlace) {
      edits.push_back({info.metaStart, info.metaEnd, std::move(declaration)});
    } else {
      edits.push_back({info.metaStart, info.metaEnd, {}});
      edits.push_back({info.titleStart, info.titleStart, std::move(declaration)});
    }
    return Declaration{DeclarationForm::ContentTypeMeta, info.charset,
                       inPlace ? DeclarationFate::Replaced : DeclarationFate::MovedBeforeTitle};
  } else if (!info.metaCharsets.empty()) {
    return std::nullopt;
  } else {
    // Right after the head start tag (or the html one), but before the title when the title
    // starts earlier: the place a later conversion would move the declaration to.
    std::size_t at = info.hasHead ? info.headEnd : info.htmlEnd;
    if (info.hasTitle && info.titleStart < at) at = info.titleStart;
    edits.push_back({at, at, std::move(declaration)});
  }
  return Declaration{DeclarationForm::ContentTypeMeta, {}, DeclarationFate::Added};
}

// The forms and links whose meaning changes with the page's encoding, as the record's notices.
// The walk sees the converted page, whose lines are the source's.
void addPageNotices(DocumentResult& result, std::string_view page, TargetEncoding encoding,
                    const std::vector<PageMark>& marks) {
  if (marks.empty()) return;
  const std::vector<TextPosition> positions = pageMarkPositions(page, encoding, marks);
  for (std::size_t k = 0; k < marks.size(); ++k) {
    const PageNoticeKind kind = marks[k].kind == PageMarkKind::FormWithoutAcceptCharset
                                    ? PageNoticeKind::FormWithoutAcceptCharset
                                    : PageNoticeKind::NonAsciiQuery;
    result.pageNotices.push_back({kind, positions[k], pageMarkText(marks[k], encoding)});
  }
}

}  // namespace

DocumentResult convertHtml(std::string& text, const TargetChoice& options, const ReferenceResolver& resolver,
                           const EncodingEvidence& evidence) {
  DocumentSteps steps;
  readForConversion(steps, text, DocumentKind::Page, options, evidence, [](std::string_view bytes) {
    // The declaration counts only in a page with an `html` tag.
    PARSE1INFO raw;
    return analyseHead(bytes, raw) ? std::string(declaredLabel(raw)) : std::string();
  });
  std::string converted = convertWorking(steps, steps.working.text());
  steps.working.prepared = std::string();

  // The second walk: the converted page's head landmarks and references at once; every change
  // is gathered as an edit at the offsets the walk found, and all are applied in one pass.
  DocumentResult result;
  PARSE1INFO info;
  PARSE2INFO loads;
  std::vector<PageEdit> edits;
  std::vector<PageMark> marks;
  const bool hasHtml = walkPage(converted, info, loads, &marks);
  addPageNotices(result, converted, options.targetEncoding, marks);
  if (hasHtml) {
    if (std::optional<Declaration> contentType = writeDeclaration(info, steps.charsetName, edits)) {
      result.declarations.push_back(std::move(*contentType));
    }
    rewriteMetaCharsets(converted, info, steps.charsetName, edits);
  }
  for (const PARSE1INFO::MetaCharset& meta : info.metaCharsets) {
    result.declarations.push_back(
        {DeclarationForm::MetaCharset, meta.charset, hasHtml ? DeclarationFate::Rewritten : DeclarationFate::Kept});
  }
  if (!hasHtml && info.hasContentTypeMeta) {
    result.declarations.insert(result.declarations.begin(),
                               {DeclarationForm::ContentTypeMeta, info.charset, DeclarationFate::Kept});
  }
  charsetAttributeEdits(loads.elements, steps.charsetName, info.contentScriptType, options.targetEncoding, resolver,
                        result.references, edits);
  sortPageEdits(edits);
  for (const PageEdit& edit : edits) steps.afterConverter.replace(converted, edit.start, edit.end, edit.text);
  applyPageEdits(converted, std::move(edits));
  // The XML declaration stands at the very start, before any edit's offset.
  if (hasHtml) {
    if (std::optional<std::string> xml = rewriteXmlDeclaration(converted, steps.charsetName)) {
      if (xml->find_first_of("\r\n") != std::string::npos) steps.afterConverter.known = false;
      result.declarations.insert(result.declarations.begin(),
                                 {DeclarationForm::XmlDeclaration, std::move(*xml), DeclarationFate::Rewritten});
    }
  }
  completeResult(result, steps, text, converted);
  text = std::move(converted);
  return result;
}

}  // namespace sarnavel
