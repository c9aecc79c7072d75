// Reads text in one of the target encodings into UTF-16, the way browsers read it, and writes
// UTF-16 in Shift_JIS or EUC-JP.
//
// Used where a text's characters matter rather than its bytes: the file names a page refers
// to, and a name that an old site's files carry in its legacy bytes. Shift_JIS and EUC-JP share the code page 932 table (EUC-JP rows are JIS rows, its 8F
// lead byte JIS X 0212); ISO-2022-JP knows ESC ( B, ESC ( J, ESC ( I, ESC $ @ and ESC $ B.
// Bytes that do not form a character become U+FFFD; nothing fails.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "text/target_encoding.h"

namespace sarnavel {

std::u16string decodeToWide(std::string_view bytes, TargetEncoding encoding);

// The bytes of `text` in Shift_JIS (code page 932, the codes Windows writes) or EUC-JP (JIS X
// 0208 and half-width katakana); none when a character has no place there, or for another
// encoding.
std::optional<std::string> encodeFromWide(std::u16string_view text, TargetEncoding encoding);

}  // namespace sarnavel
