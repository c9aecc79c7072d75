#include "engine/document_reading.h"

#include <algorithm>

#include "engine/direct_utf8_reading.h"
#include "engine/escaping.h"
#include "engine/javascript_context.h"
#include "engine/page_escaping.h"
#include "text/cp932.h"
#include "text/line_breaks.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

// Whether bytes without a byte-order mark read as UTF-16 in the given order throughout the
// first part of the file (see the header).
bool looksLikeUtf16(std::string_view bytes, bool littleEndian) {
  if (bytes.size() % 2 != 0) return false;
  constexpr std::size_t kSampleUnits = 32 * 1024;
  const std::size_t units = std::min(bytes.size() / 2, kSampleUnits);
  std::size_t ascii = 0, zeroUnits = 0, controls = 0, others = 0, japanese = 0;
  bool pendingHigh = false;
  for (std::size_t k = 0; k < units; ++k) {
    auto first = static_cast<unsigned char>(bytes[2 * k]), second = static_cast<unsigned char>(bytes[2 * k + 1]);
    const char16_t unit =
        littleEndian ? static_cast<char16_t>(second << 8 | first) : static_cast<char16_t>(first << 8 | second);
    // Only text bears UTF-16 out (ASCII and Latin-1 characters, tabs and line breaks).
    const bool text = (unit >= 0x20 && unit < 0x7F) || (unit >= 0xA0 && unit < 0x100) || unit == u'\t' ||
                      unit == u'\n' || unit == u'\r';
    if (unit == 0) {
      ++zeroUnits;
    } else if (text) {
      ++ascii;
    } else if (unit < 0x20 || (unit >= 0x7F && unit < 0xA0)) {
      // Other control codes are as likely halves of byte text: a document holds at most a
      // stray one (a form feed counts for neither side).
      if (unit != u'\f') ++controls;
    } else {
      // The other units of a Japanese document are characters code page 932 holds (kana,
      // kanji, full-width forms) or halves of a pair; byte text read in pairs mostly gives
      // Hangul, rare ideographs and private-use units instead.
      ++others;
      if (isHighSurrogate(unit) || isLowSurrogate(unit) || cp932::fromUnicode(unit) != cp932::kNoCode) ++japanese;
    }
    if (pendingHigh != isLowSurrogate(unit)) return false;  // a high one without its low one, or the reverse
    pendingHigh = isHighSurrogate(unit);
  }
  // A sample cut inside a pair leaves its high surrogate pending: that one is not alone.
  if (pendingHigh && units == bytes.size() / 2) return false;
  return zeroUnits < ascii && ascii * 32 >= units && japanese * 2 >= others && controls * 64 <= units;
}

std::optional<EscapeLanguage> languageOf(DocumentKind kind) {
  switch (kind) {
    case DocumentKind::Page: return EscapeLanguage::Html;
    case DocumentKind::StyleSheet: return EscapeLanguage::Css;
    case DocumentKind::Script: return EscapeLanguage::JavaScript;
    case DocumentKind::Text:
    case DocumentKind::Xml: break;
  }
  return std::nullopt;
}

// The escaper of a kind read whole: a plain text's lost characters become the geta mark.
TextEscaper escaperOf(std::string& out, DocumentKind kind, const EscapeTarget& target) {
  TextEscaper escaper(out, languageOf(kind), target);
  if (kind == DocumentKind::Text) escaper.setRawTextStandIn(StandIn::GetaMark);
  return escaper;
}

SourceForm formOf(SourceEncoding encoding) {
  switch (encoding) {
    case SourceEncoding::ShiftJis: return SourceForm::ShiftJis;
    case SourceEncoding::EucJp: return SourceForm::EucJp;
    case SourceEncoding::Iso2022Jp: return SourceForm::Iso2022Jp;
    case SourceEncoding::Utf8: return SourceForm::Utf8;
    default: return SourceForm::SingleByte;
  }
}

// What the converter reads of a text the reading step made: UTF-8 for the UTF-8 target,
// code page 932 otherwise.
InputEncoding madeInputFor(TargetEncoding target) {
  return target == TargetEncoding::Utf8 ? InputEncoding::Utf8 : InputEncoding::ShiftJis;
}

// The same of a UTF-8 text: one read straight into EUC-JP is EUC-JP already, which the
// converter passes on as it is.
InputEncoding madeInputOfUtf8(const EscapeTarget& target) {
  return target.target == TargetEncoding::EucJp && readsUtf8Directly(target) ? InputEncoding::EucJp
                                                                             : madeInputFor(target.target);
}

