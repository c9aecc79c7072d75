#include "engine/converter.h"

#include "engine/escaping.h"
#include "engine/large_result_pages.h"

#include <algorithm>
#include <bit>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>

#include "text/ascii.h"
#include "text/cp932.h"
#include "text/euc_jp.h"
#include "text/iso2022.h"
#include "text/jis.h"
#include "text/line_breaks.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

constexpr std::uint16_t kNoCode = cp932::kNoCode;

// Tables derived once from the code page 932 table.
struct DerivedTables {
  // UTF-8 of each double-byte Shift_JIS code (lead << 8 | trail): up to three bytes, the first
  // lowest, and the length in the top byte (so that the entry is stored as it is and the
  // length is one shift away); 0 when the code has no character. Every entry below 0x100
  // is 0, so that any two bytes whose first is no lead byte (a zero byte included) read as no
  // character: the loop over a run of characters needs no test of the lead byte.
  std::array<std::uint32_t, 0x10000> sjisToUtf8;
  // The same for the single bytes.
  std::array<std::uint32_t, 0x100> singleToUtf8;
  // The same for EUC-JP's two-byte characters (JIS X 0208 rows 1-94, and half-width katakana
  // after SS2), indexed by the two bytes as eucPair joins them (the second byte high, as a
  // little-endian machine loads them in one read); 0 for every other pair, so that the loop
  // over a run of characters needs no test of either byte.
  std::array<std::uint32_t, 0x10000> eucPairToUtf8;
};

constexpr std::uint16_t eucPair(std::uint8_t first, std::uint8_t second) {
  return static_cast<std::uint16_t>(second << 8 | first);
}

std::unique_ptr<DerivedTables> buildDerivedTables() {
  auto t = std::make_unique<DerivedTables>();
  t->sjisToUtf8.fill(0);
  t->singleToUtf8.fill(0);
  for (unsigned code = 0; code < 0x10000; ++code) {
    char16_t unit = cp932::toUnicode(static_cast<std::uint16_t>(code));
    if (unit == cp932::kNoUnit) continue;
    std::string utf8;
    appendUtf8(utf8, unit);
    std::uint32_t packed = static_cast<std::uint32_t>(utf8.size()) << 24;
    for (std::size_t k = 0; k < utf8.size(); ++k)
      packed |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(utf8[k])) << (8 * k);
    (code < 0x100 ? t->singleToUtf8[code] : t->sjisToUtf8[code]) = packed;
  }
  t->eucPairToUtf8.fill(0);
  for (std::uint8_t row = 1; row <= 94; ++row) {
    for (std::uint8_t cell = 1; cell <= 94; ++cell) {
      t->eucPairToUtf8[eucPair(static_cast<std::uint8_t>(row + 0xA0), static_cast<std::uint8_t>(cell + 0xA0))] =
          t->sjisToUtf8[jis::toShiftJis({row, cell})];
    }
  }
  for (unsigned kana = 0xA1; kana <= 0xDF; ++kana)
    t->eucPairToUtf8[eucPair(0x8E, static_cast<std::uint8_t>(kana))] = t->singleToUtf8[kana];
  return t;
}

const DerivedTables& derived() {
  static const std::unique_ptr<DerivedTables> tables = buildDerivedTables();
  return *tables;
}

// Whether a double-byte code page 932 code has a character, through the table the caller
// holds (the hot loops ask it for every character).
inline bool mapped(const DerivedTables& t, std::uint16_t code) { return t.sjisToUtf8[code] != 0; }
// The same for a single byte.
inline bool mappedSingle(const DerivedTables& t, std::uint8_t b) { return t.singleToUtf8[b] != 0; }

// cp932::sequenceAt through that table.
inline cp932::Sequence shiftJisSequenceAt(const DerivedTables& t, const std::uint8_t* p, std::size_t left) {
  const std::uint8_t b = p[0];
  if (!cp932::isLeadByte(b)) return {mappedSingle(t, b) ? std::uint16_t{b} : kNoCode, 1};
  if (left < 2) return {kNoCode, 1};
  const auto code = static_cast<std::uint16_t>(b << 8 | p[1]);
  if (cp932::isTrailByte(p[1]) && mapped(t, code)) return {code, 2};
  return {kNoCode, static_cast<std::uint8_t>(p[1] < 0x80 ? 1 : 2)};
}

// The output: a byte buffer written through a raw pointer, grown on demand.
//
// Contract: put() may be called k times after reserve(k), for k up to kMaxReserve; append()
// takes any length; finish() hands over everything written, in order.
//
// Why a block of its own: a std::string cannot be given room without writing every byte of it
// (resize fills with zeros), and filling a fresh output buffer of 1.5 x the input before the
// converter writes it costs as much as the conversion itself on a large text: every page is
// mapped, zeroed, filled and written again. So the result only reserves its capacity (which
// maps nothing until it is written), and the converter writes into a small block of the
// sink's own that stays in the first-level cache; each full block goes to the result with one
// copy. Long runs (ASCII passed through) go to the result directly. The room of a large result
// is advised to take 2 MB pages (large_result_pages.h): its 4 KB faults would cost more than
// the conversion.
//
// A large result is given at once the room the most it can grow to needs (a text whose every
// byte becomes an escape), not the room expected: outgrowing that, it would be copied into
// twice the room, holding the old room and the new, filled, at once. Room reserved and not
// written is only address space; where that is refused, the room expected is taken and the
// result grows as a string does. A small result just grows: its copies fit in what any run
// takes.
class ByteSink {
 public:
  static constexpr std::size_t kMaxReserve = 4096;

