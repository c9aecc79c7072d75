#include "text/ascii_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sarnavel {
namespace {

using Scan = std::size_t (*)(const std::uint8_t*, std::size_t, std::size_t);

struct Way {
  const char* name;
  Scan scan;
};

std::vector<Way> ways() {
  std::vector<Way> out = {{"words", asciiRunEndByWords}};
#if defined(__SSE2__)
  out.push_back({"sse2", asciiRunEndBySse2});
#endif
  return out;
}

// A run of ASCII from `start` that ends at every position of two 16-byte blocks and the tail
// after them (or runs to the end), ended by each kind of high byte, with a second high byte
// after it that must not be taken for the first.
TEST(AsciiRunEnd, EndsAtEveryPosition) {
  const std::uint8_t highBytes[] = {0x80, 0xA4, 0xE3, 0xFF};
  for (const Way& way : ways()) {
    for (std::size_t n = 0; n <= 40; ++n) {
      for (std::size_t start = 0; start <= std::min<std::size_t>(n, 3); ++start) {
        for (std::size_t end = start; end <= n; ++end) {
          for (std::uint8_t high : highBytes) {
            std::string text(n, 'a');
            for (std::size_t k = 0; k < start; ++k) text[k] = '\x82';  // before the start: not looked at
            if (end < n) text[end] = static_cast<char>(high);
            if (end + 5 < n) text[end + 5] = '\x81';
            const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
            ASSERT_EQ(way.scan(p, start, n), end) << way.name << " n=" << n << " start=" << start << " high=" << +high;
          }
        }
      }
    }
  }
}

// The same runs ended by the byte asked for (an escape byte) as well as by high bytes.
TEST(AsciiRunEndAt, EndsAtEveryPositionAtTheByteAskedFor) {
  using ScanAt = std::size_t (*)(const std::uint8_t*, std::size_t, std::size_t, std::uint8_t);
  std::vector<std::pair<const char*, ScanAt>> scans = {{"words", asciiRunEndAtByWords}};
#if defined(__SSE2__)
  scans.push_back({"sse2", asciiRunEndAtBySse2});
#endif
  const std::uint8_t enders[] = {0x1B, 0x80, 0xFF};
  for (const auto& [name, scan] : scans) {
    for (std::size_t n = 0; n <= 40; ++n) {
      for (std::size_t end = 0; end <= n; ++end) {
        for (std::uint8_t ender : enders) {
          std::string text(n, '\x1A');  // one below the escape byte, which must not count
          if (end < n) text[end] = static_cast<char>(ender);
          if (end + 3 < n) text[end + 3] = '\x1B';
          const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
          ASSERT_EQ(scan(p, 0, n, 0x1B), end) << name << " n=" << n << " ender=" << +ender;
        }
      }
    }
  }
}

}  // namespace
}  // namespace sarnavel
