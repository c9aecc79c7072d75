// What a charset label names: the value of a page's content-type meta or <meta charset>, of
// a sheet's @charset rule, or of the charset attribute of the element that loads a file.
//
// Labels are read as browsers read them (the Encoding Standard's label lists for the
// encodings this program reads), compared without letter case and without surrounding white
// space or quotes. Every label of Windows code page 1252 counts as Latin-1: "latin1" and
// "iso-8859-1", but also "windows-1252", "us-ascii", "l1" and the rest, since browsers read
// them all the same way. An unknown or empty label names nothing.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "text/source_encoding.h"

namespace sarnavel {

std::optional<SourceEncoding> encodingOfLabel(std::string_view label);

// Every label known, in lowercase, grouped by encoding (the command line lists them).
struct CharsetLabel {
  std::string_view label;
  SourceEncoding encoding;
};
std::span<const CharsetLabel> charsetLabels();

// Whether the label names Windows code page 1252.
bool isLatin1Label(std::string_view label);

}  // namespace sarnavel
