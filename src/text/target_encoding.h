// The encodings a document can be written in: the target of a conversion.
//
// The numbers are the rows of the target table (engine/target_options.h) and the indices the
// shells offer, so they are fixed: 0 Shift_JIS, 1 EUC-JP, 2 ISO-2022-JP, 3 UTF-8. Shift_JIS
// here always means Windows code page 932. A number outside 0 to 3 is no target
// (targetEncodingOf says so); every function that takes a TargetEncoding may still be handed
// one made by a cast, and treats it as documented where it matters.
#pragma once

#include <optional>

namespace sarnavel {

enum class TargetEncoding : int { ShiftJis = 0, EucJp = 1, Iso2022Jp = 2, Utf8 = 3 };

// The target of an index 0 to 3; none for any other number.
inline std::optional<TargetEncoding> targetEncodingOf(int index) {
  if (index < 0 || index > 3) return std::nullopt;
  return static_cast<TargetEncoding>(index);
}

// Whether the value is one of the four targets (a cast can make others).
inline bool isTargetEncoding(TargetEncoding encoding) {
  return targetEncodingOf(static_cast<int>(encoding)).has_value();
}

}  // namespace sarnavel
