// Converts the text of one script file. A script carries no declaration of its encoding (the
// `charset` attribute of the element that loads it does, see html_conversion.h), so nothing
// in the text is rewritten: a UTF-8 script loses one byte-order mark and has every character
// code page 932 lacks written as a \u escape, then the whole text goes through the converter.
//
// A script that a Latin-1 page loads (origin LoadedByLatin1Page) is read as code page 1252
// unless it starts with a UTF-8 byte-order mark.
//
// Contract: Success with the converted text, or OutOfMemory with the text as it was.
#pragma once

#include <string>

#include "engine/conversion_options.h"
#include "engine/result_code.h"

namespace sarnavel {

ResultCode convertJavaScript(std::string& text, const ConversionOptions& options, TextOrigin origin = TextOrigin::AsRead);

}  // namespace sarnavel
