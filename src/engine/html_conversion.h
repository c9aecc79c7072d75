// Converts the text of one HTML page and leaves it declaring its new encoding.
//
// Steps: a UTF-8 page loses one byte-order mark and is escaped (page_escaping.h); a page with
// an `html` tag whose content-type declaration names Latin-1 is read as code page 1252 with
// letters decomposed (é becomes e and the reference of U+0301) and escaped; the whole text
// goes through the converter; then, on the converted text, the content-type declaration
//   <meta http-equiv="Content-Type" content="text/html; charset=NAME" />
// is written: in place of the old one (keeping its closing style), moved before the title
// when the old one stood after the title's start tag, or inserted right after the head start
// tag when there was none (always with " />"), or after the `html` start tag when the page
// has no head tag; a page without an `html` tag gets none. HTML5 declarations
// (<meta charset="...">) and the encoding of an XML declaration are rewritten to name the
// target too, and a page that has an HTML5 declaration gets no content-type one added. Last,
// the charset attributes of the sheets and scripts it loads are set (charset_attributes.h).
//
// Contract: Success with the converted text (and the referenced files added to `referenced`),
// or OutOfMemory with the text as it was. Nothing process-wide is read or written, so pages
// can be converted on several threads at once.
#pragma once

#include <filesystem>
#include <string>

#include "engine/conversion_options.h"
#include "engine/result_code.h"

namespace sarnavel {

ResultCode convertHtml(std::string& text, const ConversionOptions& options, const std::filesystem::path& pageFolder,
                       ReferencedFiles& referenced, TextOrigin origin = TextOrigin::AsRead);

}  // namespace sarnavel
