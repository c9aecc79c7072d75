// The encoding declarations of a converted page: every one names the target, and the one the
// browser obeys stands where it looks.
//
// A browser obeys the first declaring meta it finds (content-type or <meta charset>), looking
// for it in the first 1024 bytes, and reads an XML declaration's encoding too; it does so
// whether or not the page has an `html` tag. So after a conversion:
//  - every declaring meta names the target, its tag changed by the label alone (html/tag_edits.h:
//    the `charset` value of a <meta charset>, the label in a content-type meta's `content`),
//    every other byte as written;
//  - the content-type meta the head analysis reports (the last one before the body) is moved
//    before the title when it stood after the title's start tag and no declaration comes before
//    the title; so is a <meta charset> that is the first declaration and stands after the title
//    when no content-type meta moves. A moved meta keeps its bytes (the label aside);
//  - the encoding of an XML declaration at the very start names the target;
//  - a page with an `html` tag and no declaring meta gets one:
//      <meta http-equiv="Content-Type" content="text/html; charset=NAME" />
//    right after the head start tag (or the `html` one when there is no head), before the title
//    when the title starts earlier. A page without an `html` tag and without a declaring meta
//    gets the same when its encoding changes, or when a byte-order mark told it (the result has
//    none): a browser could not tell it from the bytes. It goes before the page's first content
//    as browsers take it: right after the doctype when it has one, else after an XML
//    declaration at its start, else at its very start;
//  - when, after all the page's edits, no declaration ends within the first 1024 bytes, the
//    first one is moved to the earliest place that brings it there: after the head start tag,
//    the `html` start tag, the doctype, the XML declaration, or the very start; a meta charset
//    whose other attributes make it too long to end there wherever it stands is left in place,
//    and the content-type meta is added at that place instead.
// Converting the result again changes nothing.
//
// Contract: reads the converted page and the analysis of it; appends edits (page_edits.h) and
// the record's declarations (document_result.h), in document order, the XML declaration first.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/document_result.h"
#include "engine/page_edits.h"
#include "html/head_analysis.h"

namespace sarnavel {

// Which edit writes which declaration of the record.
struct WrittenDeclaration {
  std::size_t edit = 0;
  std::size_t declaration = 0;
};

// What the declarations are to say: the target's name, and whether a page without `html` needs
// one (its encoding changes, or its byte-order mark, which told it, is dropped).
struct DeclaredTarget {
  std::string charsetName;
  bool encodingChanges = false;
  // A template or an included fragment: each declaration names the target where it stands,
  // none is moved or added (a byte before a template's first code would be sent before its
  // headers; a fragment's page declares for it).
  bool inPlace = false;
};

// An XML page (an XHTML page, a feed) that an XML parser reads knows its encoding from its XML
// declaration alone, and is UTF-8 without one. Where the target is another, call this first:
// a page without an XML declaration gets `<?xml version="1.0" encoding="NAME"?>` at its very
// start, on a line of its own ended as its first line is; a declaration without an encoding
// gets ` encoding="NAME"` after its version. One that has an encoding is declarationEdits'.
void xmlDeclarationEdits(std::string_view page, const std::string& charsetName, std::vector<PageEdit>& edits,
                         std::vector<Declaration>& declarations);

// An XML declaration's encoding, when it has one, made to name the target (declarationEdits
// does it first).
void xmlEncodingEdit(std::string_view page, const std::string& charsetName, std::vector<PageEdit>& edits,
                     std::vector<Declaration>& declarations);

std::vector<WrittenDeclaration> declarationEdits(std::string_view page, const PARSE1INFO& info,
                                                 const DeclaredTarget& target, std::vector<PageEdit>& edits,
                                                 std::vector<Declaration>& declarations);

// A converted page and its head analysis.
struct AnalysedPage {
  std::string_view text;
  const PARSE1INFO& info;
};

// After every other edit of the page is known: moves the first written declaration into the
// first 1024 bytes when none ends there (or adds a short one before it when it is too long).
void keepDeclarationInPrescan(const AnalysedPage& page, const std::string& charsetName,
                              const std::vector<WrittenDeclaration>& written, std::vector<PageEdit>& edits,
                              std::vector<Declaration>& declarations);

// The end of an XML declaration at the very start of the page (just after its "?>"); 0 when
// there is none.
std::size_t xmlDeclarationEnd(std::string_view page);

// The encoding an XML declaration at the very start of the page names (the value of its
// `encoding`, in either quotes, blanks around the '='); nothing when there is none. The
// conversion records it and the check mode lists it, both by this reading.
std::optional<std::string> xmlDeclarationEncoding(std::string_view page);

}  // namespace sarnavel
