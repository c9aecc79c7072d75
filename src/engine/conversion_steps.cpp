#include "engine/conversion_steps.h"

#include "engine/converter.h"
#include "text/line_breaks.h"

namespace sarnavel {

void readForConversion(DocumentSteps& steps, std::string_view source, ReadingRequest request,
                       const TargetChoice& target, const EncodingEvidence& evidence) {
  const DocumentKind kind = request.kind;
  steps.charsetName = applyTargetEncoding(steps.converterOptions, target.targetEncoding, target.lineEnding);
  // Without escapes the converter writes every character as itself (UTF-8 holds them all).
  if (!target.keepsCharacters() && kind != DocumentKind::Text) {
    steps.converterOptions.escapeLanguage = kind == DocumentKind::Page         ? EscapeLanguage::Html
                                            : kind == DocumentKind::StyleSheet ? EscapeLanguage::Css
                                                                               : EscapeLanguage::JavaScript;
  }
  request.target = target.targetEncoding;
  request.keepCharacters = target.keepsCharacters();
  steps.working = readDocument(source, request, evidence, steps.findings);
  // Text the reading step brought into code page 932 itself is named as such to the converter,
  // so no short text of it can be taken for EUC-JP; any other goes as the decision found it.
  steps.converterOptions.inputEncoding = steps.working.converterInput;
}

std::optional<std::string> convertWorking(DocumentSteps& steps, std::string_view text, const RegionOf* regionOf) {
  ConversionReport report;
  std::string converted =
      convertText(steps.converterOptions, text, &report, &steps.findings, {steps.working.isSource, regionOf});
  if (steps.working.validityDeferred && (!report.decoded || report.malformed > 0)) return std::nullopt;
  return converted;
}

std::optional<std::string> convertWorking(DocumentSteps& steps, std::string&& text) {
  ConversionReport report;
  std::string converted =
      convertOwnedText(steps.converterOptions, std::move(text), &report, &steps.findings, steps.working.isSource);
  if (steps.working.validityDeferred && (!report.decoded || report.malformed > 0)) return std::nullopt;
  return converted;
}

bool removedTextHolds(const DocumentSteps& steps, std::string_view removed) {
  return !steps.working.validityDeferred || readsAs(removed, steps.working.decision.encoding);
}

void LineBreakChange::replace(std::string_view text, std::size_t start, std::size_t end, std::string_view replacement) {
  const std::size_t from = start > 0 ? start - 1 : 0;
  const std::size_t to = end < text.size() ? end + 1 : end;
  // Two neighbourhoods may share the one unchanged byte between two changes: a text split at one
  // byte holds the breaks of its part up to that byte and of its part from it, less those of the
  // byte alone, so each change still adds what its neighbourhood gained.
  if (any_ && start <= lastEnd_) known = false;  // no unchanged byte between two changes
  any_ = true;
  lastEnd_ = end;
  std::string window(text.substr(from, start - from));
  window += replacement;
  window += text.substr(end, to - end);
  const LineBreakCounts gone = countLineBreaks(text.substr(from, to - from)), come = countLineBreaks(window);
  removed = {removed.crlf + gone.crlf, removed.lf + gone.lf, removed.cr + gone.cr};
  added = {added.crlf + come.crlf, added.lf + come.lf, added.cr + come.cr};
}

namespace {

bool apply(LineBreakCounts& counts, const LineBreakChange& change) {
  auto one = [](std::size_t& n, std::size_t removed, std::size_t added) {
    if (n + added < removed) return false;
    n = n + added - removed;
    return true;
  };
  return one(counts.crlf, change.removed.crlf, change.added.crlf) &&
         one(counts.lf, change.removed.lf, change.added.lf) && one(counts.cr, change.removed.cr, change.added.cr);
}

LineBreakCounts inKind(const LineBreakCounts& counts, LineEnding lineEnding) {
  const std::size_t all = counts.crlf + counts.lf + counts.cr;
  switch (lineEnding) {
    case LineEnding::CrLf: return {all, 0, 0};
    case LineEnding::Lf: return {0, all, 0};
    case LineEnding::Cr: return {0, 0, all};
    case LineEnding::Unchanged: break;
  }
  return counts;
}

}  // namespace

std::optional<LineBreakCounts> lineBreaksAfterSteps(const DocumentSteps& steps) {
  LineBreakCounts after = steps.working.lineBreaks;
  const bool iso2022 = steps.working.decision.encoding == SourceEncoding::Iso2022Jp ||
                       steps.converterOptions.output == TargetEncoding::Iso2022Jp;
  const bool known =
      !iso2022 && steps.beforeConverter.known && steps.afterConverter.known && apply(after, steps.beforeConverter);
  after = inKind(after, steps.converterOptions.lineEnding);
  if (!known || !apply(after, steps.afterConverter)) return std::nullopt;
  return after;
}

void completeResult(DocumentResult& result, const DocumentSteps& steps, std::string_view source,
                    std::string_view output) {
  result.source = steps.working.decision;
  result.lineBreaksBefore = steps.working.lineBreaks;
  const std::optional<LineBreakCounts> after = lineBreaksAfterSteps(steps);
  result.lineBreaksAfter = after ? *after : countLineBreaks(output);
  result.bytesBefore = source.size();
  result.bytesAfter = output.size();
  if (!steps.findings.empty()) steps.findings.fill(result, source, steps.working.form);
}

std::optional<DocumentResult> convertWholeText(std::string& text, const ReadingRequest& request,
                                               const TargetChoice& options, const EncodingEvidence& evidence) {
  DocumentSteps steps;
  readForConversion(steps, text, request, options, evidence);
  // A text the reading step made is handed over: when it is already in the target, it is the result.
  std::optional<std::string> converted = steps.working.isSource
                                             ? convertWorking(steps, steps.working.text())
                                             : convertWorking(steps, std::move(steps.working.prepared));
  if (!converted) return std::nullopt;
  DocumentResult result;
  completeResult(result, steps, text, *converted);
  text = std::move(*converted);
  return result;
}

}  // namespace sarnavel
