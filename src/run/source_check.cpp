#include "run/source_check.h"

#include <new>

#include "engine/charset_attributes.h"
#include "engine/charset_label.h"
#include "engine/css_conversion.h"
#include "engine/javascript_conversion.h"
#include "engine/page_declarations.h"
#include "engine/template_conversion.h"
#include "html/page_walk.h"
#include "html/references.h"
#include "store/conversion_room.h"
#include "store/file_store.h"
#include "run/file_kind.h"
#include "run/normal_path.h"
#include "run/reference_files.h"
#include "text/line_breaks.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

// A page's or sheet's text past a UTF-8 byte-order mark, where its declarations are read.
std::string_view pastByteOrderMark(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  return bytes;
}

// What the file's own words declare, read in its text as the conversion reads it and by the
// conversion's readers; in document order, browsers obeying the first.
std::vector<Declaration> ownDeclarations(DocumentKind kind, std::string_view text, const PARSE1INFO& head) {
  std::vector<Declaration> found;
  auto own = [&](DeclarationForm form, std::string label) {
    found.push_back({form, std::move(label), DeclarationFate::Kept});
  };
  if (kind == DocumentKind::Page) {
    for (const PARSE1INFO::MetaDeclaration& meta : head.metaDeclarations) {
      if (!meta.contentType) own(DeclarationForm::MetaCharset, meta.label);
      else if (!meta.label.empty()) own(DeclarationForm::ContentTypeMeta, lowercaseCopy(meta.label));
    }
    if (std::optional<std::string> xml = xmlDeclarationEncoding(text)) own(DeclarationForm::XmlDeclaration, *xml);
  } else if (kind == DocumentKind::Xml) {
    if (std::optional<std::string> xml = xmlDeclarationEncoding(text)) own(DeclarationForm::XmlDeclaration, *xml);
  } else if (kind == DocumentKind::StyleSheet) {
    if (std::optional<std::string> rule = declaredCharsetRule(text)) own(DeclarationForm::CharsetRule, *rule);
  }
  return found;
}

// The bytes that form no character, counted as the converter counts them: the file read again
// as if this run had written it in its encoding.
InvalidBytes invalidBytesOf(std::string_view bytes, const EncodingDecision& decision) {
  const std::optional<TargetEncoding> target = targetEncodingOf(decision.encoding);
  if (!target || readsAs(bytes, decision.encoding)) return {};
  TargetChoice choice;
  choice.targetEncoding = *target;
  EncodingEvidence evidence;
  evidence.writtenByThisRun = *target;
  requireRoomToConvert(bytes.size());
  std::string copy(bytes);
  return convertJavaScript(copy, choice, evidence).invalidBytes;
}

}  // namespace

EncodingDecision checkedEncoding(std::string_view bytes, std::string_view favoured, const EncodingEvidence& evidence) {
  EncodingEvidence hint;
  hint.site = evidence.site;
  const std::optional<SourceEncoding> named = encodingOfLabel(favoured);
  if (named == SourceEncoding::Latin1) {
    EncodingDecision plain = decideSourceEncoding(bytes, hint);
    if (plain.encoding == SourceEncoding::Ascii || plain.encoding == SourceEncoding::Iso2022Jp ||
        plain.basis == DecisionBasis::ByteOrderMark || isUtf8Text(bytes))
      return plain;
    return {SourceEncoding::Latin1, DecisionBasis::Declaration};
  }
  if (named && *named != SourceEncoding::Utf16) {
    // The named encoding is favoured as the site's would be: the tally of one file.
    hint.site = SiteTally();
    hint.site.add({*named, DecisionBasis::Detection});
  }
  EncodingDecision decision = decideSourceEncoding(bytes, hint);
  if (named && decision.basis == DecisionBasis::Site) decision.basis = DecisionBasis::Declaration;
  return decision;
}

