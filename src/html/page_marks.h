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
// action, the URL), in the page's encoding; pageMarkText turns the value into UTF-8 for whoever
// tells the user. They are handed over one by one as the walk meets them, so that a page of a
// hundred thousand forms leaves what its reader keeps of them, not a list of them all.
//
// Contract: reads only; a tag gives up to one mark of each kind; linear in the tag's length.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "html/tag_scanner.h"
#include "text/target_encoding.h"

namespace sarnavel {

enum class PageMarkKind { FormWithoutAcceptCharset, NonAsciiQuery };

struct PageMark {
  PageMarkKind kind = PageMarkKind::FormWithoutAcceptCharset;
  std::size_t tagStart = 0;  // offset of the `<` in the walked page
  std::string value;         // the action or URL as written (may be empty for a form)
};

// Takes the marks in document order.
using PageMarkSink = std::function<void(PageMark&&)>;

// Looks at one tag of the walk and hands over what it finds.
void readPageMarkTag(const ScannedTag& tag, const PageMarkSink& marks);

// A mark's value as UTF-8 (bytes that form no character become U+FFFD).
std::string pageMarkText(const PageMark& mark, TargetEncoding encoding);

}  // namespace sarnavel
