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

// A template's declaration is read as a page's, its code islands blanked.
std::string phpDeclaredLabel(std::string_view bytes) {
  return declaredLabelOf(blankedIslands(bytes, findCodeIslands(bytes, IslandSyntax::Php)));
}
std::string aspDeclaredLabel(std::string_view bytes) {
  return declaredLabelOf(blankedIslands(bytes, findCodeIslands(bytes, IslandSyntax::Asp)));
}

DeclarationReader declarationReaderOf(const PageConversion& with) {
  if (with.xml) return xhtmlDeclaredLabel;
  if (with.islands == IslandSyntax::Php) return phpDeclaredLabel;
  if (with.islands == IslandSyntax::Asp) return aspDeclaredLabel;
  return htmlDeclaredLabel;
}

// A template's edits that would touch its code are dropped, the declarations they wrote kept
// as they were.
void dropEditsOnIslands(std::span<const CodeIsland> islands, const std::vector<WrittenDeclaration>& written,
                        std::vector<PageEdit>& edits, std::vector<Declaration>& declarations) {
  if (islands.empty()) return;
  auto onIsland = [&](const PageEdit& edit) { return touchesIsland(islands, edit.start, edit.end); };
  for (const WrittenDeclaration& w : written)
    if (onIsland(edits[w.edit])) declarations[w.declaration].fate = DeclarationFate::Kept;
  std::erase_if(edits, onIsland);
}

// Nothing, `text` untouched, when the converter refutes a declaration taken unread. The edits
// are applied unless `pendingEdits` takes them.
std::optional<DocumentResult> tryConvert(std::string& text, std::vector<PageEdit>* pendingEdits,
                                         const PageConversion& with, ValidityCheck check) {
  const TargetChoice& options = with.options;
  DocumentSteps steps;
  // The first declaring meta, as browsers read it, with or without an `html` tag; an XML
  // parser obeys an XHTML page's XML declaration before it.
  const ReadingRequest request{.kind = DocumentKind::Page, .declarationOf = declarationReaderOf(with), .check = check};
  readForConversion(steps, text, request, options, with.evidence);
  // Escapes in a script or style body, or in raw text, follow the region (page_regions.h); the
  // regions are looked for only as far as an escape is written, a template's code blanked.
  const std::string blankedSource =
      with.islands == IslandSyntax::None
          ? std::string()
          : blankedIslands(steps.working.text(), findCodeIslands(steps.working.text(), with.islands));
  PageRegions<char> regions(with.islands == IslandSyntax::None ? steps.working.text() : blankedSource,
                            steps.working.converterInput == InputEncoding::Iso2022Jp);
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
  const std::vector<CodeIsland> islands = findCodeIslands(converted, with.islands);
  const std::string blanked = islands.empty() ? std::string() : blankedIslands(converted, islands);
  const std::string_view page = islands.empty() ? std::string_view(converted) : blanked;
  const PageMarkSink notices = PageNoticeTaker(result, page, options.targetEncoding);
  // An XML reader loads the sheets the prolog's instructions name, before the page's own.
  if (with.xml) collectStyleSheetInstructions(page, loads);
  walkPage(page, info, loads, &notices);
  // A page whose bytes were ASCII, or were in the target already, reads as it did; but not one
  // whose byte-order mark told its encoding, which the result has no more.
  const SourceEncoding readAs = steps.working.decision.encoding;
  const bool markDropped = steps.working.decision.basis == DecisionBasis::ByteOrderMark;
  const DeclaredTarget declared{
      steps.charsetName,
      markDropped || (readAs != sourceEncodingOf(options.targetEncoding) && readAs != SourceEncoding::Ascii),
      with.inPlace};
  if (with.xml && options.targetEncoding != TargetEncoding::Utf8)
    xmlDeclarationEdits(page, steps.charsetName, edits, result.declarations);
  const std::vector<WrittenDeclaration> written = declarationEdits(page, info, declared, edits, result.declarations);
  // An ASCII page names its files in the encoding it declared.
  const SourceEncoding namesIn =
      readAs == SourceEncoding::Ascii ? encodingOfLabel(info.declaredLabel()).value_or(readAs) : readAs;
  const DocumentReferences references(page, loads.base, options.targetEncoding, namesIn, with.resolver);
  charsetAttributeEdits(loads.elements, references, steps.charsetName, result.references, edits);
  charsetsWrittenByScripts(references, steps.charsetName, options.targetEncoding, result, edits);
  noteCharsetsSetByScripts(page, true, options.targetEncoding, result);
  if (!with.inPlace) keepDeclarationInPrescan({page, info}, steps.charsetName, written, edits, result.declarations);
  dropEditsOnIslands(islands, written, edits, result.declarations);
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
  return convertPageLeavingEdits(text, edits, {options, resolver, evidence});
}

DocumentResult convertXhtmlLeavingEdits(std::string& text, std::vector<PageEdit>& edits, const TargetChoice& options,
                                        const ReferenceResolver& resolver, const EncodingEvidence& evidence) {
  return convertPageLeavingEdits(text, edits, {options, resolver, evidence, true});
}

DocumentResult convertPageLeavingEdits(std::string& text, std::vector<PageEdit>& edits, const PageConversion& with) {
  edits.clear();
  return convertTrustingDeclaration([&](ValidityCheck check) { return tryConvert(text, &edits, with, check); });
}

DocumentResult convertHtml(std::string& text, const TargetChoice& options, const ReferenceResolver& resolver,
                           const EncodingEvidence& evidence) {
  const PageConversion with{options, resolver, evidence};
  return convertTrustingDeclaration([&](ValidityCheck check) { return tryConvert(text, nullptr, with, check); });
}

}  // namespace sarnavel
