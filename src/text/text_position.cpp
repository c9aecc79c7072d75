#include "text/text_position.h"

#include "text/cp932.h"
#include "text/euc_jp.h"
#include "text/line_breaks.h"
#include "text/utf8.h"

namespace sarnavel {

std::size_t PositionFinder::characterLength(std::size_t i) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(source_.data());
  const std::size_t left = source_.size() - i;
  const std::uint8_t b = p[i];
  switch (form_) {
    case SourceForm::SingleByte: return 1;
    case SourceForm::ShiftJis: return b < 0x80 ? 1 : cp932::sequenceAt(p + i, left).length;
    case SourceForm::EucJp: return b < 0x80 ? 1 : eucSequenceAt(p + i, left).length;
    case SourceForm::Utf8: {
      if (b < 0x80) return 1;
      char32_t cp = 0;
      std::size_t errorLength = 1;
      const std::size_t length = readUtf8Sequence(p + i, left, cp, errorLength);
      return length != 0 ? length : errorLength;
    }
    case SourceForm::Iso2022Jp: {
      if (const std::optional<Designation> d = designationAt(source_, i)) {
        set_ = d->set;
        return 0;
      }
      const bool twoBytes = set_ == Iso2022Set::Jis0208 || set_ == Iso2022Set::Jis0212;
      return twoBytes && b >= 0x21 && b <= 0x7E && left >= 2 && p[i + 1] >= 0x21 && p[i + 1] <= 0x7E ? 2 : 1;
    }
    case SourceForm::Utf16LittleEndian:
    case SourceForm::Utf16BigEndian: {
      if (left < 2) return left;
      const bool little = form_ == SourceForm::Utf16LittleEndian;
      const auto unit = static_cast<char16_t>(little ? p[i] | p[i + 1] << 8 : p[i] << 8 | p[i + 1]);
      if (isHighSurrogate(unit) && left >= 4) {
        const auto next = static_cast<char16_t>(little ? p[i + 2] | p[i + 3] << 8 : p[i + 2] << 8 | p[i + 3]);
        if (isLowSurrogate(next)) return 4;
      }
      return 2;
    }
  }
  return 1;
}

TextPosition PositionFinder::at(std::size_t offset) {
  if (offset > source_.size()) offset = source_.size();
  const bool wide = form_ == SourceForm::Utf16LittleEndian || form_ == SourceForm::Utf16BigEndian;
  const auto* p = reinterpret_cast<const std::uint8_t*>(source_.data());
  // A byte-order mark is no character the reader sees.
  if (offset_ == 0 && offset > 0) {
    if (form_ == SourceForm::Utf8 && source_.starts_with("\xEF\xBB\xBF")) offset_ = 3;
    else if (wide && (source_.starts_with("\xFF\xFE") || source_.starts_with("\xFE\xFF"))) offset_ = 2;
  }
  // Whole lines are passed over at once: to just after the last line break before `offset`
  // (a line-break byte is never part of a character in these forms; ISO-2022-JP and UTF-16 go
  // the slow way, character by character).
  if (!wide && form_ != SourceForm::Iso2022Jp && offset_ < offset) {
    std::size_t last = offset;
    while (last > offset_ && p[last - 1] != '\n' && p[last - 1] != '\r') --last;
    if (last > offset_) {
      const LineBreakCounts breaks = countLineBreaks(source_.substr(offset_, last - offset_));
      std::size_t lines = breaks.crlf + breaks.lf + breaks.cr;
      if (afterCr_ && p[offset_] == '\n') --lines;  // the LF of a CR+LF split by the last call
      line_ += static_cast<std::uint32_t>(lines);
      column_ = 1;
      afterCr_ = p[last - 1] == '\r';
      offset_ = last;
    }
  }
  while (offset_ < offset) {
    // A line break is the byte (or UTF-16 unit) CR or LF; in ISO-2022-JP it is one in every set.
    const std::size_t lowByte = wide && form_ == SourceForm::Utf16BigEndian ? offset_ + 1 : offset_;
    const bool breakUnit =
        lowByte < source_.size() && (p[lowByte] == '\n' || p[lowByte] == '\r') &&
        (!wide || (offset_ + 1 < source_.size() && p[wide && lowByte == offset_ ? offset_ + 1 : offset_] == 0));
    if (breakUnit) {
      const bool lf = p[lowByte] == '\n';
      if (!(lf && afterCr_)) ++line_;  // the LF of a CR+LF ends no second line
      column_ = 1;
      afterCr_ = !lf;
      offset_ += wide ? 2 : 1;
      continue;
    }
    afterCr_ = false;
    const std::size_t length = characterLength(offset_);
    if (length != 0) ++column_;
    offset_ += length == 0 ? designationAt(source_, offset_)->length : length;
  }
  return {line_, column_};
}

}  // namespace sarnavel
