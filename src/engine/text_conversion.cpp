#include "engine/text_conversion.h"

#include "engine/conversion_steps.h"

namespace sarnavel {

DocumentResult convertPlainText(std::string& text, const TargetChoice& options, const EncodingEvidence& evidence) {
  return convertTrustingDeclaration([&](ValidityCheck check) {
    return convertWholeText(text, {.kind = DocumentKind::Text, .check = check}, options, evidence);
  });
}

}  // namespace sarnavel
