// The whole engine conversion of one document: a page, a style sheet or a script, with every
// target and line ending, read as bytes or as text that came from a UTF-16 file.
//
// Properties (each target file picks its kind):
//  - the conversion succeeds;
//  - converting the converted text again changes nothing, where the converted text is read
//    again as text of the target (see readAgainAsTarget and strayEscapes), and a page then
//    loads the same files;
//  - every declaring meta of a page names the target charset, the first within the first 1024
//    bytes, and a page with an `html` tag has one; a style sheet starts with the `@charset`
//    rule naming it; a script is exactly what the converter makes of its text (after the UTF-8
//    preparation when it is UTF-8), since nothing in a script is rewritten, unless it holds a
//    character whose escape depends on where it stands in the code, or it is read as UTF-16.
// A page's references resolve against a small folder made once, holding a sheet, a script and
// a subfolder, so that charset attributes are set and referenced files are gathered.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/converter.h"
#include "engine/encoding_decision.h"
#include "engine/css_conversion.h"
#include "engine/css_imports.h"
#include "engine/document_reading.h"
#include "engine/escaping.h"
#include "engine/html_conversion.h"
#include "engine/javascript_conversion.h"
#include "engine/page_declarations.h"
#include "engine/target_options.h"
#include "fuzz_support.h"
#include "../tests/support/temp_folder.h"
#include "html/head_analysis.h"
#include "html/iso2022_runs.h"
#include "html/tag_scanner.h"
#include "run/reference_files.h"
#include "text/cp1252.h"
#include "text/line_breaks.h"
#include "text/utf8.h"

