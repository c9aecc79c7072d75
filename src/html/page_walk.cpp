#include "html/page_walk.h"

namespace sarnavel {

bool walkPage(std::string_view page, PARSE1INFO& head, PARSE2INFO& references, const PageMarkSink* marks) {
  const PARSE1INFO given = head;  // what the head analysis alone would start from
  resetHead(head);
  // Most tags (p, a span, a cell) are of no kind any reader acts on: the walk passes over them.
  TagWalk walk(page, {TagKind::Meta, TagKind::Link, TagKind::Script, TagKind::Base}, TagKinds::named());
  ScannedTag tag;
  bool headActive = true;
  std::size_t headResumesAt = 0;  // the head analysis passes over tags before this offset
  bool headPassedOver = false;    // the walk skipped tags the head analysis reads
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
      // A tag in a body the head analysis skips may hold that body's end tag and start a script
      // whose body the references skip: the head analysis reads what lies between the two ends.
      if (headActive && tag.span.tagStart < headResumesAt && headResumesAt < walk.scriptBodySkip(tag.span))
        headPassedOver = true;
      walk.skipScriptBody(tag.span);
    }
  }
  if (headPassedOver) {
    // Rare (a tag that straddles a body's end): the head is read again on its own.
    head = given;
    return analyseHead(page, head);
  }
  return head.hasHtml;
}

}  // namespace sarnavel
