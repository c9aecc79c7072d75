#include "engine/html_conversion.h"

#include <optional>

#include "engine/charset_attributes.h"
#include "engine/charset_label.h"
#include "engine/conversion_steps.h"
#include "engine/page_declarations.h"
#include "engine/page_edits.h"
#include "html/head_analysis.h"
#include "html/page_walk.h"
#include "html/script_written_tags.h"
#include "text/japanese_text.h"
#include "text/text_position.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

// The script elements the page's scripts write with a charset (document.write). Where the
// element names the file it loads outright and that file is one the run converts, its label in
// the script's string names the target, as a real element's would; any other is left as the
// script spells it and noted, since the file it loads is misread once converted.
void charsetsWrittenByScripts(const DocumentReferences& references, const std::string& charsetName,
                              TargetEncoding target, DocumentResult& result, std::vector<PageEdit>& edits) {
  const std::string_view page = references.page();
  const std::vector<WrittenScriptTag> written = scriptTagsWrittenByScripts(page, target == TargetEncoding::Iso2022Jp);
  if (written.empty()) return;
  PositionFinder positions(page, sourceFormOf(target));
  for (const WrittenScriptTag& tag : written) {
    if (encodingOfLabel(tag.charset) == sourceEncodingOf(target)) continue;
    bool remote = false;
    std::optional<DocumentReferences::Loaded> loaded;
    if (!tag.src.empty()) loaded = references.resolve(tag.src, tag.at, LoadedKind::Script, remote);
    if (loaded && loaded->resolved.status == ReferenceStatus::Followable) {
      edits.push_back({tag.labelAt, tag.labelAt + tag.charset.size(), charsetName});
      result.references.add({LoadedKind::Script, std::move(loaded->reference), loaded->resolved.status,
                             std::move(loaded->resolved.path), tag.charset, true, false, true,
                             loaded->resolved.nameIsLink});
      continue;
    }
    result.addNotice(
        {PageNoticeKind::CharsetByScript, positions.at(tag.at), utf16ToUtf8(decodeToWide(tag.text, target))});
  }
}

// Takes the forms and links whose meaning changes with the page's encoding, as the walk finds
// them, into the record's notices. The walk sees the converted page, whose lines are the
// source's.
class PageNoticeTaker {
 public:
  PageNoticeTaker(DocumentResult& result, std::string_view page, TargetEncoding encoding)
      : result_(result), positions_(page, sourceFormOf(encoding)), encoding_(encoding) {}
  void operator()(PageMark&& mark) {
    const PageNoticeKind kind = mark.kind == PageMarkKind::FormWithoutAcceptCharset
                                    ? PageNoticeKind::FormWithoutAcceptCharset
                                    : PageNoticeKind::NonAsciiQuery;
    result_.addNotice({kind, positions_.at(mark.tagStart), pageMarkText(mark, encoding_)});
  }

 private:
  DocumentResult& result_;
  PositionFinder positions_;
  TargetEncoding encoding_;
};

std::string htmlDeclaredLabel(std::string_view bytes) { return declaredLabelOf(bytes); }
std::string xhtmlDeclaredLabel(std::string_view bytes) {
  return xmlDeclarationEncoding(bytes).value_or(declaredLabelOf(bytes));
}

// What a page is converted with, the same in either attempt.
struct PageConversion {
  const TargetChoice& options;
  const ReferenceResolver& resolver;
  const EncodingEvidence& evidence;
  bool xml = false;  // an XHTML page: its XML declaration names a target other than UTF-8
};

