#include "engine/page_edits.h"

#include <algorithm>
#include <cstring>

namespace sarnavel {

void sortPageEdits(std::vector<PageEdit>& edits) {
  std::stable_sort(edits.begin(), edits.end(), [](const PageEdit& a, const PageEdit& b) {
    if (a.start != b.start) return a.start < b.start;
    return (a.start == a.end) > (b.start == b.end);  // insertions first
  });
}

namespace {

// The edits applied in place, each untouched stretch moved once. Edits taken front to back move
// the text towards the start, so they must never have grown the page before the next one
// (every prefix shrinks or keeps its size); taken back to front they move it towards the end,
// so every prefix must grow or keep its size. Returns false, the page untouched, when neither
// holds (or the page would outgrow what it holds); it is then rebuilt.
bool applyInPlace(std::string& page, const std::vector<PageEdit>& edits) {
  bool shrinking = true, growing = true;
  std::size_t removed = 0, added = 0;
  for (const PageEdit& edit : edits) {
    removed += edit.end - edit.start;
    added += edit.text.size();
    shrinking = shrinking && added <= removed;
    growing = growing && added >= removed;
  }
  char* p = page.data();
  if (shrinking) {
    std::size_t write = edits.front().start, read = write;
    for (const PageEdit& edit : edits) {
      std::memmove(p + write, p + read, edit.start - read);
      write += edit.start - read;
      std::memcpy(p + write, edit.text.data(), edit.text.size());
      write += edit.text.size();
      read = edit.end;
    }
    std::memmove(p + write, p + read, page.size() - read);
    page.resize(write + page.size() - read);
    return true;
  }
  if (!growing || page.size() + added - removed > page.capacity()) return false;
  std::size_t read = page.size();
  page.resize(page.size() + added - removed);
  p = page.data();
  std::size_t write = page.size();
  for (auto edit = edits.rbegin(); edit != edits.rend(); ++edit) {
    write -= read - edit->end;
    std::memmove(p + write, p + edit->end, read - edit->end);
    write -= edit->text.size();
    std::memcpy(p + write, edit->text.data(), edit->text.size());
    read = edit->start;
  }
  return true;
}

}  // namespace

void applyPageEdits(std::string& page, std::vector<PageEdit> edits) {
  if (edits.empty()) return;
  sortPageEdits(edits);
  if (applyInPlace(page, edits)) return;
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

std::vector<std::string_view> editedPieces(std::string_view page, const std::vector<PageEdit>& edits) {
  std::vector<std::string_view> pieces;
  pieces.reserve(2 * edits.size() + 1);
  auto add = [&pieces](std::string_view piece) {
    if (!piece.empty()) pieces.push_back(piece);
  };
  std::size_t copied = 0;
  for (const PageEdit& edit : edits) {
    add(page.substr(copied, edit.start - copied));
    add(edit.text);
    copied = edit.end;
  }
  add(page.substr(copied));
  return pieces;
}

std::size_t editedSize(std::size_t pageSize, const std::vector<PageEdit>& edits) {
  for (const PageEdit& edit : edits) pageSize = pageSize - (edit.end - edit.start) + edit.text.size();
  return pageSize;
}

}  // namespace sarnavel
