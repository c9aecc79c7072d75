// Comparisons of long texts that report where two texts part instead of printing them whole,
// and the UTF-16 bytes of a text.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace sarnavel::testing {

template <class Char>
::testing::AssertionResult sameText(std::basic_string_view<Char> actual, std::basic_string_view<Char> expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  std::size_t n = std::min(actual.size(), expected.size());
  std::size_t at = 0;
  while (at < n && actual[at] == expected[at]) ++at;
  auto show = [&](std::basic_string_view<Char> s) {
    std::string out;
    for (std::size_t i = at; i < std::min(s.size(), at + 12); ++i) {
      char hex[12];
      std::snprintf(hex, sizeof hex, "%X ", static_cast<unsigned>(static_cast<std::make_unsigned_t<Char>>(s[i])));
      out += hex;
    }
    return out;
  };
  return ::testing::AssertionFailure() << "texts part at " << at << " (sizes " << actual.size() << " and "
                                       << expected.size() << "): actual " << show(actual) << "| expected "
                                       << show(expected);
}

inline ::testing::AssertionResult sameBytes(std::string_view actual, std::string_view expected) {
  return sameText<char>(actual, expected);
}
inline ::testing::AssertionResult sameUnits(std::u16string_view actual, std::u16string_view expected) {
  return sameText<char16_t>(actual, expected);
}

// UTF-16 bytes of a text, little- or big-endian, without a byte-order mark.
inline std::string utf16le(std::u16string_view text) {
  std::string out;
  for (char16_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  return out;
}
inline std::string utf16be(std::u16string_view text) {
  std::string out;
  for (char16_t unit : text) {
    out.push_back(static_cast<char>(unit >> 8));
    out.push_back(static_cast<char>(unit & 0xFF));
  }
  return out;
}
inline const std::string kLeMark = "\xFF\xFE";
inline const std::string kBeMark = "\xFE\xFF";

}  // namespace sarnavel::testing
