#include "engine/javascript_conversion.h"

#include <new>

#include "engine/converter.h"
#include "engine/escaping.h"
#include "text/cp1252.h"
#include "text/utf8.h"

namespace sarnavel {

ResultCode convertJavaScript(std::string& text, const ConversionOptions& options, TextOrigin origin) {
  try {
    ConverterOptions converterOptions;
    applyTargetEncoding(converterOptions, options.targetEncoding, options.lineEnding);
    converterOptions.escapeLanguage = EscapeLanguage::JavaScript;
    const bool hadByteOrderMark = std::string_view(text).starts_with("\xEF\xBB\xBF");
    // Text the engine brings into code page 932 itself is named as such to the converter.
    if (origin == TextOrigin::LoadedByLatin1Page && !hadByteOrderMark) {
      converterOptions.inputEncoding = InputEncoding::ShiftJis;
      text = convertText(converterOptions, escapeForJavaScript(decodeCp1252(text)));
    } else if (origin != TextOrigin::FromUtf16 && isUtf8Text(text)) {
      converterOptions.inputEncoding = InputEncoding::ShiftJis;
      text = convertText(converterOptions, escapeUtf8(EscapeLanguage::JavaScript, withoutByteOrderMark(text)));
    } else {
      if (origin == TextOrigin::FromUtf16) converterOptions.inputEncoding = InputEncoding::ShiftJis;
      text = convertText(converterOptions, text);
    }
    return ResultCode::Success;
  } catch (const std::bad_alloc&) {
    return ResultCode::OutOfMemory;
  }
}

}  // namespace sarnavel
