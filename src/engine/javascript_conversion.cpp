#include "engine/javascript_conversion.h"

#include "engine/charset_attributes.h"
#include "engine/conversion_steps.h"

namespace sarnavel {

DocumentResult convertJavaScript(std::string& text, const TargetChoice& options, const EncodingEvidence& evidence) {
  DocumentResult result = convertTrustingDeclaration([&](ValidityCheck check) {
    return convertWholeText(text, {.kind = DocumentKind::Script, .check = check}, options, evidence);
  });
  noteCharsetsSetByScripts(text, false, options.targetEncoding, result);
  return result;
}

}  // namespace sarnavel