// UTF-16 text: its units, escaped in the kind's language; line breaks counted on the units.
WorkingText readUtf16(std::string_view bytes, ContentShape shape, DocumentKind kind, const EncodingEvidence& known,
                      EscapeTarget target) {
  const std::size_t units = (bytes.size() - shape.textStart) / 2;
  const bool little = shape.form == ContentForm::Utf16LittleEndian;
  const bool halfUnit = (bytes.size() - shape.textStart) % 2 != 0;
  std::u16string text(units, u'\0');
  LineBreakCounts breaks;
  for (std::size_t k = 0; k < units; ++k) {
    auto first = static_cast<unsigned char>(bytes[shape.textStart + 2 * k]);
    auto second = static_cast<unsigned char>(bytes[shape.textStart + 2 * k + 1]);
    text[k] = little ? static_cast<char16_t>(first | second << 8) : static_cast<char16_t>(first << 8 | second);
    if (text[k] == u'\n') {
      if (k > 0 && text[k - 1] == u'\r') {
        ++breaks.crlf;
        --breaks.cr;
      } else {
        ++breaks.lf;
      }
    } else if (text[k] == u'\r') {
      ++breaks.cr;
    }
  }
  // A byte left over at the end is half a unit, which browsers read as U+FFFD (one for it and
  // a high surrogate before it): read as a unit that forms no character, it is written and
  // reported as every such unit is.
  if (halfUnit && (units == 0 || !isHighSurrogate(text.back()))) text.push_back(0xDC00);
  WorkingText w;
  if (kind == DocumentKind::Page) {
    w.prepared = escapeHtmlPage(text, target, shape.textStart);
  } else {
    w.prepared.reserve(units);
    TextEscaper escaper = escaperOf(w.prepared, kind, target);
    JavaScriptContext<char16_t> code{std::u16string_view(text)};
    if (kind == DocumentKind::Script) {
      escaper.setCodeProbe([&](std::size_t offset) { return code.placeOf((offset - shape.textStart) / 2); });
    }
    for (std::size_t k = 0; k < text.size(); ++k) escaper.unit(text[k], shape.textStart + 2 * k);
    escaper.finish();
  }
  w.source = bytes;
  w.isSource = false;
  w.converterInput = madeInputFor(target.target);
  EncodingEvidence evidence = known;
  evidence.utf16 = shape.textStart == 2 ? Utf16Origin::ByteOrderMark : Utf16Origin::Shape;
  w.decision = decideSourceEncoding(w.prepared, evidence);
  w.form = little ? SourceForm::Utf16LittleEndian : SourceForm::Utf16BigEndian;
  w.lineBreaks = breaks;
  return w;
}

struct EscapedText {
  std::string text;
  std::size_t malformed = 0;  // the malformed UTF-8 sequences of a text read directly
};

// A document in UTF-8 or code page 1252, escaped in its kind's language (a page region by
// region).
EscapedText escapeWhole(std::string_view bytes, std::size_t firstOffset, SourceEncoding encoding, DocumentKind kind,
                        const EscapeTarget& target) {
  EscapedText escaped;
  if (kind == DocumentKind::Page) {
    escaped.text = encoding == SourceEncoding::Utf8 ? escapeHtmlPageUtf8(bytes, target, firstOffset, &escaped.malformed)
                                                    : escapeHtmlPageCp1252(bytes, target);
    return escaped;
  }
  const std::optional<EscapeLanguage> language = languageOf(kind);
  std::string& out = escaped.text;
  out.reserve(bytes.size() + bytes.size() / 8);
  TextEscaper escaper = escaperOf(out, kind, target);
  JavaScriptContext<char> code(bytes);
  if (language == EscapeLanguage::JavaScript) {
    escaper.setCodeProbe([&](std::size_t offset) { return code.placeOf(offset - firstOffset); });
  }
  if (encoding == SourceEncoding::Latin1) escapeCp1252(escaper, bytes, firstOffset, false);
  else if (readsUtf8Directly(target))
    escaped.malformed = readUtf8Directly(out, escaper, bytes, firstOffset, target.target);
  else escapeUtf8(escaper, bytes, firstOffset);
  escaper.finish();
  return escaped;
}

}  // namespace

