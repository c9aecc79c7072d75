// The tag walk and the head analysis over arbitrary page bytes.
//
// Properties: every TagSpan lies inside the text, starts at a `<` and ends just after a `>`,
// and its text views the bytes between them; tags come in strictly forward order and never
// start or end inside an ISO-2022-JP run; names and attribute keys are lower case; a tag whose
// charset is set (tag_edits.h) reads back with every other attribute as it was; script bodies
// are skipped forward only; the
// head analysis reports only offsets of tags that exist, and a record analysed a second time
// keeps exactly the fields its contract lets it keep; a walk that hands over the named kinds
// only gives the full walk's tags less those of no kind.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "html/head_analysis.h"
#include "html/iso2022_runs.h"
#include "html/tag_edits.h"
#include "html/tag_scanner.h"

namespace {

using namespace sarnavel;
using sarnavel::fuzz::hexOf;

// For each byte of the text, whether it lies inside an ISO-2022-JP run or is part of an escape
// sequence (which holds no `<` or `>`, and names its set by a capital letter).
std::vector<bool> runMap(std::string_view text) {
  std::vector<bool> inside(text.size(), false);
  bool inRun = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t length = 0;
    const RunShift shift = text[i] == '\x1b' ? runShiftAt(text, i, length) : RunShift::None;
    if (shift != RunShift::None) {
      inRun = shift == RunShift::Opens;
      std::fill_n(inside.begin() + static_cast<std::ptrdiff_t>(i), length, true);
      i += length - 1;
    } else {
      inside[i] = inRun;
    }
  }
  return inside;
}

// No A-Z outside the runs of `text` and their escape sequences (runs hold halves of
// characters, not letters), but right after a byte from 0x80, where it may be the second byte
// of a Shift_JIS character.
bool lowerCaseOutsideRuns(std::string_view text) {
  const std::vector<bool> inRun = runMap(text);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool afterHighByte = i > 0 && static_cast<unsigned char>(text[i - 1]) >= 0x80;
    if (!inRun[i] && !afterHighByte && text[i] >= 'A' && text[i] <= 'Z') return false;
  }
  return true;
}

bool lowerCaseOnly(std::string_view text) {
  for (char c : text) {
    if (c >= 'A' && c <= 'Z') return false;
  }
  return true;
}

