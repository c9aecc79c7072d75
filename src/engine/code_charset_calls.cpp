#include "engine/code_charset_calls.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "engine/charset_label.h"
#include "engine/target_options.h"
#include "text/ascii.h"

namespace sarnavel {
namespace {

// Where a call's label stands after its word: after "charset=", or as the first quoted text
// after the given character.
struct CallWord {
  std::string_view word;  // lower case
  char quotedAfter;       // 0: the label follows "charset="
};

constexpr CallWord kCallWords[] = {
    {"header", 0},
    {"contenttype", 0},
    {"mb_internal_encoding", '('},
    {"mb_http_output", '('},
    {"default_charset", ','},
    {"pageencoding", '='},
    {"response.charset", '='},
};

// PHP's names for the Japanese encodings that no page label spells.
std::optional<SourceEncoding> encodingOfCodeLabel(std::string_view label) {
  const std::string lower = lowercaseCopy(label);
  if (lower == "sjis-win" || lower == "cp932" || lower == "sjis-open") return SourceEncoding::ShiftJis;
  if (lower == "eucjp-win" || lower == "eucjp" || lower == "cp51932" || lower == "eucjp-ms")
    return SourceEncoding::EucJp;
  return encodingOfLabel(label);
}

bool isLabelByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == ':';
}

// The label's [start, end) in `lower` after the word found at `at`; none when there is none.
std::optional<std::pair<std::size_t, std::size_t>> labelAfter(std::string_view lower, std::size_t at,
                                                              const CallWord& call) {
  if (call.quotedAfter == 0) {
    std::size_t start = lower.find("charset=", at);
    if (start == std::string_view::npos) return std::nullopt;
    start += 8;
    std::size_t end = start;
    while (end < lower.size() && isLabelByte(lower[end])) ++end;
    if (end == start) return std::nullopt;
    return std::pair{start, end};
  }
  const std::size_t after = lower.find(call.quotedAfter, at + call.word.size());
  if (after == std::string_view::npos) return std::nullopt;
  const std::size_t open = lower.find_first_of("'\"", after + 1);
  if (open == std::string_view::npos) return std::nullopt;
  const std::size_t close = lower.find(lower[open], open + 1);
  if (close == std::string_view::npos) return std::nullopt;
  return std::pair{open + 1, close};
}

// A line of the text and the part of it that is code.
struct CodeLine {
  std::string_view line;
  std::size_t start = 0;                   // the line's offset in the text
  std::size_t codeStart = 0, codeEnd = 0;  // in the line
};

// The line's call, when one of its code's labels names an encoding other than the target.
std::optional<CharsetCall> callOnLine(const CodeLine& code, TargetEncoding target) {
  const std::string lower = lowercaseCopy(code.line.substr(0, code.codeEnd));
  std::vector<std::pair<std::size_t, std::size_t>> labels;
  for (const CallWord& call : kCallWords)
    for (std::size_t at = lower.find(call.word, code.codeStart); at != std::string::npos;
         at = lower.find(call.word, at + 1))
      if (const auto label = labelAfter(lower, at, call)) labels.push_back(*label);
  std::sort(labels.begin(), labels.end());
  labels.erase(std::unique(labels.begin(), labels.end()), labels.end());
  std::string suggested(code.line);
  bool named = false;
  // Labels are replaced from the line's end, so that earlier offsets still hold.
  for (auto each = labels.rbegin(); each != labels.rend(); ++each) {
    const std::optional<SourceEncoding> encoding =
        encodingOfCodeLabel(code.line.substr(each->first, each->second - each->first));
    if (!encoding || *encoding == sourceEncodingOf(target)) continue;
    suggested.replace(each->first, each->second - each->first, charsetNameOf(target));
    named = true;
  }
  if (!named) return std::nullopt;
  return CharsetCall{code.start, std::string(code.line), std::move(suggested)};
}

}  // namespace

std::vector<CharsetCall> charsetCallsIn(std::string_view text, std::span<const CodeIsland> islands,
                                        TargetEncoding target) {
  std::vector<CharsetCall> calls;
  for (const CodeIsland& island : islands) {
    std::size_t at = island.start;
    while (at < island.end) {
      // The whole line is shown, the page's text around the code too.
      const std::size_t lineBreak = at == 0 ? std::string_view::npos : text.find_last_of("\r\n", at - 1);
      const std::size_t start = lineBreak == std::string_view::npos ? 0 : lineBreak + 1;
      const std::size_t end = std::min(text.find_first_of("\r\n", at), text.size());
      const CodeLine code{text.substr(start, end - start), start, at - start, std::min(end, island.end) - start};
      std::optional<CharsetCall> call = callOnLine(code, target);
      if (call && (calls.empty() || calls.back().lineStart != start)) calls.push_back(std::move(*call));
      at = end;
      while (at < island.end && (text[at] == '\r' || text[at] == '\n')) ++at;
    }
  }
  return calls;
}

}  // namespace sarnavel
