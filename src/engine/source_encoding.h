// The encodings a document can be read in, as the source-encoding decision names them (see
// encoding_decision.h). The converter itself reads only the Japanese byte encodings
// (InputEncoding, encoding_detection.h); UTF-8, UTF-16 and Latin-1 documents are brought into
// code page 932 with escapes first.
#pragma once

#include <optional>

#include "engine/encoding_detection.h"
#include "text/target_encoding.h"

namespace sarnavel {

enum class SourceEncoding { Ascii, ShiftJis, EucJp, Iso2022Jp, Utf8, Latin1, Utf16 };

// The encoding a file written in `target` is in.
inline SourceEncoding sourceEncodingOf(TargetEncoding target) {
  switch (target) {
    case TargetEncoding::ShiftJis: return SourceEncoding::ShiftJis;
    case TargetEncoding::EucJp: return SourceEncoding::EucJp;
    case TargetEncoding::Iso2022Jp: return SourceEncoding::Iso2022Jp;
    case TargetEncoding::Utf8: break;
  }
  return SourceEncoding::Utf8;
}

// The target that writes a document in the encoding; none for ASCII, UTF-16 and Latin-1.
inline std::optional<TargetEncoding> targetEncodingOf(SourceEncoding encoding) {
  switch (encoding) {
    case SourceEncoding::ShiftJis: return TargetEncoding::ShiftJis;
    case SourceEncoding::EucJp: return TargetEncoding::EucJp;
    case SourceEncoding::Iso2022Jp: return TargetEncoding::Iso2022Jp;
    case SourceEncoding::Utf8: return TargetEncoding::Utf8;
    default: return std::nullopt;
  }
}

// The converter's name for a Japanese byte encoding; none for UTF-8, UTF-16 and Latin-1.
inline std::optional<InputEncoding> converterInputOf(SourceEncoding encoding) {
  switch (encoding) {
    case SourceEncoding::Ascii: return InputEncoding::Ascii;
    case SourceEncoding::ShiftJis: return InputEncoding::ShiftJis;
    case SourceEncoding::EucJp: return InputEncoding::EucJp;
    case SourceEncoding::Iso2022Jp: return InputEncoding::Iso2022Jp;
    default: return std::nullopt;
  }
}

}  // namespace sarnavel
