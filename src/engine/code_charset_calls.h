// The lines of a template's code that name an encoding the server sends or works in, for the
// user to change by hand: code is never edited (template_conversion.h).
//
// Looked for, on each line of a code island, without regard to letter case:
//   header('Content-Type: text/html; charset=LABEL')      the label after "charset="
//   Response.ContentType = "text/html; charset=LABEL"     the same
//   <%@ page contentType="text/html; charset=LABEL" pageEncoding="LABEL" %>
//   mb_internal_encoding('LABEL'), mb_http_output('LABEL') the first quoted text after "("
//   ini_set('default_charset', 'LABEL')                    the first quoted text after ","
//   Response.Charset = "LABEL"                             the first quoted text after "="
// A line is named when one of its labels is an encoding (a page's labels, or PHP's own names
// such as SJIS-win and eucJP-win) other than `target`; a label that is a variable, or a word
// such as 'pass' or 'auto', is no encoding. The suggested line is the line with each such label
// made the target's charset name.
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "html/code_islands.h"
#include "text/source_encoding.h"

namespace sarnavel {

struct CharsetCall {
  std::size_t lineStart = 0;  // offset in the text, the line's first byte
  std::string line;           // the line as written, without its line break
  std::string suggested;      // the line naming the target
};

std::vector<CharsetCall> charsetCallsIn(std::string_view text, std::span<const CodeIsland> islands,
                                        TargetEncoding target);

}  // namespace sarnavel
