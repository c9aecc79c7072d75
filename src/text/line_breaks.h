// Counting a text's line breaks by kind: CR+LF, LF alone, CR alone.
//
// Line breaks are ASCII bytes in every byte encoding this program reads or writes (ISO-2022-JP
// included: its two-byte characters are 0x21-0x7E), so the count works on bytes. Sixteen bytes
// are looked at a time; a text of a few megabytes is counted in well under a millisecond.
// Pure, callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "text/line_ending.h"

namespace sarnavel {

LineBreakCounts countLineBreaks(std::string_view text);

// The same count taken piece by piece by a reader that passes over the text anyway (the
// converter, over the ASCII runs between Japanese characters), so the text is not read once
// more for it. Every CR and LF of the text must be in exactly one run handed over; an LF pairs
// with the CR just before it in the text, whichever run that was in.
struct LineBreakTally {
  std::size_t lf = 0, cr = 0, pairs = 0;
  LineBreakCounts counts() const { return {pairs, lf - pairs, cr - pairs}; }
};

// Where the ASCII run from `p` ends (the first byte from 0x80, or `end`), as asciiRunEnd
// (ascii_run.h) finds it, with the run's CRs and LFs added to `tally`; `begin` is the start of
// the text, so that an LF at `p` can look at the byte before it.
const std::uint8_t* asciiRunEndTallyingBreaks(const std::uint8_t* begin, const std::uint8_t* p,
                                              const std::uint8_t* end, LineBreakTally& tally);

}  // namespace sarnavel