  // `expected`: how many bytes the result will probably hold (more are taken all the same);
  // `most`: how many it can grow to at the very most, as far as is known.
  ByteSink(std::size_t expected, std::size_t most) {
    try {
      result_.reserve(expected >= kLargeResult ? most : expected);
    } catch (const std::bad_alloc&) {
      result_.reserve(expected);
    }
    adviseLargeResultPages(result_.data(), result_.capacity());
  }
  ByteSink(const ByteSink&) = delete;
  ByteSink& operator=(const ByteSink&) = delete;

  // Makes room for k more bytes (k <= kMaxReserve); put() may then be called k times.
  void reserve(std::size_t k) {
    if (static_cast<std::size_t>(end() - at_) < k) flush();
  }
  void put(std::uint8_t b) { *at_++ = static_cast<char>(b); }
  // Writes the 1 to 3 bytes of a packed table entry (the bytes, then the length in the top
  // byte, which is stored too but lies past them, where the next write or nothing goes).
  void putPacked(std::uint32_t packed) {
    reserve(4);
    static_assert(std::endian::native == std::endian::little, "the packed tables hold their first byte lowest");
    std::memcpy(at_, &packed, 4);
    at_ += packed >> 24;
  }
  void append(const char* s, std::size_t n) {
    if (static_cast<std::size_t>(end() - at_) >= n) {
      std::memcpy(at_, s, n);
      at_ += n;
      return;
    }
    flush();
    if (n >= kBlock / 2) {
      result_.append(s, n);
      return;
    }
    std::memcpy(at_, s, n);
    at_ += n;
  }
  // Passes the ASCII run at p (p < end) on to the result; returns its end (the first byte from
  // 0x80, or end). A short run, what a page mostly has, is copied in the pass that finds its
  // end, into the block; a long one, or one the block has no more room for, is appended.
  const std::uint8_t* passAscii(const std::uint8_t* p, const std::uint8_t* end) {
    const std::size_t copied =
        copyAsciiBlocks(p, static_cast<std::size_t>(end - p), at_, static_cast<std::size_t>(this->end() - at_));
    at_ += copied;
    p += copied;
    if (p == end || *p >= 0x80) return p;
    const std::uint8_t* run = p;
    p += skipAscii(p, 0, static_cast<std::size_t>(end - p));
    append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
    return p;
  }
  // Writes the packed bytes `packedAt` gives for each two-byte character from p on, until it
  // gives 0 or fewer than two bytes are left; returns where it stopped. The cursor is a local
  // the compiler keeps in a register: a store through the member would be followed by a
  // reload of it after every character, as a char store may alias anything. A character
  // writes at most three bytes (four stored), so the block's room and the input's length
  // bound a stretch of characters once, and the loop tests only its end.
  template <class PackedAt>
  const std::uint8_t* putPackedRun(const std::uint8_t* p, const std::uint8_t* end, PackedAt packedAt) {
    static_assert(std::endian::native == std::endian::little, "the packed tables hold their first byte lowest");
    for (;;) {
      const std::size_t pairs = static_cast<std::size_t>(end - p) / 2;
      if (pairs == 0) return p;
      char* out = at_;
      const std::size_t room = static_cast<std::size_t>(this->end() - out);
      if (room < 4) {
        flush();
        continue;
      }
      const std::uint8_t* const stop = p + 2 * std::min(pairs, (room - 4) / 3 + 1);
      while (p != stop) {
        const std::uint32_t packed = packedAt(p);
        if (packed == 0) {
          at_ = out;
          return p;
        }
        std::memcpy(out, &packed, 4);
        out += packed >> 24;
        p += 2;
      }
      at_ = out;
    }
  }
  std::string finish() {
    flush();
    return std::move(result_);
  }

 private:
  static constexpr std::size_t kBlock = kMaxReserve;

  char* end() { return block_ + kBlock; }
  void flush() {
    result_.append(block_, static_cast<std::size_t>(at_ - block_));
    at_ = block_;
  }

  std::string result_;
  char block_[kBlock];
  char* at_ = block_;
};

// Where the encoders report what they could not write as itself: the findings and the start
// of the input, when its offsets are the source's; and the page's regions, which a page's
// escapes follow when the offsets are the source's.
struct Reporting {
  Findings* findings = nullptr;
  const std::uint8_t* origin = nullptr;  // null: offsets are not the source's
  const RegionOf* regionOf = nullptr;
};

