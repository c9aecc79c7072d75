#include "html/script_written_tags.h"

#include "html/page_regions.h"
#include "text/ascii.h"
#include "text/find_bytes.h"

namespace sarnavel {
namespace {

bool isLabelByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == ':';
}

struct Value {
  std::size_t at = std::string_view::npos;  // in the tag
  std::string_view text;
};

// The value of an attribute in a written tag: past white space, "=", quotes and backslashes, up
// to the quote, backslash, white space or ">" that ends it. A value the script pieces together
// ("' + name + '") ends at its first quote and is no whole value.
Value valueOf(std::string_view lowerTag, std::string_view tag, std::string_view name, bool labelOnly) {
  for (std::size_t at = lowerTag.find(name); at != std::string_view::npos; at = lowerTag.find(name, at + 1)) {
    // The name stands on its own: after white space (or a quote's backslash), before "=".
    if (at == 0 || !(lowerTag[at - 1] == ' ' || lowerTag[at - 1] == '\t' || lowerTag[at - 1] == '\n')) continue;
    std::size_t i = at + name.size();
    auto skip = [&](std::string_view bytes) {
      while (i < tag.size() && bytes.find(tag[i]) != std::string_view::npos) ++i;
    };
    skip(" \t\r\n");
    if (i >= tag.size() || tag[i] != '=') continue;
    ++i;
    skip(" \t\r\n");
    const char quote = i < tag.size() && (tag[i] == '"' || tag[i] == '\'') ? tag[i] : 0;
    skip("\"'\\");
    std::size_t end = i;
    if (labelOnly) {
      while (end < tag.size() && isLabelByte(tag[end])) ++end;
    } else {
      while (end < tag.size() && std::string_view("\"'\\ \t\r\n>").find(tag[end]) == std::string_view::npos) ++end;
      // Ended by a quote that is not the one it opened with (or by a "+" joining it to more):
      // pieced together.
      if (end < tag.size() && quote != 0 && tag[end] != quote && tag[end] != '\\') return {};
    }
    return {i, tag.substr(i, end - i)};
  }
  return {};
}

// Whether "document.write" stands anywhere in the page. Its 'w' is rare in a page (in markup
// and in Japanese text alike), far rarer than the 'd' and 'e' a general search pairs up.
bool holdsDocumentWrite(std::string_view page) {
  constexpr std::string_view kWord = "document.write";
  return holdsAround(page, kWord, kWord.find('w'));
}

}  // namespace

std::vector<WrittenScriptTag> scriptTagsWrittenByScripts(std::string_view page, bool iso2022) {
  std::vector<WrittenScriptTag> found;
  if (!holdsDocumentWrite(page)) return found;
  PageRegions<char> regions(page, iso2022);
  while (std::optional<RegionSpan> span = regions.next()) {
    if (span->region != PageRegion::Script) continue;
    const std::string_view body = page.substr(span->start, span->end - span->start);
    const std::string lower = lowercaseCopy(body);
    for (std::size_t at = lower.find("<script"); at != std::string::npos; at = lower.find("<script", at + 1)) {
      std::size_t gt = lower.find('>', at);
      if (gt == std::string::npos) gt = lower.size() - 1;
      const std::string_view tag = body.substr(at, gt + 1 - at);
      const std::string_view lowerTag = std::string_view(lower).substr(at, gt + 1 - at);
      const Value charset = valueOf(lowerTag, tag, "charset", true);
      if (charset.text.empty()) continue;
      const Value src = valueOf(lowerTag, tag, "src", false);
      found.push_back({span->start + at, std::string(tag), span->start + at + charset.at, std::string(charset.text),
                       std::string(src.text)});
    }
  }
  return found;
}

}  // namespace sarnavel
