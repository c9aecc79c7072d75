#include "engine/template_conversion.h"

#include <optional>
#include <string_view>

#include "engine/code_charset_calls.h"
#include "text/ascii.h"
#include "text/cp1252.h"
#include "text/cp932.h"
#include "text/japanese_text.h"
#include "text/text_position.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

// The text of code as characters, line breaks made LF (a line-ending option changes them, which
// is no edit); none for an encoding code is not read in here.
std::optional<std::u16string> codeCharacters(std::string_view bytes, SourceEncoding encoding) {
  std::u16string wide;
  switch (encoding) {
    case SourceEncoding::Ascii:
    case SourceEncoding::Utf8: wide = utf8ToUtf16(bytes); break;
    case SourceEncoding::ShiftJis: wide = decodeToWide(bytes, TargetEncoding::ShiftJis); break;
    case SourceEncoding::EucJp: wide = decodeToWide(bytes, TargetEncoding::EucJp); break;
    case SourceEncoding::Latin1: wide = decodeCp1252(bytes); break;
    default: return std::nullopt;
  }
  std::u16string lines;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] == u'\r' && i + 1 < wide.size() && wide[i + 1] == u'\n') continue;
    lines.push_back(wide[i] == u'\r' ? u'\n' : wide[i]);
  }
  return lines;
}

SourceForm formOf(SourceEncoding encoding) {
  switch (encoding) {
    case SourceEncoding::ShiftJis: return SourceForm::ShiftJis;
    case SourceEncoding::EucJp: return SourceForm::EucJp;
    case SourceEncoding::Latin1: return SourceForm::SingleByte;
    default: return SourceForm::Utf8;
  }
}

// The position of the character `index` of code that starts at `start`.
TextPosition positionWithin(TextPosition start, std::u16string_view code, std::size_t index) {
  for (std::size_t i = 0; i < index; ++i) {
    if (code[i] == u'\n') start = {start.line + 1, 1};
    else if (!isLowSurrogate(code[i])) ++start.column;
  }
  return start;
}

char32_t characterAt(std::u16string_view text, std::size_t i) {
  if (isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1]))
    return combineSurrogates(text[i], text[i + 1]);
  return text[i];
}

// Where PHP code in Shift_JIS holds a character whose second byte is 0x5C: PHP reads its code
// byte by byte, so that byte was a backslash to it (the character escaped what followed, or the
// author doubled it to keep the character). In any other encoding the character has no such
// byte and the code means something else. npos when none.
std::size_t backslashByteIn(std::string_view code) {
  for (std::size_t i = 0; i + 1 < code.size(); ++i) {
    if (!cp932::isLeadByte(static_cast<std::uint8_t>(code[i]))) continue;
    if (code[i + 1] == '\\') return i;
    ++i;
  }
  return std::string_view::npos;
}

// Why the code of the template cannot be kept; Why::None when every island can.
CodeLeft codeThatCannotBeKept(std::string_view source, std::string_view converted, const PageConversion& with,
                              SourceEncoding readIn) {
  const std::vector<CodeIsland> before = findCodeIslands(source, with.islands);
  const std::vector<CodeIsland> after = findCodeIslands(converted, with.islands);
  PositionFinder positions(source, formOf(readIn));
  const TargetEncoding target = with.options.targetEncoding;
  if (target == TargetEncoding::Iso2022Jp || !codeCharacters({}, readIn) || before.size() != after.size())
    return {CodeLeft::Why::Encoding, before.empty() ? TextPosition{} : positions.at(before.front().start)};
  for (std::size_t k = 0; k < before.size(); ++k) {
    const TextPosition start = positions.at(before[k].start);
    const std::u16string code =
        *codeCharacters(source.substr(before[k].start, before[k].end - before[k].start), readIn);
    // Bytes that form no character read as U+FFFD, which no Japanese encoding holds.
    const bool invalid = readIn == SourceEncoding::Utf8 || readIn == SourceEncoding::Ascii
                             ? !isWellFormedUtf8(source.substr(before[k].start, before[k].end - before[k].start))
                             : code.find(u'\uFFFD') != std::u16string::npos;
    if (invalid) {
      const std::size_t bad = code.find(u'\uFFFD');
      return {CodeLeft::Why::InvalidBytes, positionWithin(start, code, bad == std::u16string::npos ? 0 : bad)};
    }
    if (with.islands == IslandSyntax::Php && readIn == SourceEncoding::ShiftJis && target != TargetEncoding::ShiftJis) {
      const std::string_view bytes = source.substr(before[k].start, before[k].end - before[k].start);
      if (const std::size_t at = backslashByteIn(bytes); at != std::string_view::npos) {
        const std::u16string character = decodeToWide(bytes.substr(at, 2), TargetEncoding::ShiftJis);
        return {CodeLeft::Why::BackslashByte, positions.at(before[k].start + at), characterAt(character, 0)};
      }
    }
    const std::u16string written =
        *codeCharacters(converted.substr(after[k].start, after[k].end - after[k].start), sourceEncodingOf(target));
    if (written == code) continue;
    std::size_t differs = 0;
    while (differs + 1 < code.size() && differs < written.size() && code[differs] == written[differs]) ++differs;
    return {CodeLeft::Why::LackedCharacter, positionWithin(start, code, differs), characterAt(code, differs)};
  }
  return {};
}

}  // namespace

void noteCharsetsInCode(std::string_view text, SourceEncoding readIn, IslandSyntax syntax, TargetEncoding target,
                        DocumentResult& result) {
  const std::vector<CodeIsland> islands = findCodeIslands(text, syntax);
  PositionFinder positions(text, formOf(readIn));
  for (CharsetCall& call : charsetCallsIn(text, islands, target)) {
    // The line's indent is no part of what it says.
    auto shown = [&](std::string_view line) {
      return utf16ToUtf8(codeCharacters(trimmedOf(line, " \t"), readIn).value_or(std::u16string()));
    };
    // Every such line is listed: each is a change the user has to make.
    result.pageNotices.push_back(
        {PageNoticeKind::CharsetInCode, positions.at(call.lineStart), shown(call.line), shown(call.suggested)});
  }
}

DocumentResult convertTemplateLeavingEdits(std::string& text, std::vector<PageEdit>& edits,
                                           const PageConversion& with) {
  const std::string source = text;
  DocumentResult result = convertPageLeavingEdits(text, edits, with);
  // A UTF-16 template shows its islands once converted only.
  if (findCodeIslands(source, with.islands).empty() && findCodeIslands(text, with.islands).empty()) return result;
  const SourceEncoding readIn = result.source.encoding;
  const CodeLeft left = codeThatCannotBeKept(source, text, with, readIn);
  if (left.why != CodeLeft::Why::None) {
    text = source;
    edits.clear();
    result.codeLeft = left;
    return result;
  }
  noteCharsetsInCode(source, readIn, with.islands, with.options.targetEncoding, result);
  return result;
}

}  // namespace sarnavel