// What every encoder shares: the sink, the source encoding, how a character the target cannot
// hold is written, the count of such characters and where they are reported. The decoders set
// `at` to each non-ASCII character before they hand it over, so a report knows its offset
// without any counting, and a page's escape can be written in the syntax of the region the
// character stands in.
template <class Derived>
struct EncoderBase {
  EncoderBase(ByteSink& s, InputEncoding from, std::optional<EscapeLanguage> language, Reporting r,
              const std::uint8_t* begin)
      : sink(s), source(from), escapeLanguage(language), reporting(r), textStart(begin) {}
  ByteSink& sink;
  InputEncoding source;
  std::optional<EscapeLanguage> escapeLanguage;
  Reporting reporting;
  const std::uint8_t* textStart;
  const std::uint8_t* at = nullptr;
  std::size_t unconvertible = 0;

  Derived& self() { return static_cast<Derived&>(*this); }
  void asciiRun(const char* s, std::size_t n) { sink.append(s, n); }
  // The ASCII run at p (p < end, *p < 0x80) written as itself; returns its end.
  const std::uint8_t* passAsciiRun(const std::uint8_t* p, const std::uint8_t* end) { return sink.passAscii(p, end); }
  void finish() {}
  // Only the UTF-8 encoder can write any character as itself.
  bool writeAsItself(char32_t) { return false; }
  std::size_t offset() const {
    return reporting.origin != nullptr && at != nullptr ? static_cast<std::size_t>(at - reporting.origin)
                                                        : Findings::kNoOffset;
  }

  // The escape syntax read where the decoder stands: the document's language, or in a page the
  // language of the region (a script or style body); none in raw text (`xmp`).
  std::optional<EscapeLanguage> languageHere() const {
    if (escapeLanguage != EscapeLanguage::Html || reporting.regionOf == nullptr || at == nullptr ||
        !*reporting.regionOf)
      return escapeLanguage;
    switch (regionHere()) {
      case PageRegion::Script: return EscapeLanguage::JavaScript;
      case PageRegion::Style: return EscapeLanguage::Css;
      case PageRegion::RawText:
      case PageRegion::Fallback: return std::nullopt;
      case PageRegion::Markup: break;
    }
    return EscapeLanguage::Html;
  }
  PageRegion regionHere() const { return (*reporting.regionOf)(static_cast<std::size_t>(at - textStart)); }
  void writeEscape(EscapeLanguage language, char32_t codePoint) {
    std::string escape;
    appendEscape(escape, language, codePoint);
    self().asciiRun(escape.data(), escape.size());
  }
  // A character the target cannot hold: its escape where escapes are read; in raw text itself
  // when the target has it, else the reference (text there); the geta mark (U+FFFD in UTF-8)
  // when no language is named, and where HTML has no reference that shows it (a C1 control,
  // escaping.h), unless the target holds it.
  void lost(char32_t codePoint) {
    ++unconvertible;
    Findings* findings = reporting.findings;
    if (escapeLanguage) {
      const std::optional<EscapeLanguage> here = languageHere();
      if (here && (*here != EscapeLanguage::Html || referenceShowsItself(codePoint))) {
        if (findings != nullptr) findings->escaped(codePoint, offset());
        writeEscape(*here, codePoint);
        return;
      }
      if (self().writeAsItself(codePoint)) return;
      if (!here) {
        // Only a page has raw text, and so regions.
        if (findings != nullptr)
          findings->lost(codePoint, offset(),
                         regionHere() == PageRegion::Fallback ? StandIn::UnshownReference : StandIn::Reference);
        writeEscape(EscapeLanguage::Html, codePoint);
        return;
      }
    }
    if (findings != nullptr) findings->lost(codePoint, offset(), Derived::kStandIn);
    self().geta();
  }
  // Bytes that form no character (or a code without one), written as U+FFFD would be.
  void malformed() {
    ++unconvertible;
    if (reporting.findings != nullptr) reporting.findings->invalid(offset());
    if (!escapeLanguage) {
      self().geta();
    } else if (const std::optional<EscapeLanguage> here = languageHere()) {
      writeEscape(*here, 0xFFFD);
    } else if (!self().writeAsItself(0xFFFD)) {
      writeEscape(EscapeLanguage::Html, 0xFFFD);
    }
  }
  // `n` bytes that form no character: the same bytes when the target is their own encoding and
  // no language is named (the bare converter changes nothing it need not), U+FFFD otherwise.
  void stray(const std::uint8_t* p, std::size_t n) {
    if (source == Derived::kOwn && !escapeLanguage) {
      if (reporting.findings != nullptr) reporting.findings->invalid(offset());
      sink.append(reinterpret_cast<const char*>(p), n);
    } else {
      malformed();
    }
  }
};

struct ShiftJisEncoder : EncoderBase<ShiftJisEncoder> {
  using EncoderBase::EncoderBase;
  static constexpr StandIn kStandIn = StandIn::GetaMark;
  static constexpr InputEncoding kOwn = InputEncoding::ShiftJis;
  void writeCode(std::uint16_t code) {
    sink.reserve(2);
    if (code >= 0x100) sink.put(static_cast<std::uint8_t>(code >> 8));
    sink.put(static_cast<std::uint8_t>(code));
  }
  void geta() { writeCode(jis::toShiftJis(jis::kGetaMark)); }
  void kana(std::uint8_t b) { writeCode(b); }
  void jis0208(std::uint16_t code) { writeCode(code); }
  void unicode(char16_t unit) {
    std::uint16_t code = cp932::fromUnicode(unit);
    if (code == kNoCode) lost(unit);
    else writeCode(code);
  }
  void jis0212(jis::Position p) { unicode(jis::jis0212ToUnicode(p)); }
};

