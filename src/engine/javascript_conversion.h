// Converts the text of one script file. A script carries no declaration of its encoding (the
// `charset` attribute of the element that loads it does, see html_conversion.h), so nothing
// in the text is rewritten: a UTF-8 script loses one byte-order mark and has every character
// code page 932 lacks written as a \u escape, then the whole text goes through the converter.
//
// The script's encoding is decided from its bytes and what the caller knows (the element that
// loads it, the page, the run; see encoding_decision.h); a script read as Latin-1 is decoded
// as code page 1252 and escaped.
//
// Contract: Success with the converted text (and the decision in `*decided` when given), or
// OutOfMemory with the text as it was.
#pragma once

#include <string>

#include "engine/target_options.h"
#include "engine/encoding_decision.h"
#include "run/result_code.h"

namespace sarnavel {

ResultCode convertJavaScript(std::string& text, const TargetChoice& options, const EncodingEvidence& evidence = {},
                             EncodingDecision* decided = nullptr);

}  // namespace sarnavel
