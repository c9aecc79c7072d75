// The steps the three document conversions share: reading the document, converting the
// working text, and completing the record from both ends.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/converter.h"
#include "engine/converter_options.h"
#include "engine/document_reading.h"
#include "engine/document_result.h"
#include "engine/findings.h"
#include "engine/target_options.h"

namespace sarnavel {

// The line breaks a conversion's own rewriting took out of the text and put into it, so the
// record's count after the conversion follows from the count before without reading the output.
// Each change is counted with the byte on either side of it, so a CR and an LF that it joins
// into one break (or parts) count right; changes given in text order with no unchanged byte
// between two of them make the count unknown, and the output is then counted instead.
struct LineBreakChange {
  LineBreakCounts removed;
  LineBreakCounts added;
  bool known = true;
  // [start, end) of `text` becomes `replacement`; changes come in ascending order of start.
  void replace(std::string_view text, std::size_t start, std::size_t end, std::string_view replacement);

 private:
  std::size_t lastEnd_ = 0;  // of the last change's [start, end)
  bool any_ = false;
};

struct DocumentSteps {
  ConverterOptions converterOptions;  // with the document's escape language and its reading's input
  std::string charsetName;            // as documents carry it ("Shift_JIS")
  Findings findings;
  WorkingText working;
  LineBreakChange beforeConverter;  // a sheet's @charset rule, rewritten before the converter runs
  LineBreakChange afterConverter;   // a page's declarations and tags, rewritten after it
};

// Reads the document (document_reading.h) and sets the converter's options for it; the
// request's target and keepCharacters are the target choice's. With ValidityCheck::ByConverter
// a declared Japanese encoding may be taken unread, to be confirmed by convertWorking.
void readForConversion(DocumentSteps& steps, std::string_view source, ReadingRequest request,
                       const TargetChoice& target, const EncodingEvidence& evidence);

// `text` (the working text, or one made from it) converted into the target, reporting to the
// findings; a page's escapes follow `regionOf` (converter.h). Nothing when the reading took a
// declared encoding unread and the converter found a byte that forms no character of it: the
// caller then starts over with ValidityCheck::InDecision, whose decision reads otherwise.
std::optional<std::string> convertWorking(DocumentSteps& steps, std::string_view text,
                                          const RegionOf* regionOf = nullptr);
// The same for a text the caller hands over (see convertOwnedText).
std::optional<std::string> convertWorking(DocumentSteps& steps, std::string&& text);

// A document converted by `attempt(check)`: first trusting a declared Japanese encoding unread,
// then, when the converter refutes it (`attempt` gives nothing and leaves the text untouched),
// again with the decision reading the text.
template <class Attempt>
DocumentResult convertTrustingDeclaration(Attempt&& attempt) {
  if (std::optional<DocumentResult> result = attempt(ValidityCheck::ByConverter)) return std::move(*result);
  return std::move(*attempt(ValidityCheck::InDecision));
}

// A document that declares nothing, read and converted whole: the converted text replaces
// `text`. Nothing, `text` untouched, when the converter refutes a declaration taken unread
// (for convertTrustingDeclaration).
std::optional<DocumentResult> convertWholeText(std::string& text, const ReadingRequest& request,
                                               const TargetChoice& options, const EncodingEvidence& evidence);

// Whether bytes of the working text that are taken out before the converter reads it (a
// sheet's old @charset rule) leave an unread declaration standing: they must be characters of
// it too. Always true when the decision read the text itself.
bool removedTextHolds(const DocumentSteps& steps, std::string_view removed);

// The record's decision, findings, line breaks and sizes, once `output` is final. The converter
// changes no line break but as the line-ending choice says (escapes and stand-ins hold none),
// so the count after is the count before, turned into the chosen kind, with the rewriting's
// changes; ISO-2022-JP (whose escape sequences may stand between a CR and an LF) is counted.
void completeResult(DocumentResult& result, const DocumentSteps& steps, std::string_view source,
                    std::string_view output);
// The count after, when the steps tell it without a look at the output.
std::optional<LineBreakCounts> lineBreaksAfterSteps(const DocumentSteps& steps);

}  // namespace sarnavel