// Shared by the two encoders that reach JIS rows 1-94 only; Own is their own encoding, whose
// stray bytes the bare converter passes unchanged.
template <class Derived, InputEncoding Own>
struct JisRowsEncoder : EncoderBase<Derived> {
  using EncoderBase<Derived>::EncoderBase;
  static constexpr StandIn kStandIn = StandIn::GetaMark;
  static constexpr InputEncoding kOwn = Own;
  void geta() { this->self().jisCell(jis::kGetaMark); }
  void jis0208(std::uint16_t code) {
    jis::Position p = jis::fromShiftJis(static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code));
    if (p.row <= 94) {
      this->self().jisCell(p);
      return;
    }
    // The IBM extensions go to their twins in the rows the target has; the user-defined area
    // has no place here.
    unicode(cp932::toUnicode(code));
  }
  void unicode(char16_t unit) {
    std::uint16_t code = cp932::jisReachable(unit);
    if (code == kNoCode) {
      this->lost(unit);
    } else if (code < 0x80) {
      char c = static_cast<char>(code);
      this->self().asciiRun(&c, 1);
    } else if (code < 0x100) {
      this->self().kana(static_cast<std::uint8_t>(code));
    } else {
      this->self().jisCell(jis::fromShiftJis(static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code)));
    }
  }
};

struct EucJpEncoder : JisRowsEncoder<EucJpEncoder, InputEncoding::EucJp> {
  using JisRowsEncoder::JisRowsEncoder;
  void jisCell(jis::Position p) {
    sink.reserve(2);
    sink.put(static_cast<std::uint8_t>(p.row + 0xA0));
    sink.put(static_cast<std::uint8_t>(p.cell + 0xA0));
  }
  void kana(std::uint8_t b) {
    sink.reserve(2);
    sink.put(0x8E);
    sink.put(b);
  }
  void jis0212(jis::Position p) {
    sink.reserve(3);
    sink.put(0x8F);
    sink.put(static_cast<std::uint8_t>(p.row + 0xA0));
    sink.put(static_cast<std::uint8_t>(p.cell + 0xA0));
  }
};

struct Iso2022JpEncoder : JisRowsEncoder<Iso2022JpEncoder, InputEncoding::Iso2022Jp> {
  using JisRowsEncoder::JisRowsEncoder;
  enum class Mode { Ascii, Katakana, Jis0208, Roman } mode = Mode::Ascii;

