// Line breaks tallied run by run, as the converter passes the ASCII runs of a text, come to what
// countLineBreaks finds in the whole text: breaks at block edges, at run edges and next to
// Japanese bytes included.
#include "text/line_breaks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

namespace sarnavel {
namespace {

LineBreakCounts tallied(const std::string& text) {
  const auto* begin = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto* end = begin + text.size();
  LineBreakTally tally;
  for (const std::uint8_t* p = begin; p < end;) {
    if (*p >= 0x80) ++p;
    else p = asciiRunEndTallyingBreaks(begin, p, end, tally);
  }
  return tally.counts();
}

TEST(LineBreakTally, RunByRunCountsWhatTheWholeTextHolds) {
  std::mt19937 random(18);
  const char pieces[] = {'\r', '\n', 'a', ' ', '\x82', '\xA0'};
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    const std::size_t length = random() % 80;
    for (std::size_t k = 0; k < length; ++k) text.push_back(pieces[random() % sizeof pieces]);
    EXPECT_EQ(tallied(text), countLineBreaks(text)) << round;
  }
  const std::string edges = std::string(15, 'a') + "\r\n" + std::string(14, 'b') + "\r\x82\n\r" + std::string(31, 'c') +
                            "\n\r\r\n";
  EXPECT_EQ(tallied(edges), countLineBreaks(edges));
}

}  // namespace
}  // namespace sarnavel
