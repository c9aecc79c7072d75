// Things in a page whose meaning changes with the page's encoding, found during the page's one
// walk (page_walk.h) so that no page is walked again for them:
//  - a `form` without `accept-charset`: the browser submits the form in the page's encoding;
//  - an `a`, `area` or `form` whose `href` or `action` has a query string holding non-ASCII
//    text: the browser percent-encodes it in the page's encoding, so the server receives other
//    bytes once the page is in another one.
// Only tags of these names are looked at; their attributes are read here (the walk reads only
// the tags its other readers need), and an `a` or `area` only when its text holds a `?`
// followed by a byte of 0x80 or more or an escape byte (ISO-2022-JP).
//
// Marks carry the byte offset of the tag in the page as walked and the raw value (the form's
// action, the URL), in the page's encoding; pageMarkPosition and pageMarkText turn them into
// a line and column and UTF-8 for whoever tells the user.
//
// Contract: reads only; a mark is appended per tag at most; linear in the tag's length.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "html/tag_scanner.h"
#include "text/target_encoding.h"
#include "text/text_position.h"

namespace sarnavel {

enum class PageMarkKind { FormWithoutAcceptCharset, NonAsciiQuery };

struct PageMark {
  PageMarkKind kind = PageMarkKind::FormWithoutAcceptCharset;
  std::size_t tagStart = 0;  // offset of the `<` in the walked page
  std::string value;         // the action or URL as written (may be empty for a form)
};

// Looks at one tag of the walk and appends what it finds.
void readPageMarkTag(const ScannedTag& tag, std::vector<PageMark>& marks);

// Line and column of each mark's tag in `page` (text in `encoding`), in one forward walk; the
// marks must be in document order, as the walk appends them.
std::vector<TextPosition> pageMarkPositions(std::string_view page, TargetEncoding encoding,
                                            const std::vector<PageMark>& marks);

// A mark's value as UTF-8 (bytes that form no character become U+FFFD).
std::string pageMarkText(const PageMark& mark, TargetEncoding encoding);

}  // namespace sarnavel