  void switchTo(Mode wanted) {
    if (mode == wanted) return;
    mode = wanted;
    static constexpr const char* kEscapes[] = {"\x1B(B", "\x1B(I", "\x1B$B", "\x1B(J"};
    sink.append(kEscapes[static_cast<int>(wanted)], 3);
  }
  // A lone escape byte written as it is would join the text after it into a designation
  // ("ESC" then "$B" turns ASCII into kanji): it is written as a character the target lacks,
  // the escape byte from another encoding, a stray one of ISO-2022-JP's own as U+FFFD (which
  // is what browsers show for it).
  void asciiRun(const char* s, std::size_t n) {
    switchTo(Mode::Ascii);
    const char* escape;
    while ((escape = static_cast<const char*>(std::memchr(s, 0x1B, n))) != nullptr) {
      sink.append(s, static_cast<std::size_t>(escape - s));
      at = reinterpret_cast<const std::uint8_t*>(escape);
      if (source == InputEncoding::Iso2022Jp) malformed();
      else lost(0x1B);
      switchTo(Mode::Ascii);
      n -= static_cast<std::size_t>(escape - s) + 1;
      s = escape + 1;
    }
    sink.append(s, n);
  }
  const std::uint8_t* passAsciiRun(const std::uint8_t* p, const std::uint8_t* end) {
    const std::uint8_t* run = p;
    p += skipAscii(p, 0, static_cast<std::size_t>(end - p));
    asciiRun(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
    return p;
  }
  void jisCell(jis::Position p) {
    switchTo(Mode::Jis0208);
    sink.reserve(2);
    sink.put(static_cast<std::uint8_t>(p.row + 0x20));
    sink.put(static_cast<std::uint8_t>(p.cell + 0x20));
  }
  void kana(std::uint8_t b) {
    switchTo(Mode::Katakana);
    sink.reserve(1);
    sink.put(static_cast<std::uint8_t>(b - 0x80));
  }
  // The yen sign and the overline are JIS-Roman's 0x5C and 0x7E (ESC ( J), as browsers write them.
  void unicode(char16_t unit) {
    if (unit == 0xA5 || unit == 0x203E) {
      switchTo(Mode::Roman);
      sink.reserve(1);
      sink.put(unit == 0xA5 ? 0x5C : 0x7E);
      return;
    }
    JisRowsEncoder::unicode(unit);
  }
  // Browsers do not read ESC $ ( D, so JIS X 0212 goes by its character to a reachable twin.
  void jis0212(jis::Position p) { unicode(jis::jis0212ToUnicode(p)); }
  // The bare converter keeps the stray bytes of its own encoding, but only 8-bit ones, which
  // form no character in any mode: 7-bit bytes left over from a two-byte or katakana mode
  // would be read as characters of whatever mode the output is in then (a lone 0x41 after
  // ESC $ B becoming the letter A after ESC ( J), so they are U+FFFD's stand-in instead.
  void stray(const std::uint8_t* p, std::size_t n) {
    if (p[0] < 0x80) malformed();
    else EncoderBase::stray(p, n);
  }
  void finish() { switchTo(Mode::Ascii); }
};

// UTF-8 holds every character; with an escape language, a character that code page 932 lacks
// is escaped all the same, as it would be when the UTF-8 result is converted again, except in
// raw text, where it is written as itself.
struct Utf8Encoder : EncoderBase<Utf8Encoder> {
  using EncoderBase::EncoderBase;
  static constexpr StandIn kStandIn = StandIn::ReplacementCharacter;
  static constexpr InputEncoding kOwn = InputEncoding::Utf8;
  void writePacked(std::uint32_t packed) { sink.putPacked(packed); }
  void geta() { sink.append("\xEF\xBF\xBD", 3); }  // U+FFFD, for bytes that form no character
  bool writeAsItself(char32_t codePoint) {
    std::string utf8;
    appendUtf8(utf8, codePoint);
    sink.append(utf8.data(), utf8.size());
    return true;
  }
  void kana(std::uint8_t b) { writePacked(derived().singleToUtf8[b]); }
  void jis0208(std::uint16_t code) { writePacked(derived().sjisToUtf8[code]); }
  void unicode(char16_t unit) {
    if (escapeLanguage && cp932::fromUnicode(unit) == kNoCode) lost(unit);
    else writeAsItself(unit);
  }
  void jis0212(jis::Position p) { unicode(jis::jis0212ToUnicode(p)); }
};

// Passes the ASCII bytes from p onward as one run; returns the first byte at or above 0x80.
// Between two Japanese characters there is usually no run at all: that costs one comparison.
template <class Encoder>
const std::uint8_t* passAscii(const std::uint8_t* p, const std::uint8_t* end, Encoder& e) {
  if (*p >= 0x80) return p;
  return e.passAsciiRun(p, end);
}

// Returns how many bytes formed no character (a code without one counts too).
template <class Encoder>
std::size_t decodeShiftJis(std::string_view in, Encoder& e) {
  const DerivedTables& table = derived();
  const auto* p = reinterpret_cast<const std::uint8_t*>(in.data());
  const auto* end = p + in.size();
  std::size_t malformed = 0;
  while (p < end) {
    p = passAscii(p, end, e);
    if (p == end) break;
    std::uint8_t b = *p;
    e.at = p;
    if (b >= 0xA1 && b <= 0xDF) {
      e.kana(b);
      ++p;
      continue;
    }
    const cp932::Sequence s = shiftJisSequenceAt(table, p, static_cast<std::size_t>(end - p));
    if (s.code == kNoCode) {
      ++malformed;
      e.stray(p, s.length);
    } else if (s.length == 2) {
      e.jis0208(s.code);
    } else {
      ++malformed;  // 0x80: a character, but one the detection does not expect of Shift_JIS text
      e.unicode(0x80);
    }
    p += s.length;
  }
  return malformed;
}

// Shift_JIS to UTF-8, the common case, in one tight loop over the packed table; whatever is
// not a mapped double-byte code goes the general way.
std::size_t decodeShiftJisToUtf8(std::string_view in, Utf8Encoder& e) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(in.data());
  const auto* end = p + in.size();
  const auto& toUtf8 = derived().sjisToUtf8;
  std::size_t malformed = 0;
  while (p < end) {
    if (*p < 0x80) {
      p = passAscii(p, end, e);
      continue;
    }
    // No lead byte, no entry: the table alone ends the run.
    const std::uint8_t* run = e.sink.putPackedRun(
        p, end, [&toUtf8](const std::uint8_t* at) { return toUtf8[static_cast<std::uint16_t>(at[0] << 8 | at[1])]; });
    if (run != p) {
      p = run;
      continue;
    }
    const std::size_t one = shiftJisSequenceAt(derived(), p, static_cast<std::size_t>(end - p)).length;
    malformed += decodeShiftJis(std::string_view(reinterpret_cast<const char*>(p), one), e);
    p += one;
  }
  return malformed;
}

