// The check mode's reading of one file: what its bytes are in, what declares them and, for a
// page, which style sheets and scripts it loads. Nothing is converted and nothing is written,
// not even a temporary file.
//
// The encoding is the one the bytes themselves are in, with the file's words weighed as a
// hint only: UTF-16 and a UTF-8 byte-order mark decide outright; ASCII text is ASCII (or
// ISO-2022-JP by its escape sequences); otherwise the readings of the bytes are priced as the
// engine's detection prices them (engine/encoding_decision.h), the encoding the file's own
// declaration names (else its loading element's charset, else its loading page's encoding,
// else the site's) favoured the way the site's encoding is favoured there. So a declaration
// tips an ambiguous short text, but a page of UTF-8 that declares Shift_JIS is UTF-8. A Latin-1
// declaration names windows-1252 unless the bytes are UTF-8.
//
// What a file declares is what the conversion reads and rewrites: a page's content-type meta,
// its meta charset and its XML declaration, a sheet's @charset rule at its very start (as
// browsers read it), and the charset of the element that loads a sheet or a script. Each is
// read by the conversion's own reader (the head analysis, xmlDeclarationEncoding,
// declaredCharsetRule), in the text the conversion reads (a UTF-16 file's made into code page
// 932, where they are listed but weigh nothing: its byte order decides), so a check and a
// conversion never disagree on what a file declares. Bytes that form no character in the
// encoding are counted (with the first's line and column) only when there are any, by reading
// the file as the converter reads it.
//
// Contract: the report's result is Success or the reading's CannotOpen / OutOfMemory; its
// document holds the decision, the declarations (fate Kept), a page's references, invalid
// bytes, line breaks and the size (before and after alike), of which the report makes the
// verdict (report/source_facts.h). Callable from several threads at once.
#pragma once

#include <filesystem>

#include "engine/document_reading.h"
#include "engine/encoding_decision.h"
#include "run/file_drivers.h"
#include "run/file_report.h"

namespace sarnavel {

// `context`: only its probes (a page's loaded files looked into once per run) and its look at
// the file are used; a check writes nothing.
FileReport checkFile(const std::filesystem::path& path, DocumentKind kind, const EncodingEvidence& evidence,
                     const DriverContext& context = {});

// What the bytes are in, weighed as described above; `favoured` is the label the file's own
// words (or its loader) name, empty when none.
EncodingDecision checkedEncoding(std::string_view bytes, std::string_view favoured, const EncodingEvidence& evidence);

}  // namespace sarnavel
