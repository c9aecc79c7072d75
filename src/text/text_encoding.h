// The byte encodings a document can be in once it has been converted.
//
// The values are the indices of the target-encoding table: 0 Shift_JIS, 1 EUC-JP,
// 2 ISO-2022-JP, 3 UTF-8. Shift_JIS here always means Windows code page 932.
#pragma once

namespace sarnavel {

enum class TextEncoding : int { ShiftJis = 0, EucJp = 1, Iso2022Jp = 2, Utf8 = 3 };

}  // namespace sarnavel
