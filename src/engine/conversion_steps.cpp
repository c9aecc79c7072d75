#include "engine/conversion_steps.h"

#include "engine/converter.h"
#include "text/line_breaks.h"

namespace sarnavel {

void readForConversion(DocumentSteps& steps, std::string_view source, DocumentKind kind, const TargetChoice& target,
                       const EncodingEvidence& evidence, const std::function<std::string(std::string_view)>& declarationOf) {
  steps.charsetName = applyTargetEncoding(steps.converterOptions, target.targetEncoding, target.lineEnding);
  steps.converterOptions.escapeLanguage = kind == DocumentKind::Page         ? EscapeLanguage::Html
                                          : kind == DocumentKind::StyleSheet ? EscapeLanguage::Css
                                                                             : EscapeLanguage::JavaScript;
  steps.working = readDocument(source, kind, evidence, target.targetEncoding, steps.findings, declarationOf);
  // Text the reading step brought into code page 932 itself is named as such to the converter,
  // so no short text of it can be taken for EUC-JP; any other goes as the decision found it.
  steps.converterOptions.inputEncoding = steps.working.converterInput;
}

std::string convertWorking(DocumentSteps& steps, std::string_view text) {
  return convertText(steps.converterOptions, text, nullptr, &steps.findings, steps.working.isSource);
}

void completeResult(DocumentResult& result, const DocumentSteps& steps, std::string_view source, std::string_view output) {
  result.source = steps.working.decision;
  result.lineBreaksBefore = steps.working.lineBreaks;
  result.lineBreaksAfter = countLineBreaks(output);
  result.bytesBefore = source.size();
  result.bytesAfter = output.size();
  if (!steps.findings.empty()) steps.findings.fill(result, source, steps.working.form);
}

}  // namespace sarnavel
