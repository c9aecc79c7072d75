// Converts the text of one style sheet and leaves it declaring its new encoding.
//
// The sheet gets an `@charset "name";` rule naming the target in lower case ("shift_jis",
// "euc-jp", "iso-2022-jp", "utf-8"): the first "@charset" of the text is replaced, with the
// line break right after it, when it is a well-formed rule (double quotes, any white space, a
// semicolon; comments are not skipped), otherwise the rule is put at the very start. So a
// sheet converted again comes out byte for byte the same. Its line break follows the
// line-ending choice, or, when line endings stay unchanged, the first kind of break the sheet
// uses (CR+LF when it has none). The sheet's encoding is decided from its bytes, its rule and
// what the caller knows (encoding_decision.h): a UTF-8 sheet loses one byte-order mark and is
// escaped; a sheet read as Latin-1 (its rule names Latin-1, or a Latin-1 page loads it without
// one) is read as code page 1252 and escaped. Then the whole text goes through the converter.
//
// Contract: Success with the converted text (and the decision in `*decided` when given), or
// OutOfMemory with the text as it was.
#pragma once

#include <string>

#include "engine/target_options.h"
#include "engine/encoding_decision.h"
#include "run/result_code.h"

namespace sarnavel {

ResultCode convertCss(std::string& text, const TargetChoice& options, const EncodingEvidence& evidence = {},
                      EncodingDecision* decided = nullptr);

}  // namespace sarnavel