bool plainName(std::string_view name) {
  if (name.empty() || name[0] < 'a' || name[0] > 'z') return false;
  for (char c : name) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

void checkSpan(std::string_view page, const TagSpan& span, const std::vector<bool>& inRun) {
  const std::string where =
      "page " + hexOf(page) + " tag at " + std::to_string(span.tagStart) + ".." + std::to_string(span.tagEnd);
  FUZZ_CHECK(span.tagStart < span.tagEnd && span.tagEnd <= page.size(), where);
  FUZZ_CHECK(page[span.tagStart] == '<' && page[span.tagEnd - 1] == '>', where);
  const char* first = page.data() + span.tagStart + 1;
  const char* last = page.data() + span.tagEnd - 1;  // the `>`
  FUZZ_CHECK(span.text.data() >= first && span.text.data() + span.text.size() <= last, where);
  // The text is everything between `<` and `>`, less a final `/` when self-closing.
  FUZZ_CHECK(static_cast<std::size_t>(last - first) == span.text.size() + (span.selfClosing ? 1 : 0), where);
  if (span.selfClosing) FUZZ_CHECK(*(last - 1) == '/', where);
  FUZZ_CHECK(!inRun[span.tagStart] && !inRun[span.tagEnd - 1], where + " inside an ISO-2022-JP run");
}

// A tag whose charset is set reads back with that charset and every other attribute as it was,
// and setting it again changes no byte.
void checkCharsetEdit(std::string_view page, const ScannedTag& tag) {
  if (!plainName(tag.name) || tag.span.text.find('\0') != std::string_view::npos) return;
  const std::string_view before = page.substr(tag.span.tagStart, tag.span.tagEnd - tag.span.tagStart);
  const std::string after = withAttributeValue(before, "charset", "UTF-8");
  const std::optional<TagSpan> span = findNextTag(after, 0);
  FUZZ_CHECK(span && span->tagStart == 0 && span->tagEnd == after.size(), "edited " + hexOf(after));
  std::string name;
  AttributeMap attributes;
  parseTagText(span->text, name, attributes);
  AttributeMap expected = tag.attributes;
  expected["charset"] = "UTF-8";
  FUZZ_CHECK(name == tag.name && attributes == expected && span->selfClosing == tag.span.selfClosing,
             hexOf(before) + " edited as " + hexOf(after));
  FUZZ_CHECK(withAttributeValue(after, "charset", "UTF-8") == after, "edited twice " + hexOf(after));
}

void walkPage(std::string_view page, bool skipScripts) {
  const std::vector<bool> inRun = runMap(page);
  TagWalk walk(page);
  ScannedTag tag;
  std::size_t resume = 0;
  std::size_t count = 0;
  while (walk.next(tag)) {
    FUZZ_CHECK(++count <= page.size(), "more tags than bytes in " + hexOf(page));
    checkSpan(page, tag.span, inRun);
    FUZZ_CHECK(tag.span.tagStart >= resume,
               "walk went back to " + std::to_string(tag.span.tagStart) + " in " + hexOf(page));
    FUZZ_CHECK(!tag.name.empty() && tag.name != "!--",
               "walk handed over a nameless tag or comment opener in " + hexOf(page));
    FUZZ_CHECK(lowerCaseOnly(tag.name), "name " + hexOf(tag.name));
    for (const auto& [key, value] : tag.attributes) {
      // A key is whatever runs to white space, `/` or `=` ("xml:lang", "data-1", "a.b"): it is
      // only ever lower-cased, outside runs and not right after a byte from 0x80.
      FUZZ_CHECK(!key.empty() && lowerCaseOutsideRuns(key), "attribute key " + hexOf(key) + " in " + hexOf(page));
    }
    checkCharsetEdit(page, tag);
    resume = tag.span.tagEnd;
    if (skipScripts && tag.name == "script") {
      std::size_t after = skipScriptBody(page, tag.span);
      FUZZ_CHECK(after >= tag.span.tagEnd && after <= page.size(), "script body skip to " + std::to_string(after));
      walk.skipScriptBody(tag.span);
      resume = after;
    }
  }
}

// A walk that hands over the named kinds only gives the tags of the full walk less those of no
// kind: the same starts, names and kinds, in order. It passes over the others by its own way
// (the masks of each 64 bytes, until an escape byte).
void checkNamedWalk(std::string_view page) {
  std::vector<std::pair<std::size_t, TagKind>> named;
  TagWalk full(page);
  ScannedTag tag;
  while (full.next(tag)) {
    if (tag.name.kind() != TagKind::Other) named.emplace_back(tag.span.tagStart, tag.name.kind());
  }
  TagWalk only(page, TagKinds::every(), TagKinds::named());
  std::size_t k = 0;
  while (only.next(tag)) {
    FUZZ_CHECK(k < named.size(), "the named walk found more tags in " + hexOf(page));
    FUZZ_CHECK(tag.span.tagStart == named[k].first && tag.name.kind() == named[k].second,
               "the named walk's tag " + std::to_string(k) + " differs in " + hexOf(page));
    ++k;
  }
  FUZZ_CHECK(k == named.size(), "the named walk missed tags in " + hexOf(page));
}

void checkHead(std::string_view page) {
  PARSE1INFO fresh;
  const bool hasHtml = analyseHead(page, fresh);
  const std::string where = "page " + hexOf(page);
  FUZZ_CHECK(hasHtml == fresh.hasHtml, where);
  auto tagAt = [&](std::size_t start, std::size_t end) {
    return start < end && end <= page.size() && page[start] == '<' && page[end - 1] == '>';
  };
  if (fresh.hasHead) FUZZ_CHECK(tagAt(fresh.headStart, fresh.headEnd), where + " head");
  if (fresh.hasContentTypeMeta) FUZZ_CHECK(tagAt(fresh.metaStart, fresh.metaEnd), where + " meta");
  if (fresh.hasTitle) FUZZ_CHECK(fresh.titleStart < page.size() && page[fresh.titleStart] == '<', where + " title");
  FUZZ_CHECK(lowerCaseOnly(fresh.charset) && lowerCaseOnly(fresh.contentScriptType), where);

  // A record that held another page's analysis: flags and script type are reset, the charset
  // and the offsets are kept where this page sets nothing.
  PARSE1INFO reused;
  reused.charset = "stale";
  reused.contentScriptType = "text/stale";
  reused.hasHtml = reused.hasHead = reused.hasContentTypeMeta = reused.hasTitle = true;
  analyseHead(page, reused);
  FUZZ_CHECK(reused.hasHtml == fresh.hasHtml && reused.hasHead == fresh.hasHead && reused.hasTitle == fresh.hasTitle &&
                 reused.hasContentTypeMeta == fresh.hasContentTypeMeta,
             where + " flags of a reused record");
  FUZZ_CHECK(reused.contentScriptType == fresh.contentScriptType, where + " script type of a reused record");
  FUZZ_CHECK(reused.charset == fresh.charset || (fresh.charset.empty() && reused.charset == "stale"),
             where + " charset of a reused record: " + reused.charset);
  if (fresh.hasHead) FUZZ_CHECK(reused.headStart == fresh.headStart && reused.headEnd == fresh.headEnd, where);
  if (fresh.hasContentTypeMeta)
    FUZZ_CHECK(reused.metaStart == fresh.metaStart && reused.metaEnd == fresh.metaEnd, where);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view page(reinterpret_cast<const char*>(data), size);
  walkPage(page, false);
  walkPage(page, true);
  checkNamedWalk(page);

  // findNextTag from every offset a walk could resume at.
  std::size_t start = 0;
  while (auto span = findNextTag(page, start)) {
    FUZZ_CHECK(span->tagStart >= start, "findNextTag went back in " + hexOf(page));
    start = span->tagEnd;
  }
  checkHead(page);
  return 0;
}
