#include "engine/page_edits.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace sarnavel {
namespace {

// The edits applied by copying the page piece by piece (edits sorted, as applyPageEdits sorts).
std::string rebuilt(const std::string& page, std::vector<PageEdit> edits) {
  sortPageEdits(edits);
  std::string out;
  std::size_t copied = 0;
  for (const PageEdit& edit : edits) {
    out += page.substr(copied, edit.start - copied) + edit.text;
    copied = edit.end;
  }
  return out + page.substr(copied);
}

// Random edits that shrink, grow or mix, on pages with and without room to grow in: applied in
// place or rebuilt, the page is the same.
TEST(PageEdits, AsIfRebuilt) {
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::string page(random() % 200, 'x');
    for (char& c : page) c = static_cast<char>('a' + random() % 26);
    std::vector<PageEdit> edits;
    for (std::size_t at = 0; page.size() > 0 && edits.size() < random() % 6; ) {
      const std::size_t start = at + random() % (page.size() / 4 + 1);
      if (start > page.size()) break;
      const std::size_t end = std::min(page.size(), start + random() % 12);
      const int mode = round % 3;  // shrinking, growing, either
      const std::size_t length = mode == 0 ? random() % (end - start + 1) : mode == 1 ? end - start + random() % 9 : random() % 12;
      edits.push_back({start, end, std::string(length, static_cast<char>('0' + edits.size()))});
      at = end + (end == start ? 1 : 0);
    }
    const std::string expected = rebuilt(page, edits);
    if (round % 2 == 0) page.reserve(page.size() * 2 + 64);
    applyPageEdits(page, edits);
    EXPECT_EQ(page, expected) << "round " << round;
  }
}

}  // namespace
}  // namespace sarnavel
