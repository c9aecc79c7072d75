#include "engine/javascript_conversion.h"

#include <new>

#include "engine/converter.h"
#include "engine/escaping.h"
#include "text/cp1252.h"
#include "text/utf8.h"

namespace sarnavel {

ResultCode convertJavaScript(std::string& text, const TargetChoice& options, const EncodingEvidence& evidence,
                             EncodingDecision* decided) {
  try {
    ConverterOptions converterOptions;
    applyTargetEncoding(converterOptions, options.targetEncoding, options.lineEnding);
    converterOptions.escapeLanguage = EscapeLanguage::JavaScript;
    const EncodingDecision decision = decideSourceEncoding(text, evidence);
    // Text the engine (or the driver) brings into code page 932 itself is named as such to the
    // converter; any other text goes as what the decision found.
    std::optional<InputEncoding> input = converterInputOf(decision.encoding);
    converterOptions.inputEncoding = input ? *input : InputEncoding::ShiftJis;
    if (decision.encoding == SourceEncoding::Latin1) {
      text = convertText(converterOptions, escapeForJavaScript(decodeCp1252(text)));
    } else if (decision.encoding == SourceEncoding::Utf8) {
      text = convertText(converterOptions, escapeUtf8(EscapeLanguage::JavaScript, withoutByteOrderMark(text)));
    } else {
      text = convertText(converterOptions, text);
    }
    if (decided) *decided = decision;
    return ResultCode::Success;
  } catch (const std::bad_alloc&) {
    return ResultCode::OutOfMemory;
  }
}

}  // namespace sarnavel
