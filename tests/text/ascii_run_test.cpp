#include "text/ascii_run.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace sarnavel {
namespace {

using ScanAt = std::size_t (*)(const std::uint8_t*, std::size_t, std::size_t, std::uint8_t);

// Each way of finding where a run of ASCII ends, all asked the question of the byte-at-a-time
// way: a run that stops at the byte asked for (the escape byte) as well as at any high byte.
std::vector<std::pair<const char*, ScanAt>> ways() {
  std::vector<std::pair<const char*, ScanAt>> out = {
      {"words", [](const std::uint8_t* p, std::size_t start, std::size_t n, std::uint8_t stop) {
         return stop == 0x80 ? asciiRunEndByWords(p, start, n) : asciiRunEndAtByWords(p, start, n, stop);
       }}};
#if defined(__SSE2__)
  out.push_back({"sse2", [](const std::uint8_t* p, std::size_t start, std::size_t n, std::uint8_t stop) {
                   return stop == 0x80 ? asciiRunEndBySse2(p, start, n) : asciiRunEndAtBySse2(p, start, n, stop);
                 }});
#endif
  return out;
}

// A run from `start` that ends at every position of two 16-byte blocks and the tail after them
// (or runs to the end), ended by each kind of byte that ends it, with a second ending byte after
// it that must not be taken for the first. Bytes before the start are high (not looked at); the
// filler is one below the escape byte, which must not count. 0x80 asks for high bytes alone.
TEST(AsciiRunEnd, EndsAtEveryPosition) {
  const std::uint8_t enders[] = {0x80, 0xA4, 0xE3, 0xFF, 0x1B};
  for (const auto& [name, scan] : ways()) {
    for (std::uint8_t stop : {std::uint8_t{0x80}, std::uint8_t{0x1B}}) {
      for (std::size_t n = 0; n <= 40; ++n) {
        for (std::size_t start = 0; start <= std::min<std::size_t>(n, 3); ++start) {
          for (std::size_t end = start; end <= n; ++end) {
            for (std::uint8_t ender : enders) {
              if (ender == 0x1B && stop != 0x1B) continue;
              std::string text(n, '\x1A');
              for (std::size_t k = 0; k < start; ++k) text[k] = '\x82';
              if (end < n) text[end] = static_cast<char>(ender);
              if (end + 5 < n) text[end + 5] = static_cast<char>(stop == 0x1B ? 0x1B : 0x81);
              const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
              ASSERT_EQ(scan(p, start, n, stop), end)
                  << name << " n=" << n << " start=" << start << " ender=" << +ender << " stop=" << +stop;
            }
          }
        }
      }
    }
  }
}

using CopyBlocks = std::size_t (*)(const std::uint8_t*, std::size_t, char*, std::size_t);

// Copying a run while finding its end: for every input length, run end and room, the count is
// the run's end or stops where less than a block of input or room was left; the bytes counted
// are the input's, and nothing is read past the input nor written past the room (the input is
// a buffer of its exact size, the room ends at a guard).
TEST(AsciiRunEnd, CopiesBlocksUpToTheRunsEnd) {
  std::vector<std::pair<const char*, std::pair<CopyBlocks, std::size_t>>> ways = {
      {"words", {copyAsciiBlocksByWords, 8}}};
#if defined(__SSE2__)
  ways.push_back({"sse2", {copyAsciiBlocksBySse2, 16}});
#endif
  for (const auto& [name, way] : ways) {
    const auto [copy, block] = way;
    for (std::size_t n = 0; n <= 40; ++n) {
      for (std::size_t end = 0; end <= n; ++end) {
        for (std::size_t room : {std::size_t{0}, std::size_t{7}, std::size_t{8}, std::size_t{15}, std::size_t{16},
                                 std::size_t{17}, std::size_t{31}, std::size_t{32}, std::size_t{64}}) {
          std::vector<std::uint8_t> text(n);
          for (std::size_t k = 0; k < n; ++k) text[k] = static_cast<std::uint8_t>('0' + k % 64);
          if (end < n) text[end] = 0xE3;
          std::vector<char> out(room + 1, '\x7F');
          const std::size_t copied = copy(text.data(), n, out.data(), room);
          const std::size_t limit = std::min(n, room);
          ASSERT_LE(copied, std::min(end, limit)) << name << " n=" << n << " end=" << end << " room=" << room;
          EXPECT_TRUE(copied == end || limit - copied < block)
              << name << " n=" << n << " end=" << end << " room=" << room;
          EXPECT_EQ(std::string(out.data(), copied), std::string(text.begin(), text.begin() + copied)) << name;
          EXPECT_EQ(out[room], '\x7F') << name << " wrote past the room";
        }
      }
    }
  }
}

}  // namespace
}  // namespace sarnavel
