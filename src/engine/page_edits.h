// The changes a conversion makes to a converted page, gathered from its one walk and applied
// in one pass: a page with many references or declarations costs time in proportion to its
// size, and no change moves the offsets another one was found at.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sarnavel {

struct PageEdit {
  std::size_t start = 0;
  std::size_t end = 0;  // start == end: an insertion
  std::string text;
};

// Puts edits in the order applyPageEdits applies them.
void sortPageEdits(std::vector<PageEdit>& edits);

// Replaces each [start, end) by its text. Edits do not overlap; at one offset an insertion
// goes before a replacement, and insertions keep the order they were given in. The page is
// edited in place when that moves each byte once and fits what the string holds (edits that
// only shrink it, or only grow it), else rebuilt. Throws std::bad_alloc when memory runs out,
// the page then as it was.
void applyPageEdits(std::string& page, std::vector<PageEdit> edits);

// The edited page as the pieces it is made of, in order: the stretches of `page` between the
// edits and the edits' texts (empty ones left out), for a writer that takes them as they are
// instead of moving the page's tail behind an edit near its top. `edits` sorted
// (sortPageEdits); the pieces point into `page` and `edits`.
std::vector<std::string_view> editedPieces(std::string_view page, const std::vector<PageEdit>& edits);

// The size of the edited page.
std::size_t editedSize(std::size_t pageSize, const std::vector<PageEdit>& edits);

}  // namespace sarnavel
