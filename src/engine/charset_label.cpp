#include "engine/charset_label.h"

#include <string>

#include "html/tag_scanner.h"

namespace sarnavel {

std::span<const CharsetLabel> charsetLabels() {
  static constexpr CharsetLabel kLabels[] = {
      {"csshiftjis", SourceEncoding::ShiftJis},
      {"ms932", SourceEncoding::ShiftJis},
      {"ms_kanji", SourceEncoding::ShiftJis},
      {"shift-jis", SourceEncoding::ShiftJis},
      {"shift_jis", SourceEncoding::ShiftJis},
      {"sjis", SourceEncoding::ShiftJis},
      {"windows-31j", SourceEncoding::ShiftJis},
      {"x-sjis", SourceEncoding::ShiftJis},
      {"cseucpkdfmtjapanese", SourceEncoding::EucJp},
      {"euc-jp", SourceEncoding::EucJp},
      {"x-euc-jp", SourceEncoding::EucJp},
      {"csiso2022jp", SourceEncoding::Iso2022Jp},
      {"iso-2022-jp", SourceEncoding::Iso2022Jp},
      {"unicode-1-1-utf-8", SourceEncoding::Utf8},
      {"unicode11utf8", SourceEncoding::Utf8},
      {"unicode20utf8", SourceEncoding::Utf8},
      {"utf-8", SourceEncoding::Utf8},
      {"utf8", SourceEncoding::Utf8},
      {"x-unicode20utf8", SourceEncoding::Utf8},
      {"csunicode", SourceEncoding::Utf16},
      {"iso-10646-ucs-2", SourceEncoding::Utf16},
      {"ucs-2", SourceEncoding::Utf16},
      {"unicode", SourceEncoding::Utf16},
      {"unicodefeff", SourceEncoding::Utf16},
      {"unicodefffe", SourceEncoding::Utf16},
      {"utf-16", SourceEncoding::Utf16},
      {"utf-16be", SourceEncoding::Utf16},
      {"utf-16le", SourceEncoding::Utf16},
      {"ansi_x3.4-1968", SourceEncoding::Latin1},
      {"ascii", SourceEncoding::Latin1},
      {"cp1252", SourceEncoding::Latin1},
      {"cp819", SourceEncoding::Latin1},
      {"csisolatin1", SourceEncoding::Latin1},
      {"ibm819", SourceEncoding::Latin1},
      {"iso-8859-1", SourceEncoding::Latin1},
      {"iso-ir-100", SourceEncoding::Latin1},
      {"iso8859-1", SourceEncoding::Latin1},
      {"iso88591", SourceEncoding::Latin1},
      {"iso_8859-1", SourceEncoding::Latin1},
      {"iso_8859-1:1987", SourceEncoding::Latin1},
      {"l1", SourceEncoding::Latin1},
      {"latin1", SourceEncoding::Latin1},
      {"us-ascii", SourceEncoding::Latin1},
      {"windows-1252", SourceEncoding::Latin1},
      {"x-cp1252", SourceEncoding::Latin1},
  };
  return kLabels;
}

std::optional<SourceEncoding> encodingOfLabel(std::string_view label) {
  auto isTrimmed = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '"' || c == '\'';
  };
  while (!label.empty() && isTrimmed(label.front())) label.remove_prefix(1);
  while (!label.empty() && isTrimmed(label.back())) label.remove_suffix(1);
  std::string lower = lowercaseCopy(label);
  for (const CharsetLabel& known : charsetLabels()) {
    if (lower == known.label) return known.encoding;
  }
  return std::nullopt;
}

bool isLatin1Label(std::string_view label) { return encodingOfLabel(label) == SourceEncoding::Latin1; }

}  // namespace sarnavel
