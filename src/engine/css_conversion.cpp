#include "engine/css_conversion.h"

#include <cstdint>
#include <optional>

#include "engine/charset_attributes.h"
#include "engine/conversion_steps.h"
#include "engine/css_imports.h"
#include "html/iso2022_runs.h"
#include "text/ascii.h"
#include "text/cp932.h"
#include "text/find_bytes.h"

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

// The first "@charset" at or after `from` that is text: not inside an ISO-2022-JP run, and in
// Shift_JIS text not begun by the trail byte of a double-byte character (0x40 is '@'). A
// character starts just after a byte that is no lead byte (and at `from`), and the lead bytes
// from there on pair off, each one reading the next as its trail: after an odd number of them
// the '@' is the last one's trail. So only the bytes just before each keyword are looked at.
std::size_t findCharsetKeyword(std::string_view text, bool shiftJis, std::size_t from) {
  constexpr std::string_view kKeyword = "@charset";
  if (!shiftJis) return findTextOutsideRuns(text, from, kKeyword);
  for (std::size_t at = findBytes(text, from, kKeyword); at != std::string_view::npos;
       at = findBytes(text, at + 1, kKeyword)) {
    std::size_t leads = 0;
    while (at - leads > from && cp932::isLeadByte(static_cast<std::uint8_t>(text[at - leads - 1]))) ++leads;
    if (leads % 2 == 0) return at;
  }
  return std::string_view::npos;
}