// Nothing, `text` untouched, when the converter refutes a declaration taken unread. The edits
// are applied unless `pendingEdits` takes them.
std::optional<DocumentResult> tryConvert(std::string& text, std::vector<PageEdit>* pendingEdits,
                                         const PageConversion& with, ValidityCheck check) {
  const TargetChoice& options = with.options;
  DocumentSteps steps;
  // The first declaring meta, as browsers read it, with or without an `html` tag; an XML
  // parser obeys an XHTML page's XML declaration before it.
  const ReadingRequest request{
      .kind = DocumentKind::Page, .declarationOf = with.xml ? xhtmlDeclaredLabel : htmlDeclaredLabel, .check = check};
  readForConversion(steps, text, request, options, with.evidence);
  // Escapes in a script or style body, or in raw text, follow the region (page_regions.h); the
  // regions are looked for only as far as an escape is written.
  PageRegions<char> regions(steps.working.text(), steps.working.converterInput == InputEncoding::Iso2022Jp);
  const RegionOf regionOf = [&regions](std::size_t offset) { return regions.at(offset).region; };
  // A text the reading step made is handed over (no region is asked of it, its offsets not
  // being the source's): when it is already in the target, it is the result, uncopied.
  std::optional<std::string> convertedOrNot = steps.working.isSource
                                                  ? convertWorking(steps, steps.working.text(), &regionOf)
                                                  : convertWorking(steps, std::move(steps.working.prepared));
  if (!convertedOrNot) return std::nullopt;
  std::string converted = std::move(*convertedOrNot);
  steps.working.prepared = std::string();

  // The second walk: the converted page's head landmarks and references at once; every change
  // is gathered as an edit at the offsets the walk found, and all are applied in one pass.
  DocumentResult result;
  PARSE1INFO info;
  PARSE2INFO loads;
  std::vector<PageEdit> edits;
  const PageMarkSink notices = PageNoticeTaker(result, converted, options.targetEncoding);
  walkPage(converted, info, loads, &notices);
  // A page whose bytes were ASCII, or were in the target already, reads as it did; but not one
  // whose byte-order mark told its encoding, which the result has no more.
  const SourceEncoding readAs = steps.working.decision.encoding;
  const bool markDropped = steps.working.decision.basis == DecisionBasis::ByteOrderMark;
  const DeclaredTarget declared{steps.charsetName, markDropped || (readAs != sourceEncodingOf(options.targetEncoding) &&
                                                                   readAs != SourceEncoding::Ascii)};
  if (with.xml && options.targetEncoding != TargetEncoding::Utf8)
    xmlDeclarationEdits(converted, steps.charsetName, edits, result.declarations);
  const std::vector<WrittenDeclaration> written =
      declarationEdits(converted, info, declared, edits, result.declarations);
  // An ASCII page names its files in the encoding it declared.
  const SourceEncoding namesIn =
      readAs == SourceEncoding::Ascii ? encodingOfLabel(info.declaredLabel()).value_or(readAs) : readAs;
  const DocumentReferences references(converted, loads.base, options.targetEncoding, namesIn, with.resolver);
  charsetAttributeEdits(loads.elements, references, steps.charsetName, result.references, edits);
  charsetsWrittenByScripts(references, steps.charsetName, options.targetEncoding, result, edits);
  noteCharsetsSetByScripts(converted, true, options.targetEncoding, result);
  keepDeclarationInPrescan({converted, info}, steps.charsetName, written, edits, result.declarations);
  sortPageEdits(edits);
  for (const PageEdit& edit : edits) steps.afterConverter.replace(converted, edit.start, edit.end, edit.text);
  // The edits are left to the caller only where the count of line breaks needs no look at
  // the edited page.
  if (pendingEdits == nullptr || !lineBreaksAfterSteps(steps)) {
    applyPageEdits(converted, std::move(edits));
    edits.clear();
  }
  completeResult(result, steps, text, converted);
  result.bytesAfter = editedSize(converted.size(), edits);
  text = std::move(converted);
  if (pendingEdits != nullptr) *pendingEdits = std::move(edits);
  return result;
}

}  // namespace

DocumentResult convertHtmlLeavingEdits(std::string& text, std::vector<PageEdit>& edits, const TargetChoice& options,
                                       const ReferenceResolver& resolver, const EncodingEvidence& evidence) {
  edits.clear();
  const PageConversion with{options, resolver, evidence};
  return convertTrustingDeclaration([&](ValidityCheck check) { return tryConvert(text, &edits, with, check); });
}

DocumentResult convertXhtmlLeavingEdits(std::string& text, std::vector<PageEdit>& edits, const TargetChoice& options,
                                        const ReferenceResolver& resolver, const EncodingEvidence& evidence) {
  edits.clear();
  const PageConversion with{options, resolver, evidence, true};
  return convertTrustingDeclaration([&](ValidityCheck check) { return tryConvert(text, &edits, with, check); });
}

DocumentResult convertHtml(std::string& text, const TargetChoice& options, const ReferenceResolver& resolver,
                           const EncodingEvidence& evidence) {
  const PageConversion with{options, resolver, evidence};
  return convertTrustingDeclaration([&](ValidityCheck check) { return tryConvert(text, nullptr, with, check); });
}

}  // namespace sarnavel
