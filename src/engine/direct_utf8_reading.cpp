#include "engine/direct_utf8_reading.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "engine/converter.h"
#include "text/ascii_run.h"
#include "text/cp932.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

// What the target writes for each character of the Basic Multilingual Plane it holds, as the
// escaper decides it (a character code page 932 holds, and for EUC-JP one that encoding reaches
// too): up to three bytes packed as the converter packs them (the bytes from the lowest, the
// count in the top byte), 0 for a character that is escaped instead. For the UTF-8 target a
// held character is its own UTF-8, which the reader copies from the source.
struct HeldCharacters {
  // The characters from U+0800 (three bytes in UTF-8), indexed by the unit; every entry below
  // 0x800 is 0, so that an overlong three-byte form finds no character by itself, as does a
  // surrogate, which no target holds.
  std::array<std::uint32_t, 0x10000> packed;
  std::array<std::uint32_t, 0x800> twoByte;  // the characters U+0080-U+07FF
  bool complete = true;                      // every held character has its bytes here
  std::uint32_t of(char32_t unit) const { return unit < 0x800 ? twoByte[unit] : packed[unit]; }
};

std::uint32_t packBytes(std::string_view bytes) {
  std::uint32_t packed = static_cast<std::uint32_t>(bytes.size()) << 24;
  for (std::size_t k = 0; k < bytes.size(); ++k)
    packed |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[k])) << (8 * k);
  return packed;
}

// The bytes of each held character are what the converter makes of its code page 932 code, so
// the text made here in the target's own encoding is the one that the escaper and the
// converter would have made in two passes.
std::unique_ptr<HeldCharacters> buildHeldCharacters(TargetEncoding target) {
  auto held = std::make_unique<HeldCharacters>();
  held->packed.fill(0);
  held->twoByte.fill(0);
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
    (unit < 0x800 ? held->twoByte[unit] : held->packed[unit]) = packBytes(bytes);
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

// Whether the low bytes of `bytes4` (a character's three and the next) are a three-byte form,
// and its unit: the held tables have no entry for an overlong form (below U+0800) or for a
// surrogate.
inline bool threeByteUnit(std::uint32_t bytes4, std::uint32_t& unit) {
  static_assert(std::endian::native == std::endian::little, "a character's first byte is read lowest");
  if ((bytes4 & 0xC0C0F0) != 0x8080E0) return false;  // 1110xxxx 10xxxxxx 10xxxxxx
  unit = (bytes4 & 0x0F) << 12 | (bytes4 >> 2 & 0xFC0) | (bytes4 >> 16 & 0x3F);
  return true;
}

// The UTF-8 text being read: its bytes, and the source offset of the first.
struct Utf8Input {
  const std::uint8_t* p;
  std::size_t n;
  std::size_t firstOffset;
};

// The block the target's bytes are gathered in before they go out.
constexpr std::size_t kBlock = 4096;

// A run of three-byte characters the target holds (kana and kanji, most of a Japanese text) in
// a loop of its own, the cursors in registers; an overlong form, a surrogate or anything else
// finds no entry and ends it. A character is read as four bytes at once (its three and the next,
// so never the input's last byte) and writes at most three (four stored): the input and the
// block's room bound a stretch of characters once, and the loop tests only its end. Writes from
// `block[at]` on, moves `i` past the run and returns where the block's bytes end.
std::size_t heldRun(const Utf8Input& in, std::size_t& i, const std::uint32_t* held, char* block, std::size_t at) {
  const std::uint8_t* p = in.p;
  const std::size_t n = in.n;
  constexpr std::size_t blockSize = kBlock;
  while (n - i >= 4 && at <= blockSize - 4) {
    const std::size_t stop = i + 3 * std::min((n - i - 1) / 3, (blockSize - 4 - at) / 3 + 1);
    std::size_t k = i;
    for (; k != stop; k += 3) {
      std::uint32_t bytes4;
      std::memcpy(&bytes4, p + k, 4);
      std::uint32_t unit = 0;
      if (!threeByteUnit(bytes4, unit)) break;
      const std::uint32_t packed = held[unit];
      if (packed == 0) break;
      std::memcpy(block + at, &packed, 4);  // the count lands past the bytes
      at += packed >> 24;
    }
    i = k;
    if (k != stop) break;
  }
  return at;
}

// The same run for the UTF-8 target, where a held character is its own bytes: only passed over.
std::size_t heldRunEnd(const std::uint8_t* p, std::size_t i, std::size_t n, const std::uint32_t* held) {
  for (; n - i >= 4; i += 3) {
    std::uint32_t bytes4;
    std::memcpy(&bytes4, p + i, 4);
    std::uint32_t unit = 0;
    if (!threeByteUnit(bytes4, unit) || held[unit] == 0) break;
  }
  return i;
}

// A well-formed character of two or three bytes at p[i] (length 0 for anything else).
struct ShortForm {
  char32_t unit = 0;
  std::size_t length = 0;
};

ShortForm shortFormAt(const std::uint8_t* p, std::size_t i, std::size_t n) {
  const std::uint8_t b = p[i];
  const std::size_t left = n - i;
  if (b >= 0xE0 && b <= 0xEF && left >= 3 && (p[i + 1] & 0xC0) == 0x80 && (p[i + 2] & 0xC0) == 0x80 &&
      (b != 0xE0 || p[i + 1] >= 0xA0) && (b != 0xED || p[i + 1] <= 0x9F)) {
    return {static_cast<char32_t>((b & 0x0F) << 12 | (p[i + 1] & 0x3F) << 6 | (p[i + 2] & 0x3F)), 3};
  }
  if (b >= 0xC2 && b <= 0xDF && left >= 2 && (p[i + 1] & 0xC0) == 0x80)
    return {static_cast<char32_t>((b & 0x1F) << 6 | (p[i + 1] & 0x3F)), 2};
  return {};
}

// What the target does not hold at p[i] (`form`, a character of two or three bytes), or else a
// four-byte form or a malformed sequence, handed to the escaper as decodeUtf8Into reads it;
// returns its length.
std::size_t escapeSequence(TextEscaper& escaper, const Utf8Input& in, std::size_t i, ShortForm form,
                           std::size_t& malformed) {
  const std::uint8_t* p = in.p;
  const std::size_t firstOffset = in.firstOffset;
  if (form.length != 0) {
    escaper.unit(static_cast<char16_t>(form.unit), firstOffset + i);
    return form.length;
  }
  char32_t codePoint = 0;
  std::size_t errorLength = 1;
  const std::size_t sequence = readUtf8Sequence(p + i, in.n - i, codePoint, errorLength);
  if (sequence == 0) {
    ++malformed;
    escaper.irregular(firstOffset + i);
    return errorLength;
  }
  if (codePoint >= 0x10000) {
    const char32_t v = codePoint - 0x10000;
    escaper.unit(static_cast<char16_t>(0xD800 + (v >> 10)), firstOffset + i);
    escaper.unit(static_cast<char16_t>(0xDC00 + (v & 0x3FF)), firstOffset + i);
  } else {
    escaper.unit(static_cast<char16_t>(codePoint), firstOffset + i);
  }
  return sequence;
}

// UTF-8 into UTF-8 with escapes: a held character is written as its own bytes, so the text goes
// out in whole stretches of the source between the characters the escaper writes.
std::size_t readUtf8IntoUtf8(std::string& out, TextEscaper& escaper, std::string_view bytes, std::size_t firstOffset,
                             const HeldCharacters& table) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::size_t n = bytes.size();
  const Utf8Input in{p, n, firstOffset};
  std::size_t malformed = 0;
  std::size_t copied = 0;  // the source before this is written
  std::size_t i = 0;
  while (i < n) {
    if (p[i] < 0x80) {
      i = asciiRunEnd(p, i, n);
      continue;
    }
    i = heldRunEnd(p, i, n, table.packed.data());
    if (i == n || p[i] < 0x80) continue;
    const ShortForm form = shortFormAt(p, i, n);
    if (form.length != 0 && table.of(form.unit) != 0) {
      i += form.length;
      continue;
    }
    out.append(bytes.data() + copied, i - copied);
    i += escapeSequence(escaper, in, i, form, malformed);
    copied = i;
  }
  out.append(bytes.data() + copied, n - copied);
  return malformed;
}

}  // namespace

