// The kind of a file, told from the extension of its name.
//
// classifyExtension looks at the text of a path only: it touches no file, follows no link and
// never fails. The extension is the text after the last '.' of the last path component (the
// text after the last '/'); a dot in a folder name does not count, and a name ending in a dot
// has an empty extension. Extensions are compared without regard to ASCII letter case.
// Paths are bytes; in UTF-8 and in code page 932 alike no byte of a multi-byte character
// equals '/' or '.', so the search needs no knowledge of the encoding.
//
// Pages, style sheets and scripts are converted by default; the other pages, feeds and texts
// when the user adds their kinds (kind_set.h). VBScript files, images and ASP.NET pages are
// told apart from other files but never converted; a page of a kind not taken (which may load
// the sheets and scripts converted, see untaken_pages.h) is told apart from other files.
//
// Thread safety: pure functions, callable from any thread.
#pragma once

#include <string_view>

#include "html/code_islands.h"

namespace sarnavel {

enum class FileKind : int {
  Other = 0,         // anything else, or no extension
  Html = 1,          // html, htm
  JavaScript = 2,    // js
  Css = 3,           // css
  VbScript = 4,      // vbs
  Image = 5,         // jpg, jpeg, jpe, jfif, gif, png, tiff, tif, bmp, dib
  OtherPage = 6,     // aspx: pages this program never takes
  Xhtml = 7,         // xhtml, xht
  SsiPage = 8,       // shtml, shtm, stm: pages a server fills in (server-side includes)
  PhpTemplate = 9,   // php, phtml, inc, tpl
  AspTemplate = 10,  // asp
  JspTemplate = 11,  // jsp
  Xml = 12,          // xml, rss, rdf, atom: feeds and other XML
  PlainText = 13,    // txt, csv, tsv
};

// Of a path's text, so that a name from a listing or a path kept as text is not made into a
// std::filesystem::path (split into its parts) to be looked at.
FileKind classifyExtension(std::string_view path);

// True for the kinds taken by default (kind_set.h): Html, JavaScript, Css.
bool isAcceptedKind(FileKind kind);

// True for the kinds of page: a browser reads it as HTML and it may load sheets and scripts
// (Html, Xhtml, SsiPage, the templates and OtherPage).
bool isPageKind(FileKind kind);

// True for the server templates: PhpTemplate, AspTemplate, JspTemplate.
bool isTemplateKind(FileKind kind);

// How a template of the kind writes its code (html/code_islands.h); None for other kinds.
IslandSyntax islandSyntaxOf(FileKind kind);

}  // namespace sarnavel
