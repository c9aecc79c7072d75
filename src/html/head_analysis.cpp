#include "html/head_analysis.h"

#include "html/tag_scanner.h"

namespace sarnavel {
namespace {

void readMeta(const ScannedTag& tag, PARSE1INFO& info) {
  auto httpEquiv = tag.attributes.find("http-equiv");
  if (httpEquiv == tag.attributes.end()) {
    auto charset = tag.attributes.find("charset");
    if (charset == tag.attributes.end()) return;
    if (info.metaCharsets.empty()) info.firstMetaCharset = lowercaseCopy(charset->second);
    info.metaCharsets.push_back({tag.span.tagStart, tag.span.tagEnd, charset->second});
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
    info.metaStart = tag.span.tagStart;
    info.metaEnd = tag.span.tagEnd;
    info.metaSelfClosing = tag.span.selfClosing;
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
  info.metaSelfClosing = true;
  info.contentScriptType = "text/javascript";
  info.metaCharsets.clear();
  info.firstMetaCharset.clear();
}

HeadStep readHeadTag(const ScannedTag& tag, PARSE1INFO& info) {
  const std::string& name = tag.name;
  if (name == "html") {
    info.hasHtml = true;
    info.htmlEnd = tag.span.tagEnd;
  } else if (name == "head") {
    info.hasHead = true;
    info.headStart = tag.span.tagStart;
    info.headEnd = tag.span.tagEnd;
  } else if (name == "/head") {
    info.headCloseStart = tag.span.tagStart;
    info.headCloseEnd = tag.span.tagEnd;
  } else if (name == "title") {
    info.hasTitle = true;
    info.titleStart = tag.span.tagStart;
  } else if (name == "/title") {
    info.titleCloseEnd = tag.span.tagEnd;
  } else if (name == "script") {
    return HeadStep::SkipScriptBody;
  } else if (name == "style") {
    return HeadStep::SkipStyleBody;  // a meta or title written in a style sheet is no tag
  } else if (name == "meta") {
    readMeta(tag, info);
  } else if (name == "body") {
    return HeadStep::Done;
  }
  return HeadStep::Go;
}

bool analyseHead(std::string_view page, PARSE1INFO& info) {
  resetHead(info);
  TagWalk walk(page, [](std::string_view name) { return name == "meta"; });
  ScannedTag tag;
  while (walk.next(tag)) {
    const HeadStep step = readHeadTag(tag, info);
    if (step == HeadStep::SkipScriptBody) walk.skipScriptBody(tag.span);
    else if (step == HeadStep::SkipStyleBody) walk.skipStyleBody(tag.span);
    else if (step == HeadStep::Done) break;
  }
  return info.hasHtml;
}

}  // namespace sarnavel
