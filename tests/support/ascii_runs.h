// A text for the fast paths that copy ASCII runs a block at a time: runs of every length from 0
// to 40 between Japanese characters (some holding a CR+LF), shifted a byte further each sweep,
// so that runs end at every offset of a 16-byte block and a 4 KB output block fills at every
// offset. Given the same character in several encodings, it returns the same text in each, so
// that one is the conversion of another.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace sarnavel::testing {

template <std::size_t N>
std::array<std::string, N> asciiRunsOfEveryLength(const std::array<std::string_view, N>& character) {
  std::array<std::string, N> text;
  for (int sweep = 0; sweep < 16; ++sweep) {
    std::string run(static_cast<std::size_t>(sweep), 'x');
    for (std::size_t length = 0; length <= 40; ++length) {
      for (std::size_t k = 0; k < length; ++k) run.push_back(static_cast<char>('a' + (k + length) % 26));
      if (length > 2 && length % 3 == 0) run.replace(length / 2, 2, "\r\n");
      for (std::size_t e = 0; e < N; ++e) (text[e] += run) += character[e];
      run.clear();
    }
  }
  return text;
}

}  // namespace sarnavel::testing
