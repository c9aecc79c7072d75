// Changing the one value a conversion must change in a tag, and no other byte of it.
//
// A page's tags name its encoding and the encodings of the files it loads; a conversion has to
// rewrite those names, and a migration's diff should show that and nothing else: every other
// byte of the tag (the letter case of its names, its quotes, the order of its attributes, its
// line breaks, a closing slash) stays as written.
//
//  - withAttributeValue: the first attribute of the name (the one browsers read) takes the value
//    where it stands, between its quotes when it has them; one written without a value gets
//    `="value"`. A tag without the attribute gets ` name="value"` right after its last
//    attribute, so that what stood before the tag's end (blanks, a line break, the `/` of a
//    self-closing tag) still does. A duplicate further on is left as written.
//  - withCharsetInContent: a content-type meta's `content` names the label where it named one
//    (head_analysis.h, charsetLabelIn); a content that names none gets "; charset=label" at its
//    end, a meta without `content` gets ` content="text/html; charset=label"`.
//  - withInstructionAttributeValue: the same for a pseudo-attribute of a processing
//    instruction (`<?xml-stylesheet href="a.css"?>`), added before its closing `?>`.
// The value is written as given and must need no quoting (a charset name).
//
// Contract: `tag` is a whole tag of a page, from its `<` to its `>` (TagSpan), in the page's
// encoding (ISO-2022-JP included: places are found outside its runs). Pure.
#pragma once

#include <string>
#include <string_view>

namespace sarnavel {

std::string withAttributeValue(std::string_view tag, std::string_view loweredName, std::string_view value);

std::string withInstructionAttributeValue(std::string_view instruction, std::string_view loweredName,
                                          std::string_view value);

std::string withCharsetInContent(std::string_view tag, std::string_view label);

}  // namespace sarnavel
