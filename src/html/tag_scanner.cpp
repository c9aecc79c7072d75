#include "html/tag_scanner.h"

#include "html/iso2022_runs.h"

namespace sarnavel {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

std::size_t skipSpaces(std::string_view text, std::size_t pos) {
  while (pos < text.size() && isSpace(text[pos])) ++pos;
  return pos;
}

// The first white-space byte at or after `from` outside any run, or the end of the text.
std::size_t findSpaceOrEnd(std::string_view text, std::size_t from) {
  std::size_t pos = findOutsideRuns(text, from, [&](std::size_t i) { return isSpace(text[i]); });
  return pos == kNone ? text.size() : pos;
}

// The offset of the nearer script end tag at or after `from`, or none. A failed search is
// remembered in `noEndFrom`: there is then no end tag at or after any later offset either.
std::size_t findScriptEnd(std::string_view page, std::size_t from, std::size_t& noEndFrom) {
  if (from >= noEndFrom) return kNone;
  constexpr std::string_view kUpper = "</SCRIPT>";
  constexpr std::string_view kLower = "</script>";
  std::size_t found = findOutsideRuns(page, from, [&](std::size_t i) {
    if (page[i] != '<') return false;
    std::string_view here = page.substr(i, kLower.size());
    return here == kLower || here == kUpper;
  });
  if (found == kNone) noEndFrom = from;
  return found;
}

std::size_t resumeAfterScript(std::string_view page, const TagSpan& scriptTag, std::size_t& noEndFrom) {
  if (scriptTag.selfClosing) return scriptTag.tagEnd;
  std::size_t end = findScriptEnd(page, scriptTag.tagEnd - 1, noEndFrom);
  return end == kNone ? scriptTag.tagEnd : end + 9;
}

}  // namespace

void parseAttributes(std::string_view text, AttributeMap& attributes) {
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] != '\0') {
    // A slash between attributes separates them, as white space does.
    while (pos < text.size() && (isSpace(text[pos]) || text[pos] == '/')) ++pos;
    if (pos >= text.size() || text[pos] == '\0') return;
    // A name runs to white space, a slash or "=" (an "=" that starts it is part of it).
    const std::size_t nameStart = pos;
    std::size_t nameEnd = findOutsideRuns(
        text, pos + 1, [&](std::size_t i) { return isSpace(text[i]) || text[i] == '/' || text[i] == '='; });
    if (nameEnd == kNone) nameEnd = text.size();
    std::string name = lowercaseCopy(text.substr(nameStart, nameEnd - nameStart));
    pos = skipSpaces(text, nameEnd);
    std::string value;
    if (pos < text.size() && text[pos] == '=') {
      pos = skipSpaces(text, pos + 1);
      if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
        std::size_t close = findByteOutsideRuns(text, pos + 1, text[pos]);
        if (close == kNone) close = text.size();
        value = text.substr(pos + 1, close - pos - 1);
        pos = close == text.size() ? close : close + 1;
      } else {
        std::size_t end = findSpaceOrEnd(text, pos);
        value = text.substr(pos, end - pos);
        pos = end;
      }
    }
    attributes.emplace(std::move(name), std::move(value));
  }
}

namespace {

// The first step of parseTagText: the name, and where the attributes start (npos when the
// text has none to read).
bool parseTagName(std::string_view tagText, std::string& name, std::size_t& attributesAt) {
  attributesAt = std::string_view::npos;
  std::size_t first = skipSpaces(tagText, 0);
  if (first == tagText.size()) {
    name.clear();
    return false;
  }
  std::size_t space = findSpaceOrEnd(tagText, first);
  name = lowercaseCopy(tagText.substr(first, space - first));
  if (space == tagText.size()) return true;
  if (name.size() > 2 && name.starts_with("!--")) {
    name = "!--";
    return true;
  }
  attributesAt = space;
  return true;
}

}  // namespace

