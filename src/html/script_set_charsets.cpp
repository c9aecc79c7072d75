#include "html/script_set_charsets.h"

#include "text/ascii.h"
#include "text/find_bytes.h"

namespace sarnavel {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool isLabelByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == ':';
}

std::size_t skipBlanks(std::string_view s, std::size_t i) {
  while (i < s.size() && isBlank(s[i])) ++i;
  return i;
}

// The end of a quoted label at `i` (just after its closing quote) that is the whole value (no
// `+` or call after it); npos when there is none.
std::size_t labelEnd(std::string_view s, std::size_t i) {
  if (i >= s.size() || (s[i] != '"' && s[i] != '\'')) return std::string_view::npos;
  std::size_t end = i + 1;
  while (end < s.size() && isLabelByte(s[end])) ++end;
  if (end == i + 1 || end >= s.size() || s[end] != s[i]) return std::string_view::npos;
  std::size_t after = end + 1;
  while (after < s.size() && (s[after] == ' ' || s[after] == '\t')) ++after;
  if (after < s.size() && std::string_view(";),}\n\r").find(s[after]) == std::string_view::npos)
    return std::string_view::npos;
  return end + 1;
}

// Where the `setAttribute(` whose first argument's opening quote is at `quote` starts; npos when
// the quote follows no such call.
std::size_t setAttributeBefore(std::string_view s, std::size_t quote) {
  constexpr std::string_view kCall = "setAttribute";
  std::size_t i = quote;
  while (i > 0 && isBlank(s[i - 1])) --i;
  if (i == 0 || s[i - 1] != '(') return std::string_view::npos;
  --i;
  while (i > 0 && isBlank(s[i - 1])) --i;
  if (i < kCall.size() || s.substr(i - kCall.size(), kCall.size()) != kCall) return std::string_view::npos;
  return i - kCall.size();
}

}  // namespace

std::vector<SetCharset> charsetsSetByScript(std::string_view script) {
  std::vector<SetCharset> found;
  const std::string lower = lowercaseCopy(script);
  constexpr std::size_t kName = 7;  // "charset"
  for (std::size_t at = lower.find("charset"); at != std::string::npos; at = lower.find("charset", at + 1)) {
    std::size_t start = std::string_view::npos, value = 0;
    if (at > 0 && script[at - 1] == '.' && script.substr(at, kName) == "charset") {
      const std::size_t equals = skipBlanks(script, at + kName);
      if (equals + 1 >= script.size() || script[equals] != '=' || script[equals + 1] == '=') continue;
      start = at - 1;
      value = skipBlanks(script, equals + 1);
    } else if (at > 0 && (script[at - 1] == '"' || script[at - 1] == '\'') && at + kName < script.size() &&
               script[at + kName] == script[at - 1]) {
      start = setAttributeBefore(script, at - 1);
      const std::size_t comma = skipBlanks(script, at + kName + 1);
      if (start == std::string_view::npos || comma >= script.size() || script[comma] != ',') continue;
      value = skipBlanks(script, comma + 1);
    } else {
      continue;
    }
    const std::size_t end = labelEnd(script, value);
    if (end == std::string_view::npos) continue;
    found.push_back({start, std::string(script.substr(start, end - start)),
                     std::string(script.substr(value + 1, end - value - 2))});
  }
  return found;
}

bool maySetCharsets(std::string_view text) {
  constexpr std::string_view kMakes = "createElement";
  return holdsAround(text, kMakes, kMakes.find('E'));
}

}  // namespace sarnavel
