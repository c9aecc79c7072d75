// The byte converter: carries a whole text from the Japanese encoding it is in into the
// output encoding of the options last set.
//
// The input encoding is detected from the text alone (see encoding_detection.h). Between
// Shift_JIS, EUC-JP and ISO-2022-JP characters travel by JIS code position, never through
// Unicode, so nothing changes on the way and a text converted to its own encoding comes back
// byte for byte (line endings aside; ISO-2022-JP escape sequences are normalised). UTF-8
// output uses the code page 932 table, the way browsers read Shift_JIS.
//
// Where the target has no place for a character it writes the geta mark (U+3013) and counts
// it: a JIS X 0212 kanji that code page 932 lacks, a user-defined character (F040-F9FC) going
// to EUC-JP or ISO-2022-JP, bytes that form no character going to another encoding. Bytes
// that form no character going to UTF-8 become U+FFFD, as a browser shows them. When the
// options name the document's language, the escape of that language is written instead, for
// U+FFFD too, and also for characters code page 932 lacks going to UTF-8 (see
// converter_options.h).
//
// Nothing else is done to a text: ASCII, zero bytes and half-width katakana pass as they are
// (with -x), and only the line-break options change line breaks.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/converter_options.h"
#include "engine/encoding_detection.h"
#include "engine/findings.h"

namespace sarnavel {

struct ConversionReport {
  InputEncoding detected = InputEncoding::Ascii;
  std::size_t unconvertible = 0;  // geta marks and U+FFFD written for characters the target lacks
};

// The converted text; throws std::bad_alloc when memory runs out. With `findings`, every
// character written as an escape or a stand-in and every byte that formed no character is
// reported there, at its offset in `text` when `offsetsAreSource` (the text is the document's
// own bytes), without one otherwise; a text converted into its own encoding reports its stray
// bytes too.
std::string convertText(const ConverterOptions& options, std::string_view text, ConversionReport* report = nullptr,
                        Findings* findings = nullptr, bool offsetsAreSource = true);

}  // namespace sarnavel
