#include "html/page_walk.h"

namespace sarnavel {

bool walkPage(std::string_view page, PARSE1INFO& head, PARSE2INFO& references, std::vector<PageMark>* marks) {
  resetHead(head);
  TagWalk walk(page, [](std::string_view name) {
    return name == "meta" || name == "link" || name == "script" || name == "base";
  });
  ScannedTag tag;
  bool headActive = true;
  std::size_t headResumesAt = 0;  // the head analysis passes over tags before this offset
  while (walk.next(tag)) {
    HeadStep step = HeadStep::Go;
    if (headActive && tag.span.tagStart >= headResumesAt) {
      step = readHeadTag(tag, head);
      if (step == HeadStep::Done) headActive = false;
    }
    const bool referencesSkip = readReferenceTag(tag, references);
    if (marks) readPageMarkTag(tag, *marks);
    if (step == HeadStep::SkipScriptBody && !referencesSkip) {
      headResumesAt = walk.scriptBodySkip(tag.span);
    } else if (step == HeadStep::SkipStyleBody) {
      headResumesAt = walk.styleBodySkip(tag.span);
    } else if (referencesSkip) {
      walk.skipScriptBody(tag.span);
    }
  }
  return head.hasHtml;
}

}  // namespace sarnavel
