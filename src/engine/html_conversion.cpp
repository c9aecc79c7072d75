#include "engine/html_conversion.h"

#include <optional>

#include "engine/charset_attributes.h"
#include "engine/conversion_steps.h"
#include "html/head_analysis.h"
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
// its other attributes, from the end so the earlier offsets stay valid. Returns whether the page
// has one.
bool rewriteMetaCharsets(std::string& page, const PARSE1INFO& info, const std::string& charsetName) {
  for (auto meta = info.metaCharsets.rbegin(); meta != info.metaCharsets.rend(); ++meta) {
    std::optional<TagSpan> span = findNextTag(page, meta->tagStart);
    std::string name;
    AttributeMap attributes;
    if (!span || span->tagStart != meta->tagStart || !parseTagText(span->text, name, attributes)) continue;
    attributes["charset"] = charsetName;
    std::string tag;
    writeTag(tag, name, attributes, span->selfClosing);
    page.replace(span->tagStart, span->tagEnd - span->tagStart, tag);
  }
  return !info.metaCharsets.empty();
}

// Writes the content-type declaration into the converted page as the second analysis finds it,
// and says what became of the old one. A page with an HTML5 declaration and no content-type one
// gets none added; a page with an `html` tag but no head gets it right after the `html` start
// tag, where browsers still look.
std::optional<Declaration> writeDeclaration(std::string& page, const PARSE1INFO& info, const std::string& charsetName) {
  std::string declaration = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charsetName;
  declaration += info.metaSelfClosing ? "\" />" : "\">";
  if (info.hasContentTypeMeta) {
    const bool inPlace = (info.hasHead && info.metaStart <= info.headStart) || !info.hasTitle || info.metaStart < info.titleStart;
    if (inPlace) {
      page.replace(info.metaStart, info.metaEnd - info.metaStart, declaration);
    } else {
      // The old declaration lies after the title's start tag, so removing it leaves titleStart valid.
      page.erase(info.metaStart, info.metaEnd - info.metaStart);
      page.insert(info.titleStart, declaration);
    }
    return Declaration{DeclarationForm::ContentTypeMeta, info.charset, inPlace ? DeclarationFate::Replaced : DeclarationFate::MovedBeforeTitle};
  } else if (!info.metaCharsets.empty()) {
    return std::nullopt;
  } else {
    // Right after the head start tag (or the html one), but before the title when the title
    // starts earlier: the place a later conversion would move the declaration to.
    std::size_t at = info.hasHead ? info.headEnd : info.htmlEnd;
    page.insert(info.hasTitle && info.titleStart < at ? info.titleStart : at, declaration);
  }
  return Declaration{DeclarationForm::ContentTypeMeta, {}, DeclarationFate::Added};
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
  std::string converted = convertWorking(steps, steps.working.text);
  steps.working.text = std::string();

  DocumentResult result;
  PARSE1INFO info;
  if (analyseHead(converted, info)) {
    for (const PARSE1INFO::MetaCharset& meta : info.metaCharsets) {
      result.declarations.push_back({DeclarationForm::MetaCharset, meta.charset, DeclarationFate::Rewritten});
    }
    if (rewriteMetaCharsets(converted, info, steps.charsetName)) analyseHead(converted, info);
    if (std::optional<Declaration> contentType = writeDeclaration(converted, info, steps.charsetName)) {
      result.declarations.insert(result.declarations.begin(), std::move(*contentType));
    }
    // At the very start: last, so no offset moves.
    if (std::optional<std::string> xml = rewriteXmlDeclaration(converted, steps.charsetName)) {
      result.declarations.insert(result.declarations.begin(), {DeclarationForm::XmlDeclaration, std::move(*xml), DeclarationFate::Rewritten});
    }
  } else {
    if (info.hasContentTypeMeta) result.declarations.push_back({DeclarationForm::ContentTypeMeta, info.charset, DeclarationFate::Kept});
    for (const PARSE1INFO::MetaCharset& meta : info.metaCharsets) {
      result.declarations.push_back({DeclarationForm::MetaCharset, meta.charset, DeclarationFate::Kept});
    }
  }
  setCharsetAttributes(converted, steps.charsetName, info.contentScriptType, options.targetEncoding, resolver, result.references);
  completeResult(result, steps, text, converted);
  text = std::move(converted);
  return result;
}

}  // namespace sarnavel
