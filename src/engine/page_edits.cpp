#include "engine/page_edits.h"

#include <algorithm>

namespace sarnavel {

void sortPageEdits(std::vector<PageEdit>& edits) {
  std::stable_sort(edits.begin(), edits.end(), [](const PageEdit& a, const PageEdit& b) {
    if (a.start != b.start) return a.start < b.start;
    return (a.start == a.end) > (b.start == b.end);  // insertions first
  });
}

void applyPageEdits(std::string& page, std::vector<PageEdit> edits) {
  if (edits.empty()) return;
  sortPageEdits(edits);
  std::size_t grown = 0;
  for (const PageEdit& edit : edits) grown += edit.text.size();
  std::string rebuilt;
  rebuilt.reserve(page.size() + grown);
  std::size_t copied = 0;
  for (const PageEdit& edit : edits) {
    rebuilt.append(page, copied, edit.start - copied);
    rebuilt += edit.text;
    copied = edit.end;
  }
  rebuilt.append(page, copied, std::string::npos);
  page.swap(rebuilt);
}

}  // namespace sarnavel
