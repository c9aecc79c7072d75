// Windows code page 1252 (the Windows variant of Latin-1) decoded to UTF-16.
//
// Used for documents that declare themselves Latin-1. The five bytes the code page leaves
// undefined (81, 8D, 8F, 90, 9D) become the control characters of the same value, as
// Windows and browsers read them. Zero bytes are kept.
#pragma once

#include <string>
#include <string_view>

namespace sarnavel {

// The unit of one byte.
char16_t cp1252Unit(unsigned char byte);

// Every byte becomes the one unit code page 1252 gives it.
std::u16string decodeCp1252(std::string_view bytes);

// As decodeCp1252, then canonically decomposed: a letter with a diacritic becomes its base
// letter followed by its combining marks (U+00E9 becomes 'e', U+0301).
std::u16string decodeCp1252Decomposed(std::string_view bytes);

// The canonical decomposition of one byte's character (one to three units). No character of
// the code page is a combining mark, so a text decomposed byte by byte is the text decomposed
// whole (decodeCp1252Decomposed).
std::u16string_view cp1252Decomposed(unsigned char byte);

}  // namespace sarnavel
