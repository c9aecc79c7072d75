// The reading step: the one place a document's bytes become the text the converter works on,
// saying what it found.
//
// In order:
//  1. UTF-16 is recognised by a byte-order mark, or, without one, when a zero among the first
//     two bytes is borne out by the rest: an even length, zero high bytes (ASCII or Latin-1
//     characters, not control codes) in more than a sprinkling of the units and in more of
//     them than there are zero units, no lone surrogate, hardly a control code, and the other
//     units mostly characters code page 932 holds or halves of a pair (recogniseContent). A file of
//     zeros, or byte text with a stray zero, stays byte text. UTF-16 text is escaped into code
//     page 932 in the kind's language (a page region by region), a trailing odd byte read as
//     U+FFFD, as browsers read it (a mark alone is an empty text); its own declaration counts
//     for nothing (it names UTF-16, which the working text no longer is).
//  2. Otherwise the encoding is decided from the bytes, the document's own declaration (the
//     caller finds it: a page's meta by its head analysis, a sheet's @charset rule) and what the
//     run knows (encoding_decision.h).
//  3. A UTF-8 document loses one byte-order mark and is read strictly (each malformed sequence
//     one U+FFFD, as browsers read it) and escaped into the working text (a page region by
//     region, see page_escaping.h): code page 932 for the Japanese targets, UTF-8 for the UTF-8
//     target, which the converter then passes on as it is. A UTF-8 document is read in one
//     pass straight into the target's bytes (a page's regions looked for only as far as
//     something is escaped; EUC-JP too, then passed on as it is; not ISO-2022-JP), with the
//     same escapes and findings. A document read as Latin-1 is read as code page 1252 (a page
//     with its letters decomposed, é as e and the escape of U+0301) and escaped likewise. Escapes follow the target (escaping.h), so the converter meets
//     nothing it cannot write. A document in a Japanese encoding, or ASCII, is its own working
//     text.
// With ValidityCheck::ByConverter, a text read straight into the target that declares UTF-8, or
// that looks like UTF-8 without a declaration, is read before the whole of it is tested: the
// strict reading finding no malformed sequence proves the test, and a text it finds malformed
// is decided again in full (encoding_decision.h, decideSourceEncodingDeferred).
// Every escape and every byte that forms no character is reported to the findings with its
// source offset as it is written; the line breaks of the source are counted.
//
// Contract: pure apart from the findings it is handed; throws std::bad_alloc when memory runs
// out. Callable from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/encoding_decision.h"
#include "engine/encoding_detection.h"
#include "engine/findings.h"
#include "text/line_ending.h"
#include "text/target_encoding.h"
#include "text/text_position.h"

namespace sarnavel {

// A plain text reads no escape: a character its target lacks is lost as the geta mark. An XML
// document is read as a text that declares its encoding in its XML declaration
// (xml_conversion.h).
enum class DocumentKind { Page, StyleSheet, Script, Text, Xml };

// How a file's bytes hold its text.
enum class ContentForm { Bytes, Utf16LittleEndian, Utf16BigEndian };
struct ContentShape {
  ContentForm form = ContentForm::Bytes;
  std::size_t textStart = 0;  // 2 after a byte-order mark
};
ContentShape recogniseContent(std::string_view bytes);

struct WorkingText {
  std::string_view source;                                 // the document's bytes, as handed to the reading step
  std::string prepared;                                    // the text the reading step made, when it made one
  EncodingDecision decision;                               // what the source was read as, and why
  InputEncoding converterInput = InputEncoding::ShiftJis;  // how the converter reads `text`
  bool isSource = true;                      // `text` is the source's own bytes (its offsets are the source's)
  SourceForm form = SourceForm::SingleByte;  // how the source's bytes form characters
  LineBreakCounts lineBreaks;                // of the source
  // The decision took a declared Japanese encoding unread (ValidityCheck::ByConverter): it
  // stands only if the converter finds every byte of `text` a character of that encoding.
  bool validityDeferred = false;

  // What the converter reads: the source itself, or the text made from it.
  std::string_view text() const { return isSource ? source : std::string_view(prepared); }
};

// Who reads a declared Shift_JIS or EUC-JP text through for bytes that form no character: the
// decision, before it takes the declaration, or the converter, which decodes the text anyway
// (one pass fewer; see decideSourceEncodingDeferred). The caller that chooses ByConverter reads
// the document again with InDecision when the converter finds such a byte.
enum class ValidityCheck { InDecision, ByConverter };

// The label a document declares itself in (empty when none): a page's meta, a sheet's rule.
using DeclarationReader = std::string (*)(std::string_view bytes);

struct ReadingRequest {
  DocumentKind kind = DocumentKind::Page;
  TargetEncoding target = TargetEncoding::ShiftJis;
  DeclarationReader declarationOf = nullptr;  // asked only for byte text; none: nothing declared
  // The UTF-8 target only: nothing is escaped, every character travels as itself, a page
  // declared Latin-1 undecomposed.
  bool keepCharacters = false;
  ValidityCheck check = ValidityCheck::InDecision;
};

WorkingText readDocument(std::string_view bytes, const ReadingRequest& request, const EncodingEvidence& evidence,
                         Findings& findings);

}  // namespace sarnavel