// The first "@charset" of the text (at or after `from`), when it is followed by a double-quoted
// value and a semicolon; no rule otherwise (a well-formed rule further on is not looked for).
std::optional<CharsetRule> findCharsetRule(std::string_view text, bool shiftJis, std::size_t from = 0) {
  std::size_t at = findCharsetKeyword(text, shiftJis, from);
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

// The sheets the converted sheet imports, each with what it leads to.
void listImports(std::string_view sheet, TargetEncoding target, SourceEncoding readAs,
                 const ReferenceResolver& resolver, FoundReferences& references) {
  const std::vector<std::string> addresses = importedSheets(sheet);
  if (addresses.empty()) return;
  const DocumentReferences imports(sheet, std::nullopt, target, readAs, resolver);
  for (const std::string& address : addresses) {
    bool remote = false;
    std::optional<DocumentReferences::Loaded> loaded = imports.resolve(address, 0, LoadedKind::StyleSheet, remote);
    if (remote) references.add({LoadedKind::StyleSheet, address, ReferenceStatus::Remote, {}, {}});
    if (!loaded) continue;
    references.add({LoadedKind::StyleSheet,
                    std::move(loaded->reference),
                    loaded->resolved.status,
                    std::move(loaded->resolved.path),
                    {},
                    false,
                    false,
                    false,
                    loaded->resolved.nameIsLink});
  }
}

// The working text with its first `replacedEnd` bytes replaced by `rule`, in room of its exact
// size: a sheet of megabytes is neither copied nor grown into room of twice its size. A text the
// reading step made is taken over; the source's own bytes are copied once.
std::string withLeadingRule(WorkingText& working, std::size_t replacedEnd, std::string_view rule) {
  const std::size_t size = working.text().size() - replacedEnd + rule.size();
  std::string work;
  if (!working.isSource) {
    work = std::move(working.prepared);
    work.reserve(size);
    work.replace(0, replacedEnd, rule);
    return work;
  }
  work.reserve(size);
  work.append(rule).append(working.source.substr(replacedEnd));
  return work;
}

// Nothing, `text` untouched, when the converter refutes a declaration taken unread.
std::optional<DocumentResult> tryConvert(std::string& text, const TargetChoice& options,
                                         const EncodingEvidence& evidence, ValidityCheck check,
                                         const ReferenceResolver* imports) {
  DocumentSteps steps;
  const ReadingRequest request{
      .kind = DocumentKind::StyleSheet,
      .declarationOf = [](std::string_view bytes) { return declaredCharsetRule(bytes).value_or(std::string()); },
      .check = check};
  readForConversion(steps, text, request, options, evidence);
  const std::string_view working = steps.working.text();
  std::string rule = "@charset \"" + lowercaseCopy(steps.charsetName);
  rule += ruleTerminator(options.lineEnding, working);
  // The old rule is looked for in the text as the converter will read it: in code page 932 with
  // its double-byte characters stepped over, elsewhere outside ISO-2022-JP runs. Browsers read
  // a rule only at the very start; one elsewhere (after a comment, say) is no declaration.
  const bool shiftJis = steps.working.converterInput == InputEncoding::ShiftJis;
  // A rule at the start that browsers do not read (a blank before the semicolon, say) is
  // replaced all the same, but the sheet declared nothing: the new rule is added.
  const std::optional<CharsetRule> old = findCharsetRule(working, shiftJis);
  const bool replaced = old && old->start == 0;
  const bool misplacedRule = old && !replaced;
  DocumentResult result;
  if (std::optional<std::string> declared = declaredCharsetRule(working)) {
    result.declarations.push_back({DeclarationForm::CharsetRule, std::move(*declared), DeclarationFate::Replaced});
  } else {
    result.declarations.push_back({DeclarationForm::CharsetRule, {}, DeclarationFate::Added});
    if (misplacedRule) {
      result.declarations.push_back(
          {DeclarationForm::CharsetRule, std::string(old->value), DeclarationFate::Rewritten});
    }
  }
  const std::size_t replacedEnd = replaced ? old->end : 0;
  if (!removedTextHolds(steps, working.substr(0, replacedEnd))) return std::nullopt;
  steps.beforeConverter.replace(working, 0, replacedEnd, rule);
  std::string work = withLeadingRule(steps.working, replacedEnd, rule);
  // What the converter reports past the rule lies as far on in the source as the rule grew.
  steps.findings.shiftOffsets(rule.size(),
                              static_cast<std::ptrdiff_t>(rule.size()) - static_cast<std::ptrdiff_t>(replacedEnd));
  std::optional<std::string> convertedOrNot = convertWorking(steps, std::move(work));
  if (!convertedOrNot) return std::nullopt;
  std::string converted = std::move(*convertedOrNot);
  // A rule that stood elsewhere is read by no browser; the rules after the new one name the
  // target all the same, so the sheet declares one encoding only.
  if (misplacedRule) {
    const bool convertedShiftJis = options.targetEncoding == TargetEncoding::ShiftJis;
    const std::string name = lowercaseCopy(steps.charsetName);
    std::size_t from = rule.size();
    while (std::optional<CharsetRule> misplaced = findCharsetRule(converted, convertedShiftJis, from)) {
      const std::size_t at = static_cast<std::size_t>(misplaced->value.data() - converted.data());
      steps.afterConverter.replace(converted, at, at + misplaced->value.size(), name);
      converted.replace(at, misplaced->value.size(), name);
      from = at + name.size();
    }
  }
  completeResult(result, steps, text, converted);
  if (imports != nullptr)
    listImports(converted, options.targetEncoding, steps.working.decision.encoding, *imports, result.references);
  text = std::move(converted);
  return result;
}

}  // namespace

std::optional<std::string> declaredCharsetRule(std::string_view sheet) {
  constexpr std::string_view kStart = "@charset \"";
  if (!sheet.starts_with(kStart)) return std::nullopt;
  const std::size_t end = sheet.find('"', kStart.size());
  if (end == std::string_view::npos || end > 1024 || sheet.substr(end + 1, 1) != ";") return std::nullopt;
  return std::string(sheet.substr(kStart.size(), end - kStart.size()));
}

DocumentResult convertCss(std::string& text, const TargetChoice& options, const EncodingEvidence& evidence,
                          const ReferenceResolver* imports) {
  return convertTrustingDeclaration(
      [&](ValidityCheck check) { return tryConvert(text, options, evidence, check, imports); });
}

}  // namespace sarnavel
