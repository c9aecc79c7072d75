#include "engine/css_conversion.h"

#include <cstdint>
#include <optional>

#include "engine/conversion_steps.h"
#include "html/iso2022_runs.h"
#include "text/ascii.h"
#include "text/cp932.h"

namespace sarnavel {
namespace {

bool isCssSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

struct CharsetRule {
  std::size_t start = 0;
  std::size_t end = 0;  // just after the ';', and after the line break that follows it
  std::string_view value;
};

// The new rule brings its own line break, so the old rule's line break goes with it: a sheet
// converted again does not gain an empty line each time.
std::size_t afterLineBreak(std::string_view text, std::size_t at) {
  if (text.substr(at, 2) == "\r\n") return at + 2;
  if (at < text.size() && (text[at] == '\n' || text[at] == '\r')) return at + 1;
  return at;
}

// The first "@charset" that is text: not inside an ISO-2022-JP run, and in Shift_JIS text not
// begun by the trail byte of a double-byte character (0x40 is '@').
std::size_t findCharsetKeyword(std::string_view text, bool shiftJis) {
  if (!shiftJis) return findTextOutsideRuns(text, 0, "@charset");
  for (std::size_t i = 0; i < text.size();) {
    auto b = static_cast<std::uint8_t>(text[i]);
    if (b == '@' && text.substr(i, 8) == "@charset") return i;
    i += cp932::isLeadByte(b) && i + 1 < text.size() && cp932::isTrailByte(static_cast<std::uint8_t>(text[i + 1])) ? 2
                                                                                                                   : 1;
  }
  return std::string_view::npos;
}

// The first "@charset" of the text, when it is followed by a double-quoted value and a
// semicolon; no rule otherwise (a well-formed rule further on is not looked for).
std::optional<CharsetRule> findCharsetRule(std::string_view text, bool shiftJis) {
  std::size_t at = findCharsetKeyword(text, shiftJis);
  if (at == std::string_view::npos) return std::nullopt;
  std::size_t i = at + 8;
  while (i < text.size() && isCssSpace(text[i])) ++i;
  if (i >= text.size() || text[i] != '"') return std::nullopt;
  std::size_t valueStart = i + 1;
  std::size_t valueEnd =
      findByteOutsideRuns(text, valueStart, '"');  // a quote in an ISO-2022-JP run is half a character
  if (valueEnd == std::string_view::npos) return std::nullopt;
  i = valueEnd + 1;
  while (i < text.size() && isCssSpace(text[i])) ++i;
  if (i >= text.size() || text[i] != ';') return std::nullopt;
  return CharsetRule{at, afterLineBreak(text, i + 1), text.substr(valueStart, valueEnd - valueStart)};
}

// Whether a CR is followed by an LF, also across ISO-2022-JP escape sequences between them
// (which the converter drops, making the two one line break).
bool hasCrLf(std::string_view text) {
  for (std::size_t cr = text.find('\r'); cr != std::string_view::npos; cr = text.find('\r', cr + 1)) {
    std::size_t i = cr + 1;
    std::size_t length = 0;
    while (i < text.size() && text[i] == '\x1b' && runShiftAt(text, i, length) != RunShift::None) i += length;
    if (i < text.size() && text[i] == '\n') return true;
  }
  return false;
}

std::string_view ruleTerminator(LineEnding lineEnding, std::string_view text) {
  switch (lineEnding) {
    case LineEnding::CrLf: return "\";\r\n";
    case LineEnding::Lf: return "\";\n";
    case LineEnding::Cr: return "\";\r";
    case LineEnding::Unchanged: break;
  }
  if (hasCrLf(text)) return "\";\r\n";
  if (text.find('\n') != std::string_view::npos) return "\";\n";
  if (text.find('\r') != std::string_view::npos) return "\";\r";
  return "\";\r\n";
}

}  // namespace

DocumentResult convertCss(std::string& text, const TargetChoice& options, const EncodingEvidence& evidence) {
  DocumentSteps steps;
  std::optional<CharsetRule> original;
  // The rule as written is looked for byte by byte; its value is the sheet's declaration.
  readForConversion(steps, text, DocumentKind::StyleSheet, options, evidence, [&](std::string_view bytes) {
    original = findCharsetRule(bytes, false);
    return original ? std::string(original->value) : std::string();
  });
  std::string work(steps.working.text());
  std::string rule = "@charset \"" + lowercaseCopy(steps.charsetName);
  rule += ruleTerminator(options.lineEnding, work);
  // The old rule is looked for in the text as the converter will read it: in code page 932 with
  // its double-byte characters stepped over, elsewhere outside ISO-2022-JP runs.
  std::optional<CharsetRule> old = findCharsetRule(work, steps.working.converterInput == InputEncoding::ShiftJis);
  const std::size_t replacedEnd = old ? old->end : 0;
  steps.beforeConverter.replace(work, old ? old->start : 0, old ? old->end : 0, rule);
  if (old) work.replace(old->start, old->end - old->start, rule);
  else work.insert(0, rule);
  // What the converter reports past the rule lies as far on in the source as the rule grew.
  const std::size_t newEnd = (old ? old->start : 0) + rule.size();
  steps.findings.shiftOffsets(newEnd, static_cast<std::ptrdiff_t>(newEnd) - static_cast<std::ptrdiff_t>(replacedEnd));

  DocumentResult result;
  if (original)
    result.declarations.push_back(
        {DeclarationForm::CharsetRule, std::string(original->value), DeclarationFate::Replaced});
  else result.declarations.push_back({DeclarationForm::CharsetRule, {}, DeclarationFate::Added});
  std::string converted = convertWorking(steps, work);
  completeResult(result, steps, text, converted);
  text = std::move(converted);
  return result;
}

}  // namespace sarnavel
