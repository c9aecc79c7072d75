#include "engine/javascript_conversion.h"

#include "engine/conversion_steps.h"

namespace sarnavel {

DocumentResult convertJavaScript(std::string& text, const TargetChoice& options, const EncodingEvidence& evidence) {
  DocumentSteps steps;
  readForConversion(steps, text, DocumentKind::Script, options, evidence, nullptr);
  std::string converted = convertWorking(steps, steps.working.text());
  DocumentResult result;
  completeResult(result, steps, text, converted);
  text = std::move(converted);
  return result;
}

}  // namespace sarnavel