namespace sarnavel::fuzz {

enum class DocumentKind { Page, Sheet, Script };

// Made on first use, removed when the process ends.
inline const std::filesystem::path& pageFolder() {
  static const testing::TempFolder folder;
  static const bool filled = [] {
    for (const char* name : {"a.css", "b.js", "sub/c.css", "sub/d.js", "\xE6\x97\xA5.css"}) folder.put(name, "x");
    return true;
  }();
  (void)filled;
  return folder.path();
}

inline DocumentResult convertDocument(DocumentKind kind, std::string& text, const ConversionOptions& options,
                                      const EncodingEvidence& evidence) {
  switch (kind) {
    case DocumentKind::Page: return convertHtml(text, options, FileSystemResolver(pageFolder()), evidence);
    case DocumentKind::Sheet: return convertCss(text, options, evidence);
    default: return convertJavaScript(text, options, evidence);
  }
}

inline std::vector<std::string> loadedPaths(const DocumentResult& result) {
  std::vector<std::string> paths;
  for (const FoundReference& loaded : result.references) {
    if (loaded.status == ReferenceStatus::Followable) paths.push_back(loaded.path);
  }
  return paths;
}

// Whether a script holds a character whose escape depends on where it stands (white space
// that is not ASCII, a character beyond U+FFFF: javascript_context.h), in UTF-8 or code page
// 1252; the script oracle escapes every character as in a literal and leaves these out.
inline bool codeSensitive(std::string_view original) {
  static constexpr std::string_view kSequences[] = {"\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80", "\xE2\x81\x9F",
                                                    "\xE3\x80\x80", "\xEF\xBB\xBF", "\xA0"};
  for (std::string_view sequence : kSequences) {
    if (original.find(sequence) != std::string_view::npos) return true;
  }
  for (char c : original) {
    if (static_cast<unsigned char>(c) >= 0xF0 && static_cast<unsigned char>(c) <= 0xF4) return true;
  }
  return false;
}

inline int fuzzDocument(DocumentKind kind, const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  const std::uint8_t choice = input.byte();
  const ConversionOptions options = conversionOptionsFrom(choice);
  EncodingEvidence evidence;
  if (choice & 0x80) evidence.utf16 = Utf16Origin::ByteOrderMark;
  const std::string_view original = input.rest();

  std::string converted(original);
  const DocumentResult references = convertDocument(kind, converted, options, evidence);
  FUZZ_CHECK(references.bytesAfter == converted.size(), "the record's size is not the text's: " + hexOf(original));
  FUZZ_CHECK(references.lineBreaksAfter == countLineBreaks(converted),
             "the record's line breaks are not the text's: " + hexOf(original));
  const std::string where = "kind " + std::to_string(static_cast<int>(kind)) + " choice " +
                            hexOf(std::string_view(reinterpret_cast<const char*>(data), size ? 1 : 0)) + " text " +
                            hexOf(original) + " converted " + hexOf(converted);

  ConverterOptions converterOptions;
  const std::string charset = applyTargetEncoding(converterOptions, options.targetEncoding, options.lineEnding);
  const std::string lowerCharset = lowercaseCopy(charset);

  // A script the reading step takes for UTF-16 (by its mark or its shape) is read by units,
  // which the script oracle below (the decision on the bytes, then the converter) does not
  // model; its reading is checked in tests/engine/document_reading_test.cpp.
  const bool readAsUtf16 = recogniseContent(original).form != ContentForm::Bytes;
  if (kind == DocumentKind::Script && !codeSensitive(original) && !readAsUtf16) {
    std::string expected(original);
    ConverterOptions scriptOptions = converterOptions;
    scriptOptions.escapeLanguage = EscapeLanguage::JavaScript;
    // The script is read as the decision says; text the engine brought into code page 932
    // itself is named as such to the converter.
    const EncodingDecision decision = decideSourceEncoding(original, evidence);
    if (decision.encoding == SourceEncoding::Utf8)
      expected = escapeUtf8(EscapeLanguage::JavaScript, withoutByteOrderMark(expected));
    if (decision.encoding == SourceEncoding::Latin1) expected = escapeForJavaScript(decodeCp1252(expected));
    const std::optional<InputEncoding> input = converterInputOf(decision.encoding);
    scriptOptions.inputEncoding = input ? *input : InputEncoding::ShiftJis;
    FUZZ_CHECK(converted == convertText(scriptOptions, expected), where + ": a script is more than its converted text");
  } else if (kind == DocumentKind::Sheet) {
    FUZZ_CHECK(converted.starts_with("@charset \"" + lowerCharset + "\";"),
               where + ": the sheet does not start with the @charset rule naming the target");
    // The addresses of its @import rules are parts of it.
    for (const std::string& address : importedSheets(converted))
      FUZZ_CHECK(address.size() < converted.size(), where + ": an import longer than the sheet");
  } else if (kind == DocumentKind::Page) {
    // Every declaring meta names the target; the first ends in the first 1024 bytes, where
    // browsers look (unless an XML declaration at the start is longer than that); a page with
    // an html tag has one.
    PARSE1INFO head;
    analyseHead(converted, head);
    for (const PARSE1INFO::MetaDeclaration& meta : head.metaDeclarations) {
      FUZZ_CHECK(lowercaseCopy(meta.label) == lowerCharset, where + ": page declares '" + meta.label + "'");
    }
    if (head.hasHtml) FUZZ_CHECK(!head.metaDeclarations.empty(), where + ": page declares nothing");
    if (!head.metaDeclarations.empty() && xmlDeclarationEnd(converted) + 80 < 1024) {
      FUZZ_CHECK(head.metaDeclarations.front().tagEnd <= 1024, where + ": the first declaration is beyond 1024 bytes");
    }
  }

  if (readAgainAsTarget(converted, static_cast<int>(options.targetEncoding)) && !strayEscapes(original)) {
    // Read again as the run reads a file it has written: in the target encoding.
    std::string again = converted;
    EncodingEvidence written;
    written.writtenByThisRun = options.targetEncoding;
    const DocumentResult referencesAgain = convertDocument(kind, again, options, written);
    FUZZ_CHECK(again == converted, where + " converted again " + hexOf(again));
    FUZZ_CHECK(loadedPaths(referencesAgain) == loadedPaths(references),
               where + ": converted again, the page loads other files");
  }
  return 0;
}

}  // namespace sarnavel::fuzz