ContentShape recogniseContent(std::string_view bytes) {
  if (bytes.size() < 2) return {};
  auto b0 = static_cast<unsigned char>(bytes[0]), b1 = static_cast<unsigned char>(bytes[1]);
  if (b0 == 0xFF && b1 == 0xFE) return {ContentForm::Utf16LittleEndian, 2};
  if (b0 == 0xFE && b1 == 0xFF) return {ContentForm::Utf16BigEndian, 2};
  if (b1 == 0 && looksLikeUtf16(bytes, true)) return {ContentForm::Utf16LittleEndian, 0};
  if (b0 == 0 && b1 != 0 && looksLikeUtf16(bytes, false)) return {ContentForm::Utf16BigEndian, 0};
  return {};
}

WorkingText readDocument(std::string_view bytes, const ReadingRequest& request, const EncodingEvidence& evidence,
                         Findings& findings) {
  const DocumentKind kind = request.kind;
  const TargetEncoding target = request.target;
  const EscapeTarget escapeTarget{target, &findings, request.keepCharacters && target == TargetEncoding::Utf8};
  const ContentShape shape = recogniseContent(bytes);
  // A mark alone is an empty UTF-16 text, as browsers read it (its bytes are no characters of
  // any other encoding); a file this run wrote is in its target, never UTF-16, whatever its zero
  // bytes suggest.
  if (shape.form != ContentForm::Bytes && !evidence.writtenByThisRun)
    return readUtf16(bytes, shape, kind, evidence, escapeTarget);

  EncodingEvidence withDeclaration = evidence;
  withDeclaration.declared = request.declarationOf != nullptr ? request.declarationOf(bytes) : std::string();
  WorkingText w;
  w.source = bytes;
  // A text read directly tells whether it is strictly UTF-8, which may stand in for the
  // decision's UTF-8 test; a text that turns out otherwise is decided again in full.
  const bool readStrictly = readsUtf8Directly(escapeTarget);
  bool utf8Deferred = false;
  if (request.check == ValidityCheck::ByConverter) {
    const DeferredDecision deferred = decideSourceEncodingDeferred(bytes, withDeclaration, target, readStrictly);
    w.decision = deferred.decision;
    w.validityDeferred = deferred.validityDeferred;
    utf8Deferred = deferred.utf8Deferred;
  } else {
    w.decision = decideSourceEncoding(bytes, withDeclaration);
  }
  w.lineBreaks = countLineBreaks(bytes);
  if (utf8Deferred) {
    EscapedText escaped = escapeWhole(bytes, 0, SourceEncoding::Utf8, kind, escapeTarget);
    w.prepared = std::move(escaped.text);
    if (escaped.malformed == 0) {
      w.form = SourceForm::Utf8;
      w.isSource = false;
      w.converterInput = madeInputOfUtf8(escapeTarget);
      return w;
    }
    findings.clear();
    w.prepared = std::string();
    const DeferredDecision deferred = decideSourceEncodingDeferred(bytes, withDeclaration, target);
    w.decision = deferred.decision;
    w.validityDeferred = deferred.validityDeferred;
  }
  w.form = formOf(w.decision.encoding);
  const SourceEncoding encoding = w.decision.encoding;
  if (encoding == SourceEncoding::Utf8 || encoding == SourceEncoding::Latin1) {
    // Latin-1 bytes are decoded as browsers do, even when they would pass for UTF-8.
    const std::string_view text = encoding == SourceEncoding::Utf8 ? withoutByteOrderMark(bytes) : bytes;
    const std::size_t firstOffset = bytes.size() - text.size();
    w.prepared = escapeWhole(text, firstOffset, encoding, kind, escapeTarget).text;
    w.isSource = false;
    w.converterInput = encoding == SourceEncoding::Utf8 ? madeInputOfUtf8(escapeTarget) : madeInputFor(target);
    return w;
  }
  // Every declaration the decision took was checked against the bytes (encoding_decision.h), or
  // is checked by the converter, whose reading stands only if it finds nothing malformed.
  const DecisionBasis basis = w.decision.basis;
  if (basis == DecisionBasis::Declaration || basis == DecisionBasis::LoadingElement ||
      basis == DecisionBasis::LoadingPage) {
    findings.markSourceValid();
  }
  const std::optional<InputEncoding> input = converterInputOf(encoding);
  w.converterInput = input ? *input : InputEncoding::ShiftJis;
  return w;
}

}  // namespace sarnavel
