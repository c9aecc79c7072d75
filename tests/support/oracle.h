// Independent readings of encoded text for tests: ICU's own converters, not the project's
// tables. Shift_JIS is read with windows-31j and EUC-JP with ICU's EUC-JP; bytes below 0x80
// are taken as themselves (ICU's windows-31j swaps three control codes).
#pragma once

#include <unicode/ucnv.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace sarnavel::testing {

inline std::u16string icuDecode(const char* converterName, std::string_view bytes) {
  UErrorCode error = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(converterName, &error);
  if (U_FAILURE(error)) throw std::runtime_error("no ICU converter");
  std::u16string out(bytes.size() * 2 + 4, u'\0');
  int n = ucnv_toUChars(converter, reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), bytes.data(),
                        static_cast<int32_t>(bytes.size()), &error);
  ucnv_close(converter);
  if (U_FAILURE(error)) throw std::runtime_error("ICU decoding failed");
  out.resize(static_cast<std::size_t>(n));
  return out;
}

inline std::string icuEncode(const char* converterName, std::u16string_view text) {
  UErrorCode error = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(converterName, &error);
  if (U_FAILURE(error)) throw std::runtime_error("no ICU converter");
  std::string out(text.size() * 4 + 8, '\0');
  int n = ucnv_fromUChars(converter, out.data(), static_cast<int32_t>(out.size()),
                          reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()), &error);
  ucnv_close(converter);
  if (U_FAILURE(error)) throw std::runtime_error("ICU encoding failed");
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// ICU's UTF-8 of a UTF-16 text.
inline std::string icuUtf8(std::u16string_view text) { return icuEncode("UTF-8", text); }

}  // namespace sarnavel::testing
