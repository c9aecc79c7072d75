#include "engine/javascript_conversion.h"

#include <optional>

#include "engine/charset_attributes.h"
#include "engine/conversion_steps.h"

namespace sarnavel {

namespace {

// Nothing, `text` untouched, when the converter refutes a declaration taken unread.
std::optional<DocumentResult> tryConvert(std::string& text, const TargetChoice& options,
                                         const EncodingEvidence& evidence, ValidityCheck check) {
  DocumentSteps steps;
  readForConversion(steps, text, {.kind = DocumentKind::Script, .check = check}, options, evidence);
  // A text the reading step made is handed over: when it is already in the target, it is the result.
  std::optional<std::string> converted = steps.working.isSource
                                             ? convertWorking(steps, steps.working.text())
                                             : convertWorking(steps, std::move(steps.working.prepared));
  if (!converted) return std::nullopt;
  DocumentResult result;
  completeResult(result, steps, text, *converted);
  noteCharsetsSetByScripts(*converted, false, options.targetEncoding, result);
  text = std::move(*converted);
  return result;
}

}  // namespace

DocumentResult convertJavaScript(std::string& text, const TargetChoice& options, const EncodingEvidence& evidence) {
  return convertTrustingDeclaration([&](ValidityCheck check) { return tryConvert(text, options, evidence, check); });
}

}  // namespace sarnavel
