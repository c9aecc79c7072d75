// Reads text in one of the target encodings into UTF-16, the way browsers read it.
//
// Used where a text's characters matter rather than its bytes: the file names a page refers
// to. Shift_JIS and EUC-JP share the code page 932 table (EUC-JP rows are JIS rows, its 8F
// lead byte JIS X 0212); ISO-2022-JP knows ESC ( B, ESC ( J, ESC ( I, ESC $ @ and ESC $ B.
// Bytes that do not form a character become U+FFFD; nothing fails.
#pragma once

#include <string>
#include <string_view>

#include "text/target_encoding.h"

namespace sarnavel {

std::u16string decodeToWide(std::string_view bytes, TargetEncoding encoding);

}  // namespace sarnavel
