#include "engine/document_reading.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "engine/converter.h"
#include "engine/escaping.h"
#include "engine/javascript_context.h"
#include "engine/page_escaping.h"
#include "text/ascii_run.h"
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
  std::size_t ascii = 0, zeroUnits = 0;
  bool pendingHigh = false;
  for (std::size_t k = 0; k < units; ++k) {
    auto first = static_cast<unsigned char>(bytes[2 * k]), second = static_cast<unsigned char>(bytes[2 * k + 1]);
    const char16_t unit =
        littleEndian ? static_cast<char16_t>(second << 8 | first) : static_cast<char16_t>(first << 8 | second);
    if (unit == 0) ++zeroUnits;
    else if (unit < 0x100) ++ascii;
    if (pendingHigh != isLowSurrogate(unit)) return false;  // a high one without its low one, or the reverse
    pendingHigh = isHighSurrogate(unit);
  }
  // A sample cut inside a pair leaves its high surrogate pending: that one is not alone.
  if (pendingHigh && units == bytes.size() / 2) return false;
  return ascii > 0 && zeroUnits <= ascii && ascii * 32 >= units;
}

EscapeLanguage languageOf(DocumentKind kind) {
  switch (kind) {
    case DocumentKind::Page: return EscapeLanguage::Html;
    case DocumentKind::StyleSheet: return EscapeLanguage::Css;
    case DocumentKind::Script: break;
  }
  return EscapeLanguage::JavaScript;
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

// UTF-16 text: its units, escaped in the kind's language; line breaks counted on the units.
WorkingText readUtf16(std::string_view bytes, ContentShape shape, DocumentKind kind, const EncodingEvidence& known,
                      EscapeTarget target) {
  const std::size_t units = (bytes.size() - shape.textStart) / 2;
  const bool little = shape.form == ContentForm::Utf16LittleEndian;
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
  WorkingText w;
  if (kind == DocumentKind::Page) {
    w.prepared = escapeHtmlPage(text, target, shape.textStart);
  } else {
    w.prepared.reserve(units);
    TextEscaper escaper(w.prepared, languageOf(kind), target);
    JavaScriptContext<char16_t> code{std::u16string_view(text)};
    if (kind == DocumentKind::Script) {
      escaper.setCodeProbe([&](std::size_t offset) { return code.inCode((offset - shape.textStart) / 2); });
    }
    for (std::size_t k = 0; k < units; ++k) escaper.unit(text[k], shape.textStart + 2 * k);
    escaper.finish();
  }
  if ((bytes.size() - shape.textStart) % 2 != 0) {
    // The odd byte stays a byte; a CR or LF there is a line break of the text as written.
    const char odd = bytes.back();
    if (odd == '\n' && units > 0 && text[units - 1] == u'\r') {
      ++breaks.crlf;
      --breaks.cr;
    } else if (odd == '\n') {
      ++breaks.lf;
    } else if (odd == '\r') {
      ++breaks.cr;
    }
    w.prepared.push_back(odd);
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

// What the target writes for each character of the Basic Multilingual Plane it holds, as the
// escaper decides it (a character code page 932 holds, and for EUC-JP one that encoding reaches
// too): up to three bytes packed as the converter packs them (the count in the low byte, then
// the bytes), 0 for a character that is escaped instead. For the UTF-8 target a held character
// is its own UTF-8, which the reader copies from the source.
struct HeldCharacters {
  std::array<std::uint32_t, 0x10000> packed;
  bool complete = true;  // every held character has its bytes here
};

std::uint32_t packBytes(std::string_view bytes) {
  std::uint32_t packed = static_cast<std::uint32_t>(bytes.size());
  for (std::size_t k = 0; k < bytes.size(); ++k)
    packed |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[k])) << (8 * (k + 1));
  return packed;
}

// The bytes of each held character are what the converter makes of its code page 932 code, so
// the text made here in the target's own encoding is the one that the escaper and the
// converter would have made in two passes.
std::unique_ptr<HeldCharacters> buildHeldCharacters(TargetEncoding target) {
  auto held = std::make_unique<HeldCharacters>();
  held->packed.fill(0);
  const std::uint16_t* toCode = cp932::fromUnicodeTable();
  const std::uint16_t* reachable = cp932::jisReachableTable();
  ConverterOptions options;
  options.output = target;
  options.inputEncoding = InputEncoding::ShiftJis;
  for (unsigned unit = 0x80; unit < 0x10000; ++unit) {
    const std::uint16_t code = toCode[unit];
    if (code == cp932::kNoCode) continue;
    if (target == TargetEncoding::EucJp && reachable[unit] == cp932::kNoCode) continue;
    std::string bytes;
    cp932::appendCode(bytes, code);
    if (target == TargetEncoding::EucJp) {
      ConversionReport report;
      bytes = convertText(options, bytes, &report);
      // The escaper lets through only what EUC-JP reaches, so the converter never writes a
      // stand-in here; if it ever did, the text goes the two-pass way.
      if (report.unconvertible != 0) held->complete = false;
    }
    held->packed[unit] = packBytes(bytes);
  }
  return held;
}

// The table for a target the fast reading serves (Shift_JIS, EUC-JP, UTF-8 with escapes).
const HeldCharacters& heldCharacters(TargetEncoding target) {
  static const std::unique_ptr<HeldCharacters> shiftJis = buildHeldCharacters(TargetEncoding::ShiftJis);
  if (target != TargetEncoding::EucJp) return *shiftJis;
  static const std::unique_ptr<HeldCharacters> eucJp = buildHeldCharacters(TargetEncoding::EucJp);
  return *eucJp;
}

// Whether a UTF-8 sheet or script can be read in one pass straight into the target's bytes:
// not for ISO-2022-JP (whose escape byte is escaped and whose characters switch modes), nor
// when every character travels as itself.
bool readsUtf8Directly(EscapeTarget target) {
  return !target.keepCharacters && target.target != TargetEncoding::Iso2022Jp && heldCharacters(target.target).complete;
}

// UTF-8 read strictly and written in one pass: ASCII runs copied 16 bytes at a time, each
// well-formed two- or three-byte character the target holds written through one look-up, and
// everything else (characters to escape, four-byte forms, malformed sequences) handed to the
// escaper exactly as the general reading hands it over. Writes into a block of its own and
// appends it to `out` before the escaper writes there.
// Returns how many malformed sequences it met.
std::size_t readUtf8Directly(std::string& out, TextEscaper& escaper, std::string_view bytes, std::size_t firstOffset,
                             TargetEncoding target) {
  std::size_t malformed = 0;
  const std::uint32_t* held = heldCharacters(target).packed.data();
  const bool copyInput = target == TargetEncoding::Utf8;
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::size_t n = bytes.size();
  constexpr std::size_t kBlock = 4096;
  char block[kBlock];
  std::size_t used = 0;
  auto flush = [&] {
    out.append(block, used);
    used = 0;
  };
  std::size_t i = 0;
  while (i < n) {
    const std::uint8_t b = p[i];
    if (b < 0x80) {
      const std::size_t run = asciiRunEnd(p, i + 1, n);
      const std::size_t length = run - i;
      if (length > kBlock - used) {
        flush();
        if (length > kBlock / 2) {
          out.append(bytes.data() + i, length);
          i = run;
          continue;
        }
      }
      std::memcpy(block + used, p + i, length);
      used += length;
      i = run;
      continue;
    }
    if (used > kBlock - 4) flush();
    const std::size_t left = n - i;
    char32_t unit = 0;
    std::size_t length = 0;
    if (b >= 0xE0 && b <= 0xEF && left >= 3 && (p[i + 1] & 0xC0) == 0x80 && (p[i + 2] & 0xC0) == 0x80 &&
        (b != 0xE0 || p[i + 1] >= 0xA0) && (b != 0xED || p[i + 1] <= 0x9F)) {
      unit = static_cast<char32_t>((b & 0x0F) << 12 | (p[i + 1] & 0x3F) << 6 | (p[i + 2] & 0x3F));
      length = 3;
    } else if (b >= 0xC2 && b <= 0xDF && left >= 2 && (p[i + 1] & 0xC0) == 0x80) {
      unit = static_cast<char32_t>((b & 0x1F) << 6 | (p[i + 1] & 0x3F));
      length = 2;
    } else {
      // Four-byte forms and malformed sequences, as decodeUtf8Into reads them.
      flush();
      char32_t codePoint = 0;
      std::size_t errorLength = 1;
      const std::size_t sequence = readUtf8Sequence(p + i, left, codePoint, errorLength);
      if (sequence == 0) {
        ++malformed;
        escaper.irregular(firstOffset + i);
        i += errorLength;
      } else if (codePoint >= 0x10000) {
        const char32_t v = codePoint - 0x10000;
        escaper.unit(static_cast<char16_t>(0xD800 + (v >> 10)), firstOffset + i);
        escaper.unit(static_cast<char16_t>(0xDC00 + (v & 0x3FF)), firstOffset + i);
        i += sequence;
      } else {
        escaper.unit(static_cast<char16_t>(codePoint), firstOffset + i);
        i += sequence;
      }
      continue;
    }
    const std::uint32_t packed = held[unit];
    if (packed == 0) {
      flush();
      escaper.unit(static_cast<char16_t>(unit), firstOffset + i);
    } else if (copyInput) {
      std::memcpy(block + used, p + i, length);
      used += length;
    } else {
      const std::uint32_t written = packed >> 8;
      static_assert(std::endian::native == std::endian::little, "the packed table holds its first byte lowest");
      std::memcpy(block + used, &written, 4);
      used += packed & 0xFF;
    }
    i += length;
  }
  flush();
  return malformed;
}

// A sheet or script in UTF-8 or code page 1252, escaped in its language. `malformed`, when
// given, counts the malformed UTF-8 sequences of a text read directly.
std::string escapeWhole(std::string_view bytes, std::size_t firstOffset, SourceEncoding encoding,
                        EscapeLanguage language, EscapeTarget target, std::size_t* malformed = nullptr) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  TextEscaper escaper(out, language, target);
  JavaScriptContext<char> code(bytes);
  if (language == EscapeLanguage::JavaScript) {
    escaper.setCodeProbe([&](std::size_t offset) { return code.inCode(offset - firstOffset); });
  }
  if (encoding == SourceEncoding::Latin1) escapeCp1252(escaper, bytes, firstOffset, false);
  else if (readsUtf8Directly(target)) {
    const std::size_t found = readUtf8Directly(out, escaper, bytes, firstOffset, target.target);
    if (malformed != nullptr) *malformed = found;
  } else escapeUtf8(escaper, bytes, firstOffset);
  escaper.finish();
  return out;
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

WorkingText readDocument(std::string_view bytes, DocumentKind kind, const EncodingEvidence& evidence,
                         TargetEncoding target, Findings& findings,
                         const std::function<std::string(std::string_view bytes)>& declarationOf, bool keepCharacters,
                         ValidityCheck check) {
  const EscapeTarget escapeTarget{target, &findings, keepCharacters && target == TargetEncoding::Utf8};
  const ContentShape shape = recogniseContent(bytes);
  // A file of a byte-order mark alone stays as it is; a file this run wrote is in its target,
  // never UTF-16, whatever its zero bytes suggest.
  if (shape.form != ContentForm::Bytes && bytes.size() - shape.textStart >= 2 && !evidence.writtenByThisRun)
    return readUtf16(bytes, shape, kind, evidence, escapeTarget);

  EncodingEvidence withDeclaration = evidence;
  withDeclaration.declared = declarationOf ? declarationOf(bytes) : std::string();
  WorkingText w;
  w.source = bytes;
  // A sheet or script read directly tells whether it is strictly UTF-8, which may stand in for
  // the decision's UTF-8 test; a text that turns out otherwise is decided again in full.
  const bool readStrictly = kind != DocumentKind::Page && readsUtf8Directly(escapeTarget);
  bool utf8Deferred = false;
  if (check == ValidityCheck::ByConverter) {
    const DeferredDecision deferred = decideSourceEncodingDeferred(bytes, withDeclaration, target, readStrictly);
    w.decision = deferred.decision;
    w.validityDeferred = deferred.validityDeferred;
    utf8Deferred = deferred.utf8Deferred;
  } else {
    w.decision = decideSourceEncoding(bytes, withDeclaration);
  }
  w.lineBreaks = countLineBreaks(bytes);
  if (utf8Deferred) {
    std::size_t malformed = 0;
    w.prepared = escapeWhole(bytes, 0, SourceEncoding::Utf8, languageOf(kind), escapeTarget, &malformed);
    if (malformed == 0) {
      w.form = SourceForm::Utf8;
      w.isSource = false;
      w.converterInput = target == TargetEncoding::EucJp ? InputEncoding::EucJp : madeInputFor(target);
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
    if (kind == DocumentKind::Page) {
      w.prepared = encoding == SourceEncoding::Utf8 ? escapeHtmlPageUtf8(text, escapeTarget, firstOffset)
                                                    : escapeHtmlPageCp1252(text, escapeTarget);
    } else {
      w.prepared = escapeWhole(text, firstOffset, encoding, languageOf(kind), escapeTarget);
    }
    w.isSource = false;
    w.converterInput = madeInputFor(target);
    // A UTF-8 sheet or script for EUC-JP is read straight into EUC-JP, which the converter
    // then passes on as it is.
    if (kind != DocumentKind::Page && encoding == SourceEncoding::Utf8 && target == TargetEncoding::EucJp &&
        readsUtf8Directly(escapeTarget))
      w.converterInput = InputEncoding::EucJp;
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
