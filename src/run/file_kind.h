// The kind of a file, told from the extension of its name.
//
// classifyExtension looks at the text of a path only: it touches no file, follows no link and
// never fails. The extension is the text after the last '.' of the last path component (the
// text after the last '/'); a dot in a folder name does not count, and a name ending in a dot
// has an empty extension. Extensions are compared without regard to ASCII letter case.
// Paths are bytes; in UTF-8 and in code page 932 alike no byte of a multi-byte character
// equals '/' or '.', so the search needs no knowledge of the encoding.
//
// Only pages, style sheets and scripts are converted (isAcceptedKind); VBScript files, images
// and the pages of other kinds (which may load the sheets and scripts converted, see
// untaken_pages.h) are told apart from other files but not converted.
//
// Thread safety: pure functions, callable from any thread.
#pragma once

#include <string_view>

namespace sarnavel {

enum class FileKind : int {
  Other = 0,       // anything else, or no extension
  Html = 1,        // html, htm
  JavaScript = 2,  // js
  Css = 3,         // css
  VbScript = 4,    // vbs
  Image = 5,       // jpg, jpeg, jpe, jfif, gif, png, tiff, tif, bmp, dib
  OtherPage = 6,   // xhtml, xht, shtml, shtm, php, asp, aspx, jsp: pages this program does not take
};

// Of a path's text, so that a name from a listing or a path kept as text is not made into a
// std::filesystem::path (split into its parts) to be looked at.
FileKind classifyExtension(std::string_view path);

// True for the kinds that are taken into the file list and converted: Html, JavaScript, Css.
bool isAcceptedKind(FileKind kind);

}  // namespace sarnavel