bool parseTagText(std::string_view tagText, std::string& name, AttributeMap& attributes) {
  attributes.clear();
  std::size_t attributesAt;
  if (!parseTagName(tagText, name, attributesAt)) return false;
  if (attributesAt != std::string_view::npos) parseAttributes(tagText.substr(attributesAt), attributes);
  return true;
}

std::optional<TagSpan> findNextTag(std::string_view page, std::size_t start) {
  std::size_t open = findByteOutsideRuns(page, start, '<');
  if (open == kNone) return std::nullopt;
  std::size_t close = findByteOutsideRuns(page, open + 1, '>');
  if (close == kNone) return std::nullopt;
  TagSpan span;
  span.tagStart = open;
  span.tagEnd = close + 1;
  span.text = page.substr(open + 1, close - open - 1);
  if (!span.text.empty() && span.text.back() == '/') {
    span.text.remove_suffix(1);
    span.selfClosing = true;
  }
  return span;
}

std::size_t skipScriptBody(std::string_view page, const TagSpan& scriptTag) {
  std::size_t noEndFrom = kNone;
  return resumeAfterScript(page, scriptTag, noEndFrom);
}

void writeTag(std::string& out, std::string_view name, const AttributeMap& attributes, bool selfClosing) {
  out.clear();
  out += '<';
  out += name;
  for (const auto& [key, value] : attributes) {
    out += ' ';
    out += key;
    out += "=\"";
    // A double quote that an unquoted value held would end the quoted value early: it is
    // written as the reference a browser reads back as that quote (never inside an
    // ISO-2022-JP run, where the byte is half of a character).
    std::size_t done = 0;
    for (std::size_t q = findByteOutsideRuns(value, 0, '"'); q != std::string::npos;
         q = findByteOutsideRuns(value, q + 1, '"')) {
      out.append(value, done, q - done);
      out += "&quot;";
      done = q + 1;
    }
    out.append(value, done, std::string::npos);
    out += '"';
  }
  out += selfClosing ? " />" : ">";
}

bool TagWalk::next(ScannedTag& tag) {
  while (!ended_) {
    std::optional<TagSpan> span = findNextTag(page_, resume_);
    if (!span) break;
    tag.span = *span;
    resume_ = span->tagEnd;
    tag.attributes.clear();
    std::size_t attributesAt;
    if (!parseTagName(span->text, tag.name, attributesAt)) continue;
    if (attributesAt != std::string_view::npos && (needsAttributes_ == nullptr || needsAttributes_(tag.name))) {
      parseAttributes(span->text.substr(attributesAt), tag.attributes);
    }
    if (tag.name == "!--") {
      std::size_t commentEnd = findTextOutsideRuns(page_, span->tagStart, "-->");
      if (commentEnd == kNone) break;
      resume_ = commentEnd + 3;
      continue;
    }
    return true;
  }
  ended_ = true;
  return false;
}

void TagWalk::skipScriptBody(const TagSpan& scriptTag) { resume_ = scriptBodySkip(scriptTag); }

std::size_t TagWalk::scriptBodySkip(const TagSpan& scriptTag) {
  return resumeAfterScript(page_, scriptTag, noScriptEndFrom_);
}

void TagWalk::skipStyleBody(const TagSpan& styleTag) { resume_ = styleBodySkip(styleTag); }

std::size_t TagWalk::styleBodySkip(const TagSpan& styleTag) {
  if (styleTag.selfClosing) return styleTag.tagEnd;
  if (noStyleEndFrom_ != kNone && styleTag.tagEnd >= noStyleEndFrom_) return styleTag.tagEnd;
  constexpr std::string_view kCloser = "</style";
  std::size_t end = findOutsideRuns(page_, styleTag.tagEnd, [&](std::size_t i) {
    if (page_[i] != '<' || page_.size() - i < kCloser.size()) return false;
    for (std::size_t k = 0; k < kCloser.size(); ++k) {
      if (asciiLower(page_[i + k]) != kCloser[k]) return false;
    }
    return true;
  });
  if (end == kNone) {
    noStyleEndFrom_ = styleTag.tagEnd;
    return styleTag.tagEnd;
  }
  return end;
}

}  // namespace sarnavel
