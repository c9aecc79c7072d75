// Head analysis: what a page declares about its encoding and where its head landmarks are.
//
// analyseHead walks the page once with TagWalk and fills a PARSE1INFO: whether the page has an
// `html` tag, the offsets of the `head`, `/head`, `title`, `/title` and content-type `meta`
// tags, the charset that meta names and the page's default script type. Comments and script
// bodies are skipped (so are style bodies, which browsers read as text), and nothing after the
// first `body` start tag is examined; of each tag before it the last occurrence wins, inside
// the head or not. It only reads the page.
//
// Besides the last content-type meta (the fields the placement of the new declaration works
// with), every declaring meta is listed with the charset it names as browsers read it: the
// value of `charset`, or of the first "charset" (any case) "=" in a content-type meta's
// content, quoted or up to a ';' or a blank. Browsers obey the first of them.
//
// Contract: at its start analyseHead resets the flags (false),
// contentScriptType ("text/javascript"), doctypeEnd and the list of declaring metas, but not
// `charset` nor any other offset: a field that this page does not set keeps the value the
// record held, so a second analysis of the converted text inherits from the first. An offset
// means something only when its tag was seen; the close offsets have no flag and keep stale
// values when the end tag is missing.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "html/tag_scanner.h"

namespace sarnavel {

struct PARSE1INFO {
  std::string charset;  // lower-cased text after "charset=" of the last content-type meta that had one
  std::string contentScriptType = "text/javascript";  // lower-cased content of the last Content-Script-Type meta
  bool hasHtml = false;
  bool hasHead = false;
  std::size_t headStart = 0;       // tagStart of the last `head`
  std::size_t headEnd = 0;         // tagEnd of the last `head`
  std::size_t headCloseStart = 0;  // tagStart of the last `/head`
  std::size_t headCloseEnd = 0;    // tagEnd of the last `/head`
  bool hasContentTypeMeta = false;
  std::size_t metaStart = 0;  // tagStart of the last content-type meta
  std::size_t metaEnd = 0;    // tagEnd of the last content-type meta
  bool hasTitle = false;
  std::size_t titleStart = 0;     // tagStart of the last `title`
  std::size_t titleCloseEnd = 0;  // tagEnd of the last `/title`
  std::size_t htmlEnd = 0;        // tagEnd of the last `html` start tag
  std::size_t doctypeEnd = 0;     // tagEnd of the first `<!DOCTYPE ...>`; 0 when there is none
  // Every meta that declares the encoding before the first `body`, in document order: the
  // content-type metas (http-equiv) and the HTML5 form, <meta charset="...">. Reset by each
  // analysis.
  struct MetaDeclaration {
    bool contentType = false;  // http-equiv content-type; else <meta charset>
    std::size_t tagStart = 0;
    std::size_t tagEnd = 0;
    std::string label;  // the charset it names, as browsers read it (empty when none)
  };
  std::vector<MetaDeclaration> metaDeclarations;

  // The label browsers obey: that of the first meta that names a charset; empty when none does.
  std::string_view declaredLabel() const {
    for (const MetaDeclaration& meta : metaDeclarations) {
      if (!meta.label.empty()) return meta.label;
    }
    return {};
  }
};

// Where the charset a content-type meta's `content` names stands in it, as browsers find it:
// after the first "charset" (any case), blanks, "=" and blanks, in quotes or up to a ';' or a
// blank, none of them inside an ISO-2022-JP run. None when there is no "charset=". A quote
// never closed makes no label for browsers: the place is then from that quote to the end.
struct LabelPlace {
  std::size_t start = 0;
  std::size_t end = 0;
  bool readable = true;  // false for a quote never closed
};
std::optional<LabelPlace> charsetLabelIn(std::string_view content);

// Fills `info` from `page` as described above and returns `info.hasHtml`.
bool analyseHead(std::string_view page, PARSE1INFO& info);

// analyseHead's declaredLabel(), found by a walk that ends at the first meta naming a charset:
// the metas after it cannot change which one names the label.
std::string declaredLabelOf(std::string_view page);

// The same one tag at a time, for a walk that serves other readers too (page_walk.h): what
// resetHead clears at the start, and what the walk is to do after each tag.
enum class HeadStep { Go, SkipScriptBody, SkipStyleBody, Done };
void resetHead(PARSE1INFO& info);
HeadStep readHeadTag(const ScannedTag& tag, PARSE1INFO& info);

}  // namespace sarnavel