FileReport checkFile(const std::filesystem::path& path, DocumentKind kind, const EncodingEvidence& evidence,
                     const DriverContext& context) {
  FileReport report;
  try {
    std::string bytes;
    if ((report.result = readDriversFile(path, bytes, nullptr, context, report.notes)) != ResultCode::Success)
      return report;
    DocumentResult& record = report.document.emplace();
    record.bytesBefore = record.bytesAfter = bytes.size();
    const ContentShape shape = recogniseContent(bytes);
    report.form = shape.form;
    const bool utf16 = shape.form != ContentForm::Bytes && bytes.size() - shape.textStart >= 2;

    // A UTF-16 file's byte order decides; its tags are looked for in the text the reading step
    // makes of it (code page 932), and its own words are listed but weigh nothing.
    WorkingText working;
    if (utf16) {
      Findings unused;
      working = readDocument(bytes, {.kind = kind}, evidence, unused);
    }
    const std::string_view text = utf16 ? working.text() : std::string_view(bytes);
    PARSE1INFO head;
    PARSE2INFO loads;
    // A template's code is opaque to the walk, as in its conversion (engine/template_conversion.h).
    const FileKind fileKind = classifyExtension(path.native());
    const IslandSyntax syntax = islandSyntaxOf(fileKind);
    const std::vector<CodeIsland> islands = findCodeIslands(text, syntax);
    const std::string blanked = islands.empty() ? std::string() : blankedIslands(text, islands);
    // An XHTML page loads the sheets its prolog's instructions name, as in its conversion.
    if (fileKind == FileKind::Xhtml) collectStyleSheetInstructions(text, loads);
    if (kind == DocumentKind::Page) walkPage(islands.empty() ? text : blanked, head, loads);

    record.declarations = ownDeclarations(kind, utf16 ? text : pastByteOrderMark(text), head);
    if (utf16) {
      record.source = working.decision;
      record.lineBreaksBefore = working.lineBreaks;
    } else if (shape.form != ContentForm::Bytes) {
      record.source = {SourceEncoding::Utf16, DecisionBasis::ByteOrderMark};  // a byte-order mark alone: no text
    } else {
      std::string favoured;
      for (const Declaration& own : record.declarations) {
        if (encodingOfLabel(own.formerCharset)) {
          favoured = own.formerCharset;
          break;
        }
      }
      if (favoured.empty()) favoured = evidence.loaderCharset;
      if (favoured.empty() && evidence.loadingPage) {
        const SourceEncoding lent =
            *evidence.loadingPage == SourceEncoding::Utf16 ? SourceEncoding::Utf8 : *evidence.loadingPage;
        if (std::optional<TargetEncoding> target = targetEncodingOf(lent)) {
          static constexpr const char* kLabels[] = {"shift_jis", "euc-jp", "iso-2022-jp", "utf-8"};
          favoured = kLabels[static_cast<int>(*target)];
        }
      }
      record.source = checkedEncoding(bytes, favoured, evidence);
      record.lineBreaksBefore = countLineBreaks(bytes);
      record.invalidBytes = invalidBytesOf(bytes, record.source);
    }

    // Code that names another encoding than the bytes are in.
    if (const std::optional<TargetEncoding> in = targetEncodingOf(record.source.encoding); in && !islands.empty())
      noteCharsetsInCode(text, record.source.encoding, syntax, *in, record);
    if (kind == DocumentKind::Page) {
      // References are read in the page's encoding (code page 932 for the text made of UTF-16).
      const TargetEncoding pageEncoding =
          utf16 ? TargetEncoding::ShiftJis
                : targetEncodingOf(record.source.encoding).value_or(TargetEncoding::ShiftJis);
      const FileSystemResolver resolver(normalFolderOf(path), context.probes, readFolder(path, context));
      std::vector<PageEdit> unusedEdits;
      const DocumentReferences references(islands.empty() ? text : blanked, loads.base, pageEncoding,
                                          record.source.encoding, resolver);
      charsetAttributeEdits(loads.elements, references, "", record.references, unusedEdits);
    }
  } catch (const std::bad_alloc&) {
    report = FileReport{};
    report.result = ResultCode::OutOfMemory;
  }
  return report;
}

}  // namespace sarnavel
