// Valid Shift_JIS (Windows code page 932) converted to UTF-8 against ICU's windows-31j decoder.
//
// The input is turned into a valid code page 932 text: each byte below 0x80 (but ESC, which
// could open an ISO-2022-JP sequence) and each half-width katakana byte is taken as it is, and
// a lead byte with the byte after it is taken when ICU decodes the pair to a character; other
// bytes are dropped. Property: when detection reads the text as Shift_JIS (a text that is also
// valid EUC-JP may be read as EUC-JP by design), the converter's UTF-8 is byte for byte ICU's
// reading, with the two documented corrections (bytes below 0x80 are themselves; 0x80 is
// U+0080, which never occurs here). A script conversion of the same text, which adds nothing,
// gives the same bytes unless the text also passes for UTF-8, or the decision reads it as
// UTF-8 with a few malformed sequences, or its shape is that of UTF-16 without a mark.
#include <unicode/ucnv.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/converter.h"
#include "engine/document_reading.h"
#include "engine/encoding_decision.h"
#include "engine/javascript_conversion.h"
#include "engine/target_options.h"
#include "fuzz_support.h"
#include "text/utf8.h"

namespace {

using namespace sarnavel;
using sarnavel::fuzz::hexOf;

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using IcuConverter = std::unique_ptr<UConverter, ConverterCloser>;

IcuConverter openWindows31j() {
  UErrorCode error = U_ZERO_ERROR;
  IcuConverter converter(ucnv_open("windows-31j", &error));
  if (U_FAILURE(error)) sarnavel::fuzz::fail("ICU has windows-31j", __FILE__, __LINE__, u_errorName(error));
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
  return converter;
}

// ICU's characters for the bytes, or an empty string when they are not exactly one valid
// character.
std::u16string icuCharacter(UConverter* converter, std::string_view bytes) {
  ucnv_reset(converter);
  UChar out[4];
  UErrorCode error = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(converter, out, 4, bytes.data(), static_cast<int32_t>(bytes.size()), &error);
  if (U_FAILURE(error) || n != 1 || out[0] == 0xFFFD || out[0] == 0x1A) return {};
  return std::u16string(1, static_cast<char16_t>(out[0]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static IcuConverter converter = openWindows31j();
  std::string text;
  std::u16string expected;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t b = data[i];
    if (b < 0x80) {
      if (b == 0x1B) continue;
      text.push_back(static_cast<char>(b));
      expected.push_back(static_cast<char16_t>(b));
    } else if (b >= 0xA1 && b <= 0xDF) {
      const char single = static_cast<char>(b);
      std::u16string unit = icuCharacter(converter.get(), std::string_view(&single, 1));
      FUZZ_CHECK(!unit.empty(), "ICU has no character for half-width byte " + hexOf(std::string_view(&single, 1)));
      text.push_back(single);
      expected += unit;
    } else if (cp932::isLeadByte(b) && i + 1 < size && cp932::isTrailByte(data[i + 1])) {
      const char pair[2] = {static_cast<char>(b), static_cast<char>(data[i + 1])};
      std::u16string unit = icuCharacter(converter.get(), std::string_view(pair, 2));
      if (unit.empty()) continue;  // the lead byte is dropped; the next byte gets its own chance
      text.append(pair, 2);
      expected += unit;
      ++i;
    }
  }
  if (detectInputEncoding(text) != InputEncoding::ShiftJis) return 0;

  std::string expectedUtf8;
  for (char16_t unit : expected) appendUtf8(expectedUtf8, unit);
  ConverterOptions options;
  applyTargetEncoding(options, TargetEncoding::Utf8, LineEnding::Unchanged);
  ConversionReport report;
  const std::string utf8 = convertText(options, text, &report);
  FUZZ_CHECK(utf8 == expectedUtf8,
             "Shift_JIS " + hexOf(text) + "\nconverter " + hexOf(utf8) + "\nICU       " + hexOf(expectedUtf8));
  FUZZ_CHECK(report.unconvertible == 0, "valid text counted unconvertible: " + hexOf(text));

  // A text that is UTF-8 but for a few malformed sequences is weighed against its Shift_JIS
  // reading, and may read cheaper as UTF-8 (combining marks and private-use characters are
  // both dear): the script is then read as UTF-8 by design, which ICU's reading does not model.
  // A text whose first or second byte is zero and whose rest bears UTF-16 out (`D7 00` is a
  // half-width katakana and a zero byte, or U+00D7) is read as UTF-16 by design: the shape
  // rule refuses only what UTF-16 text would not hold.
  const bool utf16Shape = recogniseContent(text).form != ContentForm::Bytes;
  if (!isUtf8Text(text) && !utf16Shape && decideSourceEncoding(text, EncodingEvidence{}).encoding != SourceEncoding::Utf8) {
    ConversionOptions engineOptions;
    engineOptions.targetEncoding = TargetEncoding::Utf8;
    std::string script = text;
    FUZZ_CHECK(convertJavaScript(script, engineOptions).bytesAfter == script.size(), hexOf(text));
    FUZZ_CHECK(script == expectedUtf8,
               "script " + hexOf(text) + "\nengine " + hexOf(script) + "\nICU    " + hexOf(expectedUtf8));
  }
  return 0;
}