// Returns how many sequences formed no character.
template <class Encoder>
std::size_t decodeEucJp(std::string_view in, Encoder& e) {
  const DerivedTables& table = derived();
  const auto* p = reinterpret_cast<const std::uint8_t*>(in.data());
  const auto* end = p + in.size();
  std::size_t malformed = 0;
  auto stray = [&](const std::uint8_t* at, std::size_t n) {
    ++malformed;
    e.stray(at, n);
  };
  while (p < end) {
    p = passAscii(p, end, e);
    if (p == end) break;
    e.at = p;
    // JIS X 0208, nearly every character of a page, without the general reading.
    if (end - p >= 2 && jis::isEucByte(p[0]) && jis::isEucByte(p[1])) {
      const std::uint16_t code =
          jis::toShiftJis({static_cast<std::uint8_t>(p[0] - 0xA0), static_cast<std::uint8_t>(p[1] - 0xA0)});
      if (!mapped(table, code)) stray(p, 2);
      else e.jis0208(code);
      p += 2;
      continue;
    }
    const EucSequence s = eucSequenceAt(p, static_cast<std::size_t>(end - p));
    switch (s.kind) {
      case EucKind::Jis0208: {
        // A position the table leaves empty is an error, as browsers read it.
        const std::uint16_t code = jis::toShiftJis(s.position);
        if (!mapped(table, code)) stray(p, s.length);
        else e.jis0208(code);
        break;
      }
      case EucKind::Katakana: e.kana(s.kana); break;
      case EucKind::Jis0212:
        if (jis::jis0212ToUnicode(s.position) == 0xFFFF) stray(p, s.length);
        else e.jis0212(s.position);
        break;
      case EucKind::Invalid: stray(p, s.length); break;
    }
    p += s.length;
  }
  return malformed;
}

// EUC-JP to UTF-8 in one tight loop over the packed table, as Shift_JIS has; whatever is not a
// mapped JIS X 0208 code or a half-width katakana goes the general way.
std::size_t decodeEucJpToUtf8(std::string_view in, Utf8Encoder& e) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(in.data());
  const auto* end = p + in.size();
  const auto& toUtf8 = derived().eucPairToUtf8;
  std::size_t malformed = 0;
  while (p < end) {
    if (*p < 0x80) {
      p = passAscii(p, end, e);
      continue;
    }
    // Any pair that is no mapped character has no entry: the table alone ends the run.
    const std::uint8_t* run = e.sink.putPackedRun(p, end, [&toUtf8](const std::uint8_t* at) {
      return toUtf8[eucPair(at[0], at[1])];  // one 16-bit load on a little-endian machine
    });
    if (run != p) {
      p = run;
      continue;
    }
    const std::size_t one = eucSequenceAt(p, static_cast<std::size_t>(end - p)).length;
    malformed += decodeEucJp(std::string_view(reinterpret_cast<const char*>(p), one), e);
    p += one;
  }
  return malformed;
}

