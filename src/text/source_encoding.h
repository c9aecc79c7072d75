// The encodings a document can be read in, as the source-encoding decision names them
// (engine/encoding_decision.h), and how they pair with the targets. Vocabulary shared by the
// engine, which decides and converts, and the store, whose memory of a run keeps what each file
// was written in.
#pragma once

#include <optional>

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

}  // namespace sarnavel