bool readsUtf8Directly(const EscapeTarget& target) {
  return !target.keepCharacters && target.target != TargetEncoding::Iso2022Jp && heldCharacters(target.target).complete;
}

std::size_t readUtf8Directly(std::string& out, TextEscaper& escaper, std::string_view bytes, std::size_t firstOffset,
                             TargetEncoding target) {
  const HeldCharacters& table = heldCharacters(target);
  escaper.writeTargetBytes();  // the held characters go out in the target's bytes; a stand-in must too
  if (target == TargetEncoding::Utf8) return readUtf8IntoUtf8(out, escaper, bytes, firstOffset, table);
  std::size_t malformed = 0;
  const std::uint32_t* held = table.packed.data();
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::size_t n = bytes.size();
  const Utf8Input in{p, n, firstOffset};
  char block[kBlock];
  std::size_t used = 0;
  auto flush = [&] {
    out.append(block, used);
    used = 0;
  };
  std::size_t i = 0;
  while (i < n) {
    if (p[i] < 0x80) {
      // A short run (most of a page's) is copied in the pass that finds its end.
      const std::size_t copied = copyAsciiBlocks(p + i, n - i, block + used, kBlock - used);
      used += copied;
      i += copied;
      if (i == n || p[i] >= 0x80) continue;
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
    if (const std::size_t at = heldRun(in, i, held, block, used); at != used) {
      used = at;
      continue;
    }
    const ShortForm form = shortFormAt(p, i, n);
    const std::uint32_t packed = form.length != 0 ? table.of(form.unit) : 0;
    if (packed != 0) {
      static_assert(std::endian::native == std::endian::little, "the packed table holds its first byte lowest");
      std::memcpy(block + used, &packed, 4);
      used += packed >> 24;
      i += form.length;
      continue;
    }
    flush();
    i += escapeSequence(escaper, in, i, form, malformed);
  }
  flush();
  return malformed;
}

}  // namespace sarnavel
