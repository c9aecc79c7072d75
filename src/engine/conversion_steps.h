// The steps the three document conversions share: reading the document, converting the
// working text, and completing the record from both ends.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engine/converter_options.h"
#include "engine/document_reading.h"
#include "engine/document_result.h"
#include "engine/findings.h"
#include "engine/target_options.h"

namespace sarnavel {

struct DocumentSteps {
  ConverterOptions converterOptions;  // with the document's escape language and its reading's input
  std::string charsetName;            // as documents carry it ("Shift_JIS")
  Findings findings;
  WorkingText working;
};

// Reads the document (document_reading.h) and sets the converter's options for it.
void readForConversion(DocumentSteps& steps, std::string_view source, DocumentKind kind, const TargetChoice& target,
                       const EncodingEvidence& evidence, const std::function<std::string(std::string_view)>& declarationOf);

// The working text (or `text`, when given) converted into the target, reporting to the findings.
std::string convertWorking(DocumentSteps& steps, std::string_view text);

// The record's decision, findings, line breaks and sizes, once `output` is final.
void completeResult(DocumentResult& result, const DocumentSteps& steps, std::string_view source, std::string_view output);

}  // namespace sarnavel
