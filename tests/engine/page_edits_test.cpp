#include "engine/page_edits.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
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
    for (std::size_t at = 0; page.size() > 0 && edits.size() < random() % 6;) {
      const std::size_t start = at + random() % (page.size() / 4 + 1);
      if (start > page.size()) break;
      const std::size_t end = std::min(page.size(), start + random() % 12);
      const int mode = round % 3;  // shrinking, growing, either
      const std::size_t length = mode == 0   ? random() % (end - start + 1)
                                 : mode == 1 ? end - start + random() % 9
                                             : random() % 12;
      edits.push_back({start, end, std::string(length, static_cast<char>('0' + edits.size()))});
      at = end + (end == start ? 1 : 0);
    }
    const std::string expected = rebuilt(page, edits);
    if (round % 2 == 0) page.reserve(page.size() * 2 + 64);
    std::vector<PageEdit> sorted = edits;
    sortPageEdits(sorted);
    std::string pieces;
    for (std::string_view piece : editedPieces(page, sorted)) pieces += piece;
    EXPECT_EQ(pieces, expected) << "round " << round;
    applyPageEdits(page, edits);
    EXPECT_EQ(page, expected) << "round " << round;
  }
}

// The edited page in pieces, for the writer: what applyPageEdits makes of the page, its size
// told without joining them, and no empty piece.
TEST(PageEdits, Pieces) {
  struct Case {
    const char* name;
    std::string page;
    std::vector<PageEdit> edits;  // sorted
    std::string edited;
  };
  const std::vector<Case> cases = {
      {"no edit", "<p>abc", {}, "<p>abc"},
      {"growing near the top",
       "<meta charset=UTF-8><p>tail",
       {{14, 19, "shift_jis"}},
       "<meta charset=shift_jis><p>tail"},
      {"shrinking near the top", "<meta charset=Shift_JIS><p>tail", {{14, 23, "UTF-8"}}, "<meta charset=UTF-8><p>tail"},
      {"insertion at 0", "<p>tail", {{0, 0, "<meta charset=UTF-8>"}}, "<meta charset=UTF-8><p>tail"},
      {"insertion at the end", "<p>", {{3, 3, "<meta>"}}, "<p><meta>"},
      {"edit at the end", "<p>ab", {{3, 5, "xyz"}}, "<p>xyz"},
      {"removal", "<p>ab", {{1, 3, ""}}, "<ab"},
      {"the whole page", "abc", {{0, 3, "x"}}, "x"},
      {"insertion before a replacement", "abcd", {{1, 1, "X"}, {1, 3, "Y"}}, "aXYd"},
      {"adjacent edits", "abcd", {{0, 2, "1"}, {2, 4, "22"}}, "122"},
  };
  for (const Case& c : cases) {
    std::string joined;
    const std::vector<std::string_view> pieces = editedPieces(c.page, c.edits);
    for (std::string_view piece : pieces) {
      EXPECT_FALSE(piece.empty()) << c.name;
      joined += piece;
    }
    EXPECT_EQ(joined, c.edited) << c.name;
    EXPECT_EQ(editedSize(c.page.size(), c.edits), c.edited.size()) << c.name;
    std::string applied = c.page;
    applyPageEdits(applied, c.edits);
    EXPECT_EQ(applied, c.edited) << c.name;
  }
}

}  // namespace
}  // namespace sarnavel
