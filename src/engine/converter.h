// The byte converter: carries a whole text from the Japanese encoding it is in into the
// output encoding of the options last set.
//
// The input encoding is detected from the text alone (see encoding_detection.h), unless the
// options name it. Bytes are read as browsers read them (the Encoding Standard's decoders:
// text/cp932.h, text/euc_jp.h; JIS-Roman's 0x5C and 0x7E are the yen sign and the overline).
// Between Shift_JIS, EUC-JP and ISO-2022-JP characters travel by JIS code position, never
// through Unicode, so nothing changes on the way and a text converted to its own encoding
// comes back byte for byte (line endings aside; ISO-2022-JP escape sequences are normalised).
// UTF-8 output uses the code page 932 table, the way browsers read Shift_JIS; UTF-8 text the
// reading step made (InputEncoding::Utf8) passes as it is.
//
// Where the target has no place for a character it writes the geta mark (U+3013) and counts
// it: a JIS X 0212 kanji that code page 932 lacks, a user-defined character (F040-F9FC) going
// to EUC-JP or ISO-2022-JP, bytes that form no character going to another encoding. Bytes
// that form no character going to UTF-8 become U+FFFD, as a browser shows them. When the
// options name the document's language, the escape of that language is written instead (in a
// page, of the region's language: a script or style body, and in the raw text of `xmp` the
// character itself when the target has it, else its reference, reported as lost), for U+FFFD
// too, and also for characters code page 932 lacks going to UTF-8 (see converter_options.h),
// but for the C1 controls no HTML reference shows (escaping.h), which UTF-8 keeps and the
// others write as the geta mark; bytes that form no character are then replaced in a text
// converted into its own encoding as well. The bare converter (no language) keeps such bytes
// of a text's own encoding (of ISO-2022-JP only the 8-bit ones: a 7-bit one would read as a
// character in the mode the output is in there).
//
// Nothing else is done to a text: ASCII, zero bytes and half-width katakana pass as they are
// (with -x), and only the line-break options change line breaks.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "engine/converter_options.h"
#include "engine/encoding_detection.h"
#include "engine/findings.h"
#include "html/page_regions.h"

namespace sarnavel {

struct ConversionReport {
  InputEncoding detected = InputEncoding::Ascii;
  std::size_t unconvertible = 0;  // escapes and stand-ins written for characters the target lacks
  // Bytes of Shift_JIS or EUC-JP input that formed no character, when the converter decoded the
  // text (not when it passed a text in its own encoding through): none exactly when every byte
  // reads as that encoding (readsAsShiftJis, readsAsEucJp), so the count confirms a decision
  // that took the encoding from a declaration without reading the text first.
  std::size_t malformed = 0;
  bool decoded = false;  // the text went through a decoder (`malformed` counts)
};

// The region of a page a source offset lies in (html/page_regions.h), asked only where an
// escape is written.
using RegionOf = std::function<PageRegion(std::size_t offset)>;

// Where a text to convert comes from: the document's own bytes (its offsets are the source's),
// or text the reading step made; and the regions of the page it is, when it is one.
struct TextOrigin {
  bool offsetsAreSource = true;
  const RegionOf* regionOf = nullptr;
};

// The converted text; throws std::bad_alloc when memory runs out. With `findings`, every
// character written as an escape or a stand-in and every byte that formed no character is
// reported there, at its offset in `text` when the offsets are the source's, without one
// otherwise; text that is not the source's own bytes was made by the reading step and is taken
// as well formed. A page's escapes follow the origin's `regionOf` when it is given and the
// offsets are the source's; otherwise they are in the options' language.
std::string convertText(const ConverterOptions& options, std::string_view text, ConversionReport* report = nullptr,
                        Findings* findings = nullptr, const TextOrigin& origin = {});

// The same for a text the caller hands over: a text that passes as it is (one already in the
// target, such as what the reading step made for it) comes back without being copied.
std::string convertOwnedText(const ConverterOptions& options, std::string&& text, ConversionReport* report = nullptr,
                             Findings* findings = nullptr, bool offsetsAreSource = true);

}  // namespace sarnavel
