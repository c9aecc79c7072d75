#include "engine/html_conversion.h"

#include <new>
#include <optional>

#include "engine/charset_attributes.h"
#include "engine/converter.h"
#include "engine/escaping.h"
#include "engine/escape_language.h"
#include "engine/page_escaping.h"
#include "html/head_analysis.h"
#include "html/tag_scanner.h"
#include "text/cp1252.h"

namespace sarnavel {
namespace {

// The label a page declares: its content-type declaration's, else its first HTML5 one.
std::string_view declaredLabel(const PARSE1INFO& info) {
  return info.charset.empty() ? std::string_view(info.firstMetaCharset) : std::string_view(info.charset);
}

// An XML declaration at the very start names the encoding too: its value becomes the target.
void rewriteXmlDeclaration(std::string& page, const std::string& charsetName) {
  if (!std::string_view(page).starts_with("<?xml")) return;
  std::size_t end = page.find("?>");
  std::size_t at = page.find("encoding", 5);
  if (end == std::string::npos || at == std::string::npos || at > end) return;
  std::size_t i = at + 8;
  while (i < end && (page[i] == ' ' || page[i] == '\t' || page[i] == '\r' || page[i] == '\n')) ++i;
  if (i >= end || page[i] != '=') return;
  ++i;
  while (i < end && (page[i] == ' ' || page[i] == '\t' || page[i] == '\r' || page[i] == '\n')) ++i;
  if (i >= end || (page[i] != '"' && page[i] != '\'')) return;
  std::size_t close = page.find(page[i], i + 1);
  if (close == std::string::npos || close > end) return;
  page.replace(i + 1, close - i - 1, charsetName);
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

// Writes the content-type declaration into the converted page as the second analysis finds it.
// A page with an HTML5 declaration and no content-type one gets none added; a page with an
// `html` tag but no head gets it right after the `html` start tag, where browsers still look.
void writeDeclaration(std::string& page, const PARSE1INFO& info, const std::string& charsetName) {
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
  } else if (!info.metaCharsets.empty()) {
    return;
  } else {
    // Right after the head start tag (or the html one), but before the title when the title
    // starts earlier: the place a later conversion would move the declaration to.
    std::size_t at = info.hasHead ? info.headEnd : info.htmlEnd;
    page.insert(info.hasTitle && info.titleStart < at ? info.titleStart : at, declaration);
  }
}

}  // namespace

ResultCode convertHtml(std::string& text, const TargetChoice& options, const ReferenceResolver& resolver,
                       PageReferences& references, const EncodingEvidence& evidence, EncodingDecision* decided) {
  try {
    ConverterOptions converterOptions;
    std::string charsetName = applyTargetEncoding(converterOptions, options.targetEncoding, options.lineEnding);
    converterOptions.escapeLanguage = EscapeLanguage::Html;

    // The declaration counts only in a page with an `html` tag, and not in text the driver
    // brought from UTF-16 (it names UTF-16, which the bytes no longer are).
    PARSE1INFO info;
    EncodingEvidence withDeclaration = evidence;
    if (analyseHead(text, info) && evidence.utf16 == Utf16Origin::None) withDeclaration.declared = declaredLabel(info);
    const EncodingDecision decision = decideSourceEncoding(text, withDeclaration);

    std::string prepared;
    std::string_view current = text;
    if (decision.encoding == SourceEncoding::Utf8) {
      prepared = escapeHtmlPageUtf8(withoutByteOrderMark(text));
      current = prepared;
    } else if (decision.encoding == SourceEncoding::Latin1) {
      prepared = escapeHtmlPage(decodeCp1252Decomposed(text));
      current = prepared;
    }
    // Text the engine (or the driver) brought into code page 932 itself is named as such to
    // the converter; any other text goes as what the decision found.
    std::optional<InputEncoding> input = converterInputOf(decision.encoding);
    converterOptions.inputEncoding = input ? *input : InputEncoding::ShiftJis;
    std::string converted = convertText(converterOptions, current);
    prepared = std::string();

    if (analyseHead(converted, info)) {
      if (rewriteMetaCharsets(converted, info, charsetName)) analyseHead(converted, info);
      writeDeclaration(converted, info, charsetName);
      rewriteXmlDeclaration(converted, charsetName);  // at the very start: last, so no offset moves
    }
    PageReferences found;
    setCharsetAttributes(converted, charsetName, info.contentScriptType, options.targetEncoding,
                         resolver, found);
    text = std::move(converted);
    references = std::move(found);
    if (decided) *decided = decision;
    return ResultCode::Success;
  } catch (const std::bad_alloc&) {
    return ResultCode::OutOfMemory;
  }
}

}  // namespace sarnavel
