#include "html/head_analysis.h"

#include "html/iso2022_runs.h"
#include "html/tag_scanner.h"

namespace sarnavel {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

}  // namespace

std::optional<LabelPlace> charsetLabelIn(std::string_view content) {
  constexpr std::string_view kCharset = "charset";
  const auto charsetAt = [&](std::size_t k) {
    if (content.size() - k < kCharset.size()) return false;
    for (std::size_t n = 0; n < kCharset.size(); ++n) {
      if (asciiLower(content[k + n]) != kCharset[n]) return false;
    }
    return true;
  };
  constexpr std::size_t kNone = std::string_view::npos;
  for (std::size_t at = findOutsideRuns(content, 0, charsetAt); at != kNone;) {
    std::size_t i = at + kCharset.size();
    while (i < content.size() && isSpace(content[i])) ++i;
    if (i >= content.size() || content[i] != '=') {
      at = findOutsideRuns(content, i, charsetAt);
      continue;
    }
    ++i;
    while (i < content.size() && isSpace(content[i])) ++i;
    if (i < content.size() && (content[i] == '"' || content[i] == '\'')) {
      const std::size_t close = findByteOutsideRuns(content, i + 1, content[i]);
      if (close == kNone) return LabelPlace{i, content.size(), false};
      return LabelPlace{i + 1, close};
    }
    // Up to a blank or ';' outside an ISO-2022-JP run, whose bytes may look like either.
    const std::size_t end =
        findOutsideRuns(content, i, [&](std::size_t k) { return isSpace(content[k]) || content[k] == ';'; });
    return LabelPlace{i, end == kNone ? content.size() : end};
  }
  return std::nullopt;
}

namespace {

// The charset a content-type meta's content names, as browsers extract it.
std::string charsetInContent(std::string_view content) {
  const std::optional<LabelPlace> label = charsetLabelIn(content);
  return label && label->readable ? std::string(content.substr(label->start, label->end - label->start))
                                  : std::string();
}

void readMeta(const ScannedTag& tag, PARSE1INFO& info) {
  const TagSpan& span = tag.span;
  auto httpEquiv = tag.attributes.find("http-equiv");
  if (httpEquiv == tag.attributes.end()) {
    auto charset = tag.attributes.find("charset");
    if (charset == tag.attributes.end()) return;
    info.metaDeclarations.push_back({false, span.tagStart, span.tagEnd, charset->second});
    return;
  }
  std::string kind = lowercaseCopy(httpEquiv->second);
  auto content = tag.attributes.find("content");
  if (kind == "content-type") {
    if (content != tag.attributes.end()) {
      constexpr std::string_view kCharset = "charset=";
      std::size_t at = content->second.find(kCharset);
      if (at != std::string::npos)
        info.charset = lowercaseCopy(std::string_view(content->second).substr(at + kCharset.size()));
    }
    info.hasContentTypeMeta = true;
    info.metaStart = span.tagStart;
    info.metaEnd = span.tagEnd;
    info.metaDeclarations.push_back(
        {true, span.tagStart, span.tagEnd, content != tag.attributes.end() ? charsetInContent(content->second) : ""});
  } else if (kind == "content-script-type") {
    if (content != tag.attributes.end()) info.contentScriptType = lowercaseCopy(content->second);
  }
}

}  // namespace

void resetHead(PARSE1INFO& info) {
  info.hasHtml = false;
  info.hasHead = false;
  info.hasContentTypeMeta = false;
  info.hasTitle = false;
  info.contentScriptType = "text/javascript";
  info.doctypeEnd = 0;
  info.metaDeclarations.clear();
}

HeadStep readHeadTag(const ScannedTag& tag, PARSE1INFO& info) {
  switch (tag.name.kind()) {
    case TagKind::Html:
      info.hasHtml = true;
      info.htmlEnd = tag.span.tagEnd;
      break;
    case TagKind::Head:
      info.hasHead = true;
      info.headStart = tag.span.tagStart;
      info.headEnd = tag.span.tagEnd;
      break;
    case TagKind::HeadEnd:
      info.headCloseStart = tag.span.tagStart;
      info.headCloseEnd = tag.span.tagEnd;
      break;
    case TagKind::Title:
      info.hasTitle = true;
      info.titleStart = tag.span.tagStart;
      break;
    case TagKind::TitleEnd: info.titleCloseEnd = tag.span.tagEnd; break;
    case TagKind::Script: return HeadStep::SkipScriptBody;
    case TagKind::Style: return HeadStep::SkipStyleBody;  // a meta or title written in a style sheet is no tag
    case TagKind::Meta: readMeta(tag, info); break;
    case TagKind::Body: return HeadStep::Done;
    case TagKind::Doctype:
      if (info.doctypeEnd == 0) info.doctypeEnd = tag.span.tagEnd;
      break;
    default: break;
  }
  return HeadStep::Go;
}

namespace {

// analyseHead's walk; with `toLabel` it also ends once a meta has named a charset.
void walkHead(std::string_view page, PARSE1INFO& info, bool toLabel) {
  resetHead(info);
  TagWalk walk(page, {TagKind::Meta});
  ScannedTag tag;
  while (walk.next(tag)) {
    const HeadStep step = readHeadTag(tag, info);
    if (step == HeadStep::SkipScriptBody) walk.skipScriptBody(tag.span);
    else if (step == HeadStep::SkipStyleBody) walk.skipStyleBody(tag.span);
    else if (step == HeadStep::Done) break;
    else if (toLabel && tag.name.kind() == TagKind::Meta && !info.declaredLabel().empty()) break;
  }
}

}  // namespace

bool analyseHead(std::string_view page, PARSE1INFO& info) {
  walkHead(page, info, false);
  return info.hasHtml;
}

std::string declaredLabelOf(std::string_view page) {
  PARSE1INFO info;
  walkHead(page, info, true);
  return std::string(info.declaredLabel());
}

}  // namespace sarnavel
