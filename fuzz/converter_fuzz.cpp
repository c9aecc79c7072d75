// The byte converter: detection and every target, with every line-ending choice.
//
// Properties: conversion succeeds and reports what detection says; a text is the same after
// convertText with findings as without; converting the converted text again changes nothing when
// it is read again as the target (see readAgainAsTarget); a Shift_JIS, EUC-JP or ISO-2022-JP
// text converted to its own encoding with line endings unchanged comes back as it was when it
// held only characters the target has; the ISO-2022-JP output of a text in another encoding is
// 7-bit; parsing any option string never fails.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/converter.h"
#include "engine/encoding_detection.h"
#include "engine/target_options.h"
#include "fuzz_support.h"

namespace {

using namespace sarnavel;
using sarnavel::fuzz::hexOf;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::uint8_t choice = input.byte();
  const std::string_view text = input.rest();
  const int target = choice & 3;
  const auto targetEncoding = static_cast<TargetEncoding>(target);
  const auto lineEnding = static_cast<LineEnding>((choice >> 2) & 3);

  ConverterOptions options;
  const std::string charset = applyTargetEncoding(options, targetEncoding, lineEnding);
  FUZZ_CHECK(!charset.empty(), "no charset for target " + std::to_string(target));
  FUZZ_CHECK(options == parseConverterOptions(targetOptionString(targetEncoding, lineEnding)),
             "table cell and options differ");
  (void)parseConverterOptions(text.substr(0, 64));

  const InputEncoding detected = detectInputEncoding(text);
  FUZZ_CHECK(detected == detectInputEncoding(text), "detection is not deterministic");

  ConversionReport report;
  Findings findings;
  const std::string converted = convertText(options, text, &report, &findings);
  FUZZ_CHECK(report.detected == detected, "report and detection differ on " + hexOf(text));
  ConversionReport second;
  FUZZ_CHECK(convertText(options, text, &second) == converted, "convertText differs with findings on " + hexOf(text));
  FUZZ_CHECK(second.unconvertible == report.unconvertible, hexOf(text));

  const std::string where = "target " + std::to_string(target) + " line ending " + std::to_string((choice >> 2) & 3) +
                            " text " + hexOf(text) + " converted " + hexOf(converted);
  if (target == 2 && detected != InputEncoding::Iso2022Jp) {
    // (A text already in ISO-2022-JP keeps its stray 8-bit bytes.)
    for (char c : converted)
      FUZZ_CHECK(static_cast<unsigned char>(c) < 0x80, where + ": 8-bit byte in ISO-2022-JP output");
  }
  if (detected == InputEncoding::Ascii && lineEnding == LineEnding::Unchanged) {
    FUZZ_CHECK(converted == text, where + ": ASCII text changed");
  }
  const bool ownEncoding =
      (target == 0 && detected == InputEncoding::ShiftJis) || (target == 1 && detected == InputEncoding::EucJp);
  if (ownEncoding && lineEnding == LineEnding::Unchanged && report.unconvertible == 0) {
    FUZZ_CHECK(converted == text, where + ": text in its own encoding changed");
  }

  // Idempotence: the converter's output, read again as the target, is a fixed point.
  if (target != 3 && fuzz::readAgainAsTarget(converted, target) && !fuzz::strayEscapes(text)) {
    std::string again = convertText(options, converted);
    FUZZ_CHECK(again == converted, where + " again " + hexOf(again));
  }
  return 0;
}
