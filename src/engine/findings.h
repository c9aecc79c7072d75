// Collects, while a document is read and converted, every character written as an escape or
// a stand-in and every byte that formed no character, by the source offset where it stood.
//
// The reading step (document_reading.h) and the converter (converter.h) report each event as
// they write it: a hash-table increment, nothing when there is nothing to report, so an
// ordinary text costs nothing extra. At the end the first offset of each character becomes a
// line and column of the source (text/text_position.h), in one forward walk over the source as
// far as the last of them.
//
// Offsets are of the source document's bytes. A converter that works on a text the reading
// step made (not the source itself) reports no offsets: its events get no position.
#pragma once

#include <cstddef>
#include <string_view>
#include <unordered_map>

#include "engine/document_result.h"

namespace sarnavel {

class Findings {
 public:
  static constexpr std::size_t kNoOffset = static_cast<std::size_t>(-1);

  void escaped(char32_t codePoint, std::size_t offset);
  void lost(char32_t codePoint, std::size_t offset, StandIn writtenAs);
  void invalid(std::size_t offset);
  // Offsets reported from here on are moved by `shift` once they reach `from` (a converted sheet
  // whose @charset rule was replaced before conversion reports offsets of the new text).
  void shiftOffsets(std::size_t from, std::ptrdiff_t shift) {
    shiftFrom_ = from;
    shift_ = shift;
  }
  bool empty() const { return escaped_.empty() && lost_.empty() && invalidCount_ == 0; }
  // The reading step found every byte of the source valid in the encoding it is read in (the
  // decision checked it), so a text converted into its own encoding need not be looked through.
  void markSourceValid() { sourceValid_ = true; }
  bool sourceKnownValid() const { return sourceValid_; }
  // Everything found since the last clear is forgotten (a conversion that starts over).
  void clear();

  // Fills the record's escaped, lost and invalid-bytes parts, with positions in `source`.
  void fill(DocumentResult& result, std::string_view source, SourceForm form) const;

 private:
  struct Tally {
    std::size_t count = 0;
    std::size_t first = kNoOffset;
    StandIn writtenAs = StandIn::GetaMark;
  };
  std::size_t sourceOffset(std::size_t offset) const;
  std::unordered_map<char32_t, Tally> escaped_;
  static constexpr unsigned kStandInShift = 24;  // above every code point
  std::unordered_map<char32_t, Tally> lost_;     // by code point and stand-in
  std::size_t invalidCount_ = 0;
  std::size_t invalidFirst_ = kNoOffset;
  std::size_t shiftFrom_ = kNoOffset;
  std::ptrdiff_t shift_ = 0;
  bool sourceValid_ = false;
};

}  // namespace sarnavel
