// Counting a text's line breaks by kind: CR+LF, LF alone, CR alone.
//
// Line breaks are ASCII bytes in every byte encoding this program reads or writes (ISO-2022-JP
// included: its two-byte characters are 0x21-0x7E), so the count works on bytes. Sixteen bytes
// are looked at a time; a text of a few megabytes is counted in well under a millisecond.
// Pure, callable from any thread.
#pragma once

#include <string_view>

#include "text/line_ending.h"

namespace sarnavel {

LineBreakCounts countLineBreaks(std::string_view text);

}  // namespace sarnavel
