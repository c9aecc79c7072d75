#include "text/cp932.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <array>
#include <memory>
#include <stdexcept>

namespace sarnavel::cp932 {
namespace {

struct Tables {
  std::array<char16_t, 0x10000> toUnit;
  std::array<std::uint16_t, 0x10000> toCode;
  std::array<std::uint16_t, 0x10000> jisReachable;
};

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};

// Decodes one code with ICU; kNoUnit when ICU reports no mapping or more than one unit.
// ucnv_toUChars and ucnv_fromUChars each reset their direction of the converter first, so a
// failed call leaves nothing behind for the next.
char16_t decodeWithIcu(UConverter* converter, const char* bytes, int length) {
  UErrorCode error = U_ZERO_ERROR;
  UChar out[4];
  int n = ucnv_toUChars(converter, out, 4, bytes, length, &error);
  if (U_FAILURE(error) || n != 1) return kNoUnit;
  return out[0];
}

std::uint16_t encodeWithIcu(UConverter* converter, char16_t unit) {
  UErrorCode error = U_ZERO_ERROR;
  char out[4];
  UChar in = unit;
  int n = ucnv_fromUChars(converter, out, 4, &in, 1, &error);
  if (U_FAILURE(error) || n < 1 || n > 2) return kNoCode;
  if (n == 1) return static_cast<std::uint8_t>(out[0]);
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(out[0]) << 8 | static_cast<std::uint8_t>(out[1]));
}

std::unique_ptr<Tables> buildTables() {
  auto t = std::make_unique<Tables>();
  t->toUnit.fill(kNoUnit);
  t->toCode.fill(kNoCode);

  UErrorCode error = U_ZERO_ERROR;
  std::unique_ptr<UConverter, ConverterCloser> converter(ucnv_open("windows-31j", &error));
  if (U_FAILURE(error)) throw std::runtime_error("ICU has no windows-31j converter");
  ucnv_setFallback(converter.get(), false);
  // Stop instead of substituting, so that an unmapped code or unit is reported as a failure.
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
  ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);

  for (unsigned b = 0; b < 0x80; ++b) t->toUnit[b] = static_cast<char16_t>(b);
  t->toUnit[0x80] = 0x80;
  for (unsigned b = 0xA1; b <= 0xDF; ++b) {
    char byte = static_cast<char>(b);
    t->toUnit[b] = decodeWithIcu(converter.get(), &byte, 1);
  }
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (!isLeadByte(static_cast<std::uint8_t>(lead))) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      if (!isTrailByte(static_cast<std::uint8_t>(trail))) continue;
      char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      char16_t unit = decodeWithIcu(converter.get(), bytes, 2);
      // ICU's substitution characters are not characters of the code page.
      if (unit == 0x1A || unit == 0xFFFD) unit = kNoUnit;
      t->toUnit[lead << 8 | trail] = unit;
    }
  }

  // The reverse direction: the code Windows writes for a unit, kept only when it reads back
  // as that same unit. So only a unit some code reads as can have a code: ICU is asked about
  // those alone (9,269 of the 63,000 units), which spares the first file of every run
  // the rest of the round trips.
  for (unsigned u = 0; u < 0x80; ++u) t->toCode[u] = static_cast<std::uint16_t>(u);
  t->toCode[0x80] = 0x80;
  auto readBack = std::make_unique<std::array<bool, 0x10000>>();
  readBack->fill(false);
  for (char16_t unit : t->toUnit) {
    if (unit != kNoUnit) (*readBack)[unit] = true;
  }
  for (unsigned u = 0x81; u < 0x10000; ++u) {
    if ((u >= 0xD800 && u <= 0xDFFF) || !(*readBack)[u]) continue;
    std::uint16_t code = encodeWithIcu(converter.get(), static_cast<char16_t>(u));
    if (code == kNoCode || code < 0x80) continue;
    if (t->toUnit[code] == u) t->toCode[u] = code;
  }

  t->jisReachable.fill(kNoCode);
  for (unsigned b = 0; b < 0x80; ++b) t->jisReachable[b] = static_cast<std::uint16_t>(b);
  for (unsigned b = 0xA1; b <= 0xDF; ++b) t->jisReachable[t->toUnit[b]] = static_cast<std::uint16_t>(b);
  for (unsigned code = 0x8140; code <= 0xEFFC; ++code) {  // rows 1 to 94, ascending
    const char16_t unit = t->toUnit[code];
    if (unit != kNoUnit && t->jisReachable[unit] == kNoCode) t->jisReachable[unit] = static_cast<std::uint16_t>(code);
  }
  return t;
}

const Tables& tables() {
  static const std::unique_ptr<Tables> instance = buildTables();
  return *instance;
}

}  // namespace

char16_t toUnicode(std::uint16_t code) { return tables().toUnit[code]; }

std::uint16_t fromUnicode(char16_t unit) { return tables().toCode[unit]; }

std::uint16_t jisReachable(char16_t unit) { return tables().jisReachable[unit]; }

const std::uint16_t* fromUnicodeTable() { return tables().toCode.data(); }

const std::uint16_t* jisReachableTable() { return tables().jisReachable.data(); }

}  // namespace sarnavel::cp932

namespace sarnavel {

std::string wideToCp932(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char16_t unit : text) {
    std::uint16_t code = cp932::fromUnicode(unit);
    if (code == cp932::kNoCode) out.push_back('?');
    else cp932::appendCode(out, code);
  }
  return out;
}

std::u16string cp932ToWide(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  for (std::size_t i = 0; i < bytes.size();) {
    const cp932::Sequence s = cp932::sequenceAt(p + i, bytes.size() - i);
    out.push_back(s.code == cp932::kNoCode ? u'\uFFFD' : cp932::toUnicode(s.code));
    i += s.length;
  }
  return out;
}

}  // namespace sarnavel
