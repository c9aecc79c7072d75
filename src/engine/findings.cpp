#include "engine/findings.h"

#include <algorithm>
#include <vector>

namespace sarnavel {

std::size_t Findings::sourceOffset(std::size_t offset) const {
  if (offset == kNoOffset || offset < shiftFrom_) return offset;
  return static_cast<std::size_t>(static_cast<std::ptrdiff_t>(offset) - shift_);
}

void Findings::escaped(char32_t codePoint, std::size_t offset) {
  Tally& t = escaped_[codePoint];
  if (t.count++ == 0) t.first = sourceOffset(offset);
}

void Findings::lost(char32_t codePoint, std::size_t offset, StandIn writtenAs) {
  // One character may stand in raw text that shows and in text that does not: told apart.
  Tally& t = lost_[codePoint | static_cast<char32_t>(writtenAs) << kStandInShift];
  if (t.count++ == 0) {
    t.first = sourceOffset(offset);
    t.writtenAs = writtenAs;
  }
}

void Findings::invalid(std::size_t offset) {
  if (invalidCount_++ == 0) invalidFirst_ = sourceOffset(offset);
}

void Findings::clear() {
  escaped_.clear();
  lost_.clear();
  invalidCount_ = 0;
  invalidFirst_ = kNoOffset;
}

void Findings::fill(DocumentResult& result, std::string_view source, SourceForm form) const {
  // Every first offset, in source order, so one forward walk finds all their positions.
  struct Wanted {
    std::size_t offset;
    TextPosition* position;
  };
  std::vector<Wanted> wanted;
  result.escaped.clear();
  result.lost.clear();
  result.escaped.reserve(escaped_.size());
  result.lost.reserve(lost_.size());
  std::vector<std::size_t> escapedOffsets, lostOffsets;
  for (const auto& [codePoint, t] : escaped_) {
    result.escaped.push_back({codePoint, t.count, {}});
    escapedOffsets.push_back(t.first);
  }
  for (const auto& [key, t] : lost_) {
    result.lost.push_back({key & ((char32_t{1} << kStandInShift) - 1), t.count, {}, t.writtenAs});
    lostOffsets.push_back(t.first);
  }
  result.invalidBytes = {invalidCount_, {}};
  for (std::size_t k = 0; k < result.escaped.size(); ++k)
    wanted.push_back({escapedOffsets[k], &result.escaped[k].first});
  for (std::size_t k = 0; k < result.lost.size(); ++k) wanted.push_back({lostOffsets[k], &result.lost[k].first});
  if (invalidCount_ != 0) wanted.push_back({invalidFirst_, &result.invalidBytes.first});
  std::sort(wanted.begin(), wanted.end(), [](const Wanted& a, const Wanted& b) { return a.offset < b.offset; });
  PositionFinder finder(source, form);
  for (const Wanted& w : wanted) {
    if (w.offset == kNoOffset || w.offset > source.size()) continue;
    *w.position = finder.at(w.offset);
  }
  // The record lists characters in the order the reader meets them.
  auto byPosition = [](const auto& a, const auto& b) {
    if (a.first.line != b.first.line) return a.first.line < b.first.line;
    if (a.first.column != b.first.column) return a.first.column < b.first.column;
    return a.codePoint < b.codePoint;
  };
  std::sort(result.escaped.begin(), result.escaped.end(), byPosition);
  std::sort(result.lost.begin(), result.lost.end(), byPosition);
}

}  // namespace sarnavel
