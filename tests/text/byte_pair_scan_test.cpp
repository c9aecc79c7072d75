#include "text/byte_pair_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace sarnavel {
namespace {

using Scan = std::size_t (*)(const char*, std::size_t, std::size_t, char, char);

std::vector<std::pair<const char*, Scan>> ways() {
  std::vector<std::pair<const char*, Scan>> out = {{"words", findEitherByteByWords}};
#if defined(__SSE2__)
  out.push_back({"sse2", findEitherByteBySse2});
#endif
  return out;
}

// A search from `start` that ends at every position of two 16-byte blocks and the tail after
// them (or runs to the end), at either byte, with the other one after it that must not be taken
// first. Bytes before the start are the byte asked for (not looked at); the filler differs from
// each by one bit, and a byte above 0x80 stands beside the one found, which must not count.
TEST(FindEitherByte, EndsAtEveryPosition) {
  for (const auto& [name, scan] : ways()) {
    for (std::size_t n = 0; n <= 40; ++n) {
      for (std::size_t start = 0; start <= std::min<std::size_t>(n, 3); ++start) {
        for (std::size_t end = start; end <= n; ++end) {
          for (char ender : {'<', '\x1b'}) {
            std::string text(n, '=');  // '<' ^ 1
            for (std::size_t k = 0; k < start; ++k) text[k] = '<';
            if (end > start) text[end - 1] = '\xbc';  // '<' | 0x80
            if (end < n) text[end] = ender;
            if (end + 5 < n) text[end + 5] = ender == '<' ? '\x1b' : '<';
            ASSERT_EQ(scan(text.data(), start, n, '<', '\x1b'), end)
                << name << " n=" << n << " start=" << start << " ender=" << +ender;
          }
        }
      }
    }
  }
}

// The paired search gives what its two searches made one after the other give, wherever the
// three bytes fall in and across the blocks: random texts of 0-70 bytes from few bytes.
TEST(FindOpenThenClose, IsTheTwoSearchesInTurn) {
  std::mt19937 random(7);
  const char bytes[] = {'<', '>', '\x1b', 'x', '\xbc', '\xbe'};
  std::uniform_int_distribution<int> byte(0, 5), length(0, 70), sparse(0, 9);
  for (int round = 0; round < 20000; ++round) {
    std::string text(static_cast<std::size_t>(length(random)), 'x');
    // Mostly filler, so that the bytes sought lie apart as tags do.
    for (char& c : text) c = sparse(random) < 3 ? bytes[byte(random)] : 'x';
    const std::size_t n = text.size();
    for (std::size_t start = 0; start <= std::min<std::size_t>(n, 17); ++start) {
      const std::size_t first = findEitherByteByWords(text.data(), start, n, '<', '\x1b');
      const std::size_t second =
          first < n && text[first] == '<' ? findEitherByteByWords(text.data(), first + 1, n, '>', '\x1b') : n;
      const BytePairAt words = findOpenThenCloseByWords(text.data(), start, n, {'<', '>', '\x1b'});
      ASSERT_EQ(words.first, first) << ::testing::PrintToString(text) << " from " << start;
      ASSERT_EQ(words.second, second) << ::testing::PrintToString(text) << " from " << start;
#if defined(__SSE2__)
      const BytePairAt sse2 = findOpenThenCloseBySse2(text.data(), start, n, {'<', '>', '\x1b'});
      ASSERT_EQ(sse2.first, first) << ::testing::PrintToString(text) << " from " << start;
      ASSERT_EQ(sse2.second, second) << ::testing::PrintToString(text) << " from " << start;
#endif
    }
  }
}

// The masks of a block say of each of its bytes, and of nothing past its end, whether it is
// one of the three sought: random blocks of 0-64 bytes, each way against the bytes themselves.
TEST(ByteMasks, MarkEachByteSoughtAndNothingPastTheBlock) {
  using Masks = ByteMasks (*)(const char*, std::size_t, char, char, char);
  std::vector<std::pair<const char*, Masks>> masksWays = {{"bytes", byteMasksByBytes}};
#if defined(__SSE2__)
  masksWays.push_back({"sse2", byteMasksBySse2});
#endif
  std::mt19937 random(64);
  const char bytes[] = {'<', '>', '\x1b', '\0', 'x', '\xbc'};
  std::uniform_int_distribution<int> byte(0, 5);
  for (int round = 0; round < 2000; ++round) {
    // The block lies at the start of a larger buffer of sought bytes, which must not count.
    std::string buffer(80, '<');
    const std::size_t size = static_cast<std::size_t>(round % 65);
    for (std::size_t k = 0; k < size; ++k) buffer[k] = bytes[byte(random)];
    for (const auto& [name, masksOf] : masksWays) {
      for (const char zeroOrNot : {'\0', '>'}) {
        const ByteMasks masks = masksOf(buffer.data(), size, '<', zeroOrNot, '\x1b');
        for (std::size_t k = 0; k < 64; ++k) {
          const bool inBlock = k < size;
          ASSERT_EQ((masks.first >> k) & 1, inBlock && buffer[k] == '<') << name << " size " << size << " at " << k;
          ASSERT_EQ((masks.second >> k) & 1, inBlock && buffer[k] == zeroOrNot)
              << name << " size " << size << " at " << k;
          ASSERT_EQ((masks.third >> k) & 1, inBlock && buffer[k] == '\x1b') << name << " size " << size << " at " << k;
        }
      }
    }
  }
}

}  // namespace
}  // namespace sarnavel
