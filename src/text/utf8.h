// UTF-8 and UTF-16 helpers.
//
// isUtf8Text and decodeUtf8 are the lenient pair that decides whether a document is UTF-8
// and decodes it for escaping: they follow the lead-byte rules only (overlong forms and
// encoded surrogates are accepted) and never fail. The strict pair below them is for
// everything else (paths, tests): it turns every malformed sequence into U+FFFD, the way
// browsers read UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sarnavel {

// True when the bytes are well-formed by the lead-byte rules and hold at least one multi-byte
// sequence. Pure ASCII is not UTF-8 text. A sequence cut short by the end still counts.
bool isUtf8Text(std::string_view bytes);

// Decodes by the lead-byte rules: overlong forms decode as they are, encoded surrogates pass,
// 4-byte sequences become surrogate pairs, 5- and 6-byte sequences and anything irregular
// become '?'. Zero bytes decode to zero units and are kept.
std::u16string decodeUtf8(std::string_view bytes);

// Appends the UTF-8 form of a code point (a lone surrogate is written as U+FFFD).
void appendUtf8(std::string& out, char32_t codePoint);

// Strict conversions; malformed input becomes U+FFFD.
std::u16string utf8ToUtf16(std::string_view bytes);
std::string utf16ToUtf8(std::u16string_view text);

inline bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
inline char32_t combineSurrogates(char16_t high, char16_t low) {
  return 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (low - 0xDC00);
}

}  // namespace sarnavel
