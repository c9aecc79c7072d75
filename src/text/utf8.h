// UTF-8 and UTF-16 helpers.
//
// isUtf8Text is the lenient test of the lead-byte rules (overlong forms and encoded surrogates
// pass) that the encoding decision starts from. Everything that decodes reads UTF-8 strictly,
// the way browsers do: every malformed sequence, a maximal subpart of one, is one U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/ascii_run.h"

namespace sarnavel {

// True when the bytes are well-formed by the lead-byte rules and hold at least one multi-byte
// sequence. Pure ASCII is not UTF-8 text. A sequence cut short by the end still counts.
bool isUtf8Text(std::string_view bytes);

// True when every byte belongs to a well-formed sequence, as the strict reader below reads
// them (pure ASCII included): bytes a writer of JSON can keep as they are.
bool isWellFormedUtf8(std::string_view bytes);

// Streams the strict reading: runs of ASCII bytes to sink.ascii(const char*, size_t), every
// other character to sink.unit(char16_t, offset) with the offset of the sequence it came from
// (a character beyond U+FFFF as its two surrogates, both with that offset), and each
// malformed sequence (see readUtf8Sequence) to sink.irregular(offset).
template <class Sink>
void decodeUtf8Into(std::string_view bytes, Sink& sink);

// Appends the UTF-8 form of a code point (a lone surrogate is written as U+FFFD).
void appendUtf8(std::string& out, char32_t codePoint);

// The strict reader, the way browsers read UTF-8: the well-formed sequence at p[0] (n bytes
// left, n >= 1, p[0] >= 0x80) and its code point in `codePoint`; or, when none starts there,
// a length of 0 and in `errorLength` the bytes that form one error (the lead byte and the
// continuation bytes that fit it, the maximal subpart), each error read as one U+FFFD.
std::size_t readUtf8Sequence(const unsigned char* p, std::size_t n, char32_t& codePoint, std::size_t& errorLength);

// Strict conversions; each malformed sequence becomes one U+FFFD (see decodeUtf8Into), a lone
// surrogate U+FFFD too. Zero bytes and units are kept.
std::u16string utf8ToUtf16(std::string_view bytes);
std::string utf16ToUtf8(std::u16string_view text);

inline bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
inline char32_t combineSurrogates(char16_t high, char16_t low) {
  return 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (low - 0xDC00);
}

template <class Sink>
void decodeUtf8Into(std::string_view bytes, Sink& sink) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned b = p[i];
    if (b < 0x80) {
      std::size_t run = i + 1;
      run = asciiRunEnd(p, run, n);
      sink.ascii(reinterpret_cast<const char*>(p + i), run - i);
      i = run;
      continue;
    }
    const std::size_t left = n - i;
    // The common well-formed two- and three-byte forms here; everything else is read by the rules.
    if (b >= 0xE1 && b <= 0xEF && b != 0xED && left >= 3 && (p[i + 1] & 0xC0) == 0x80 && (p[i + 2] & 0xC0) == 0x80) {
      sink.unit(static_cast<char16_t>((b & 0x0F) << 12 | (p[i + 1] & 0x3F) << 6 | (p[i + 2] & 0x3F)), i);
      i += 3;
      continue;
    }
    if (b >= 0xC2 && b <= 0xDF && left >= 2 && (p[i + 1] & 0xC0) == 0x80) {
      sink.unit(static_cast<char16_t>((b & 0x1F) << 6 | (p[i + 1] & 0x3F)), i);
      i += 2;
      continue;
    }
    char32_t cp = 0;
    std::size_t errorLength = 1;
    const std::size_t length = readUtf8Sequence(p + i, left, cp, errorLength);
    if (length == 0) {
      sink.irregular(i);
      i += errorLength;
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      sink.unit(static_cast<char16_t>(0xD800 + (cp >> 10)), i);
      sink.unit(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)), i);
      i += length;
    } else {
      sink.unit(static_cast<char16_t>(cp), i);
      i += length;
    }
  }
}

}  // namespace sarnavel