template <class Encoder>
void decodeIso2022Jp(std::string_view in, Encoder& e) {
  const DerivedTables& table = derived();
  enum class Mode { Ascii, Roman, Katakana, Jis0208, Jis0212 } mode = Mode::Ascii;
  const auto* p = reinterpret_cast<const std::uint8_t*>(in.data());
  const auto* end = p + in.size();
  const auto* begin = p;
  // JIS-Roman differs from ASCII in two places, 0x5C (the yen sign) and 0x7E (the overline),
  // which browsers show as such.
  auto romanOnly = [&](std::uint8_t b) { return mode == Mode::Roman && (b == 0x5C || b == 0x7E); };
  while (p < end) {
    std::uint8_t b = *p;
    if (b == 0x1B) {
      if (const std::optional<Designation> d = designationAt(in, static_cast<std::size_t>(p - begin))) {
        switch (d->set) {
          case Iso2022Set::Ascii: mode = Mode::Ascii; break;
          case Iso2022Set::Roman: mode = Mode::Roman; break;
          case Iso2022Set::Katakana: mode = Mode::Katakana; break;
          case Iso2022Set::Jis0208: mode = Mode::Jis0208; break;
          case Iso2022Set::Jis0212: mode = Mode::Jis0212; break;
        }
        p += d->length;
        continue;
      }
    }
    e.at = p;
    if (b >= 0x80) {
      e.stray(p, 1);
      ++p;
      continue;
    }
    if (romanOnly(b)) {
      e.unicode(b == 0x5C ? 0xA5 : 0x203E);
      ++p;
      continue;
    }
    // Line breaks and other controls are themselves in every mode.
    const bool singleByte = mode == Mode::Ascii || mode == Mode::Roman;
    if (singleByte || b < 0x21 || b == 0x7F) {
      const std::uint8_t* run = p++;
      if (singleByte) {
        while (p < end && *p < 0x80 && *p != 0x1B && !romanOnly(*p)) ++p;
      }
      e.asciiRun(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
      continue;
    }
    if (mode == Mode::Katakana) {
      if (b <= 0x5F) e.kana(static_cast<std::uint8_t>(b + 0x80));
      else e.stray(p, 1);
      ++p;
      continue;
    }
    if (end - p >= 2 && p[1] >= 0x21 && p[1] <= 0x7E) {
      jis::Position pos{static_cast<std::uint8_t>(b - 0x20), static_cast<std::uint8_t>(p[1] - 0x20)};
      if (mode == Mode::Jis0208) {
        const std::uint16_t code = jis::toShiftJis(pos);
        if (!mapped(table, code)) e.stray(p, 2);
        else e.jis0208(code);
      } else if (jis::jis0212ToUnicode(pos) == 0xFFFF) {
        e.stray(p, 2);
      } else {
        e.jis0212(pos);
      }
      p += 2;
    } else {
      e.stray(p, 1);
      ++p;
    }
  }
}

struct Encoded {
  std::size_t unconvertible = 0;
  std::size_t malformed = 0;  // for Shift_JIS and EUC-JP input
};

template <class Encoder>
Encoded encodeWith(InputEncoding source, const ConverterOptions& options, std::string_view in, ByteSink& sink,
                   Reporting reporting) {
  const auto* begin = reinterpret_cast<const std::uint8_t*>(in.data());
  if (reporting.origin != nullptr) reporting.origin = begin;
  Encoder e(sink, source, options.escapeLanguage, reporting, begin);
  Encoded result;
  switch (source) {
    case InputEncoding::Ascii:
    case InputEncoding::Utf8: e.asciiRun(in.data(), in.size()); break;
    case InputEncoding::ShiftJis:
      if constexpr (std::is_same_v<Encoder, Utf8Encoder>) result.malformed = decodeShiftJisToUtf8(in, e);
      else result.malformed = decodeShiftJis(in, e);
      break;
    case InputEncoding::EucJp:
      if constexpr (std::is_same_v<Encoder, Utf8Encoder>) result.malformed = decodeEucJpToUtf8(in, e);
      else result.malformed = decodeEucJp(in, e);
      break;
    case InputEncoding::Iso2022Jp: decodeIso2022Jp(in, e); break;
  }
  e.finish();
  result.unconvertible = e.unconvertible;
  return result;
}

Encoded encode(InputEncoding source, const ConverterOptions& options, std::string_view in, ByteSink& sink,
               Reporting reporting) {
  switch (options.output) {
    case TargetEncoding::ShiftJis: return encodeWith<ShiftJisEncoder>(source, options, in, sink, reporting);
    case TargetEncoding::EucJp: return encodeWith<EucJpEncoder>(source, options, in, sink, reporting);
    case TargetEncoding::Iso2022Jp: return encodeWith<Iso2022JpEncoder>(source, options, in, sink, reporting);
    case TargetEncoding::Utf8: break;
  }
  return encodeWith<Utf8Encoder>(source, options, in, sink, reporting);
}

// The bytes of a text in its own encoding that form no character, each reported when the
// findings are given (at its offset); returns how many there are.
std::size_t strayBytes(InputEncoding source, std::string_view in, Findings* findings) {
  const DerivedTables& table = derived();
  const auto* p = reinterpret_cast<const std::uint8_t*>(in.data());
  const std::size_t n = in.size();
  std::size_t count = 0;
  for (std::size_t i = skipAscii(p, 0, n); i < n; i = skipAscii(p, i, n)) {
    bool stray = false;
    std::size_t length = 1;
    if (source == InputEncoding::EucJp) {
      const EucSequence s = eucSequenceAt(p + i, n - i);
      stray = s.kind == EucKind::Invalid ||
              (s.kind == EucKind::Jis0208 && !mapped(table, jis::toShiftJis(s.position))) ||
              (s.kind == EucKind::Jis0212 && jis::jis0212ToUnicode(s.position) == 0xFFFF);
      length = s.length;
    } else {
      // A run of double-byte characters (most of a Japanese text) in a loop of its own: two
      // bytes with an entry are a lead byte, a trail byte and a character.
      while (n - i >= 2 && mapped(table, static_cast<std::uint16_t>(p[i] << 8 | p[i + 1]))) i += 2;
      if (i == n || p[i] < 0x80) continue;
      const cp932::Sequence s = shiftJisSequenceAt(table, p + i, n - i);
      stray = s.code == kNoCode;
      length = s.length;
    }
    if (stray) {
      ++count;
      if (findings != nullptr) findings->invalid(i);
    }
    i += length;
  }
  return count;
}

bool convertsToItself(InputEncoding source, TargetEncoding output) {
  return source == InputEncoding::Ascii || (source == InputEncoding::ShiftJis && output == TargetEncoding::ShiftJis) ||
         (source == InputEncoding::EucJp && output == TargetEncoding::EucJp) ||
         (source == InputEncoding::Utf8 && output == TargetEncoding::Utf8);
}

// Rewrites the line breaks as the options ask. CR and LF never occur inside a multi-byte
// character of the outputs (the ISO-2022-JP encoder is back in ASCII before any control), so
// this works on bytes.
std::string applyLineBreaks(const ConverterOptions& o, std::string text) {
  const bool normalise = o.lineEnding != LineEnding::Unchanged;
  if (!normalise && !o.addCrBeforeLf && !o.deleteCrBeforeLf) return text;
  if (text.find_first_of("\r\n") == std::string::npos) return text;
  std::string_view newline = o.lineEnding == LineEnding::CrLf ? "\r\n" : o.lineEnding == LineEnding::Lf ? "\n" : "\r";
  // The room of the result, counted: a text of lines ended by CR alone into CR+LF grows by half,
  // and growing would hold its room twice over.
  const LineBreakCounts breaks = countLineBreaks(text);
  const std::size_t size =
      normalise ? text.size() - 2 * breaks.crlf - breaks.lf - breaks.cr +
                      newline.size() * (breaks.crlf + breaks.lf + breaks.cr)
                : text.size() + (o.addCrBeforeLf ? breaks.lf : 0) - (o.deleteCrBeforeLf ? breaks.crlf : 0);
  std::string out;
  out.reserve(size);
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    char c = text[i];
    bool crlf = c == '\r' && i + 1 < n && text[i + 1] == '\n';
    if (normalise && (c == '\r' || c == '\n')) {
      out.append(newline);
      if (crlf) ++i;
    } else if (o.addCrBeforeLf && c == '\n' && (i == 0 || text[i - 1] != '\r')) {
      out.append("\r\n");
    } else if (o.deleteCrBeforeLf && crlf) {
      // the CR goes; the LF follows in the next round
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// The text convertText reads; `owned`, when given, holds it and is handed back when the text
// passes as it is.
struct InputText {
  std::string_view text;
  std::string* owned = nullptr;
};

std::string convert(const ConverterOptions& options, InputText input, ConversionReport* report, Findings* findings,
                    const TextOrigin& origin) {
  const std::string_view text = input.text;
  std::string* owned = input.owned;
  const bool offsetsAreSource = origin.offsetsAreSource;
  const Reporting reporting{
      findings, findings != nullptr && offsetsAreSource ? reinterpret_cast<const std::uint8_t*>(text.data()) : nullptr,
      offsetsAreSource ? origin.regionOf : nullptr};
  const std::size_t capacity =
      (options.output == TargetEncoding::Utf8 ? text.size() + text.size() / 2 : text.size()) + 16;
  // A byte becomes at most an escape of eight ("&#65533;"); ISO-2022-JP's shifts around such
  // escapes may take a little more, which the result then grows to as a string does.
  const std::size_t most = text.size() <= SIZE_MAX / 16 ? 8 * text.size() + 64 : SIZE_MAX / 2;
  InputEncoding source = InputEncoding::ShiftJis;
  std::optional<ByteSink> sink;
  Encoded encoded;
  switch (options.inputEncoding ? QuickVerdict::Undecided : quickVerdict(text)) {
    case QuickVerdict::Ascii: source = InputEncoding::Ascii; break;
    // The quick checks take JIS-Roman's designation alone for ISO-2022-JP; the detection, whose
    // verdict the converter follows, keeps a Shift_JIS or EUC-JP text holding one in its encoding.
    case QuickVerdict::Iso2022Jp:
    case QuickVerdict::EucJpSoFar:
    case QuickVerdict::Undecided:
      source = options.inputEncoding ? *options.inputEncoding : detectInputEncoding(text);
      break;
    case QuickVerdict::ShiftJisSoFar:
      // Converted straight away; only a malformed byte further on sends it to the full detection.
      if (options.output != TargetEncoding::ShiftJis) {
        sink.emplace(capacity, most);
        encoded = encode(InputEncoding::ShiftJis, options, text, *sink, reporting);
        if (encoded.malformed == 0) break;
        sink.reset();
        if (findings != nullptr) findings->clear();
      }
      source = detectInputEncoding(text);
      break;
  }
  // Shift_JIS and EUC-JP into themselves, and ASCII into anything, come out as they went in,
  // but for bytes that form no character: with an escape language they become its escape of
  // U+FFFD, as the other targets write them; the bare converter keeps them.
  if (convertsToItself(source, options.output)) {
    const bool mayHoldStrays = source == InputEncoding::ShiftJis || source == InputEncoding::EucJp;
    // Text the reading step made (not the source's own bytes) is well formed by construction.
    bool clean = !mayHoldStrays || !offsetsAreSource || (findings != nullptr && findings->sourceKnownValid());
    if (!clean && !options.escapeLanguage) {
      // Text the reading step made holds no stray bytes: only a source's own are reported.
      strayBytes(source, text, findings != nullptr && offsetsAreSource ? findings : nullptr);
      clean = true;
    }
    if (clean || strayBytes(source, text, nullptr) == 0) {
      if (report) *report = ConversionReport{source, 0};
      return applyLineBreaks(options, owned != nullptr ? std::move(*owned) : std::string(text));
    }
  }
  if (!sink) {
    sink.emplace(capacity, most);
    encoded = encode(source, options, text, *sink, reporting);
  }
  if (report) {
    report->detected = source;
    report->unconvertible = encoded.unconvertible;
    report->malformed = encoded.malformed;
    report->decoded = true;
  }
  return applyLineBreaks(options, sink->finish());
}

}  // namespace

std::string convertText(const ConverterOptions& options, std::string_view text, ConversionReport* report,
                        Findings* findings, const TextOrigin& origin) {
  return convert(options, {text}, report, findings, origin);
}

std::string convertOwnedText(const ConverterOptions& options, std::string&& text, ConversionReport* report,
                             Findings* findings, bool offsetsAreSource) {
  return convert(options, {text, &text}, report, findings, {offsetsAreSource});
}

}  // namespace sarnavel
