// Converts the text of one script file. A script carries no declaration of its encoding (the
// `charset` attribute of the element that loads it does, see html_conversion.h), so nothing
// in the text is rewritten: the reading step (document_reading.h) decides its encoding from its
// bytes and what the caller knows (the element that loads it, the page, the run) and escapes a
// UTF-8, UTF-16 or Latin-1 script with \u escapes; then the whole text goes through the
// converter. A charset the script sets on an element it makes (`s.charset = "Shift_JIS"`) is
// noted when it names another encoding than the target (charset_attributes.h).
//
// Contract: the converted text replaces `text`, and the record says what happened
// (document_result.h). Throws std::bad_alloc when memory runs out, `text` then as it was.
#pragma once

#include <string>

#include "engine/document_result.h"
#include "engine/encoding_decision.h"
#include "engine/target_options.h"

namespace sarnavel {

[[nodiscard]] DocumentResult convertJavaScript(std::string& text, const TargetChoice& options,
                                               const EncodingEvidence& evidence = {});

}  // namespace sarnavel
