// Comparisons of long texts that report where two texts part instead of printing them whole.
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

}  // namespace sarnavel::testing
