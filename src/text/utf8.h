// UTF-8 and UTF-16 helpers.
//
// isUtf8Text and decodeUtf8 are the lenient pair that decides whether a document is UTF-8
// and decodes it for escaping: they follow the lead-byte rules only (overlong forms and
// encoded surrogates are accepted) and never fail. The strict pair below them is for
// everything else (paths, tests): it turns every malformed sequence into U+FFFD, the way
// browsers read UTF-8.
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

// Decodes by the lead-byte rules: overlong forms decode as they are, encoded surrogates pass,
// 4-byte sequences become surrogate pairs, 5- and 6-byte sequences and anything irregular
// become '?'. Zero bytes decode to zero units and are kept.
std::u16string decodeUtf8(std::string_view bytes);

// Streams what decodeUtf8 decodes: runs of ASCII bytes to sink.ascii(const char*, size_t),
// every other unit to sink.unit(char16_t, offset) with the offset of the sequence it came
// from, and each irregular sequence (what decodeUtf8 makes '?') to sink.irregular(offset).
// decodeUtf8 is this with a sink that collects.
template <class Sink>
void decodeUtf8Into(std::string_view bytes, Sink& sink);

// Appends the UTF-8 form of a code point (a lone surrogate is written as U+FFFD).
void appendUtf8(std::string& out, char32_t codePoint);

// The strict reader, the way browsers read UTF-8: the well-formed sequence at p[0] (n bytes
// left, n >= 1, p[0] >= 0x80) and its code point in `codePoint`; or, when none starts there,
// a length of 0 and in `errorLength` the bytes that form one error (the lead byte and the
// continuation bytes that fit it, the maximal subpart), each error read as one U+FFFD.
std::size_t readUtf8Sequence(const unsigned char* p, std::size_t n, char32_t& codePoint, std::size_t& errorLength);

// Strict conversions; malformed input becomes U+FFFD.
std::u16string utf8ToUtf16(std::string_view bytes);
std::string utf16ToUtf8(std::u16string_view text);

inline bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
inline char32_t combineSurrogates(char16_t high, char16_t low) {
  return 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (low - 0xDC00);
}

namespace utf8_detail {
inline bool continuationBytes(const unsigned char* p, std::size_t count) {
  for (std::size_t k = 1; k <= count; ++k) {
    if ((p[k] & 0xC0) != 0x80) return false;
  }
  return true;
}
}  // namespace utf8_detail

template <class Sink>
void decodeUtf8Into(std::string_view bytes, Sink& sink) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    unsigned b = p[i];
    if (b < 0x80) {
      std::size_t run = i + 1;
      run = asciiRunEnd(p, run, n);
      sink.ascii(reinterpret_cast<const char*>(p + i), run - i);
      i = run;
      continue;
    }
    const std::size_t left = n - i;
    auto at = [&](std::size_t k) { return static_cast<std::uint32_t>(p[i + k] & 0x3F); };
    using utf8_detail::continuationBytes;
    if ((b & 0xE0) == 0xC0 && left >= 2 && continuationBytes(p + i, 1)) {
      sink.unit(static_cast<char16_t>((b & 0x1F) << 6 | at(1)), i);  // overlong forms decode as they are
      i += 2;
    } else if ((b & 0xF0) == 0xE0 && left >= 3 && continuationBytes(p + i, 2)) {
      sink.unit(static_cast<char16_t>((b & 0x0F) << 12 | at(1) << 6 | at(2)), i);  // surrogates pass
      i += 3;
    } else if ((b & 0xF8) == 0xF0 && left >= 4 && continuationBytes(p + i, 3)) {
      std::uint32_t v = (b & 0x07u) << 18 | at(1) << 12 | at(2) << 6 | at(3);
      // Above U+10FFFF no surrogate pair can be formed; such a sequence is irregular.
      if (v < 0x10000) {
        sink.unit(static_cast<char16_t>(v), i);
      } else if (v > 0x10FFFF) {
        sink.irregular(i);
      } else {
        v -= 0x10000;
        sink.unit(static_cast<char16_t>(0xD800 + (v >> 10)), i);
        sink.unit(static_cast<char16_t>(0xDC00 + (v & 0x3FF)), i);
      }
      i += 4;
    } else if ((b & 0xFC) == 0xF8 && left >= 5 && continuationBytes(p + i, 4)) {
      sink.irregular(i);
      i += 5;
    } else if ((b & 0xFE) == 0xFC && left >= 6 && continuationBytes(p + i, 5)) {
      sink.irregular(i);
      i += 6;
    } else {
      sink.irregular(i);  // the byte and every continuation byte after it
      ++i;
      while (i < n && (p[i] & 0xC0) == 0x80) ++i;
    }
  }
}

}  // namespace sarnavel
