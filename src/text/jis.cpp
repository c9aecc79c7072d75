#include "text/jis.h"

#include <unicode/ucnv.h>

#include <array>
#include <stdexcept>

namespace sarnavel::jis {
namespace {

std::array<char16_t, 94 * 94> buildJis0212() {
  std::array<char16_t, 94 * 94> table;
  table.fill(0xFFFF);
  UErrorCode error = U_ZERO_ERROR;
  UConverter* converter = ucnv_open("EUC-JP", &error);
  if (U_FAILURE(error)) throw std::runtime_error("ICU has no EUC-JP converter");
  ucnv_setFallback(converter, false);
  ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
  for (unsigned row = 1; row <= 94; ++row) {
    for (unsigned cell = 1; cell <= 94; ++cell) {
      char bytes[3] = {static_cast<char>(0x8F), static_cast<char>(row + 0xA0), static_cast<char>(cell + 0xA0)};
      UChar out[4];
      error = U_ZERO_ERROR;
      ucnv_reset(converter);
      int n = ucnv_toUChars(converter, out, 4, bytes, 3, &error);
      if (U_SUCCESS(error) && n == 1 && out[0] != 0xFFFD && out[0] != 0x1A) table[(row - 1) * 94 + cell - 1] = out[0];
    }
  }
  ucnv_close(converter);
  return table;
}

}  // namespace

char16_t jis0212ToUnicode(Position p) {
  static const std::array<char16_t, 94 * 94> table = buildJis0212();
  if (p.row < 1 || p.row > 94 || p.cell < 1 || p.cell > 94) return 0xFFFF;
  return table[(p.row - 1) * 94 + p.cell - 1];
}

}  // namespace sarnavel::jis
