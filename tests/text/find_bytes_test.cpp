#include "text/find_bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sarnavel {
namespace {

// Every needle length from 1 to 20, planted at every offset of a text of up to 50 bytes (whole
// or cut short by the text's end), found from every start up to 20, with near misses (the first
// and last bytes in place, a middle one wrong) before it: the answer is the standard search's.
TEST(FindBytes, AnswersAsTheStandardSearch) {
  const std::string word = "document.write(\"<e>\")";
  for (std::size_t m = 1; m <= 20; ++m) {
    const std::string needle = word.substr(0, m - 1) + 'e';
    for (std::size_t n = 0; n <= 50; ++n) {
      for (std::size_t at = 0; at <= n; ++at) {
        std::string text(n, 'd');
        for (std::size_t k = 1; k < n; k += 3) text[k] = 'e';
        text.replace(at, std::min(m, n - at), needle, 0, std::min(m, n - at));
        if (at >= m && m >= 3) {
          text.replace(at - m, m, needle);
          text[at - m + 1] = '\x80';
        }
        for (std::size_t from = 0; from <= std::min<std::size_t>(n + 1, 20); ++from) {
          const std::size_t expected = std::string_view(text).find(needle, from);
          ASSERT_EQ(findBytes(text, from, needle), expected) << "m=" << m << " n=" << n << " at=" << at;
          ASSERT_EQ(findBytesPlain(text, from, needle), expected);
        }
      }
    }
  }
}

}  // namespace
}  // namespace sarnavel
