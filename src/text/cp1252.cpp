#include "text/cp1252.h"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <array>
#include <cstdint>
#include <stdexcept>

namespace sarnavel {
namespace {

// The units of bytes 0x80-0x9F; the rest of the code page is Latin-1 itself.
constexpr std::array<char16_t, 32> kHighControls = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

char16_t cp1252Unit(unsigned char b) {
  return b >= 0x80 && b <= 0x9F ? kHighControls[b - 0x80] : static_cast<char16_t>(b);
}

std::u16string decodeCp1252(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    auto b = static_cast<std::uint8_t>(c);
    out.push_back(b >= 0x80 && b <= 0x9F ? kHighControls[b - 0x80] : static_cast<char16_t>(b));
  }
  return out;
}

namespace {

struct Decompositions {
  std::array<std::u16string, 256> ofByte;
};

Decompositions buildDecompositions() {
  Decompositions d;
  UErrorCode error = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(error);
  if (U_FAILURE(error)) throw std::runtime_error("ICU has no canonical decomposition data");
  for (unsigned b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    const std::u16string unit = decodeCp1252(std::string_view(&byte, 1));
    icu::UnicodeString decomposed;
    if (nfd->getDecomposition(unit[0], decomposed)) {
      d.ofByte[b].assign(reinterpret_cast<const char16_t*>(decomposed.getBuffer()),
                         static_cast<std::size_t>(decomposed.length()));
    } else {
      d.ofByte[b] = unit;
    }
  }
  return d;
}

}  // namespace

std::u16string_view cp1252Decomposed(unsigned char byte) {
  static const Decompositions decompositions = buildDecompositions();
  return decompositions.ofByte[byte];
}

std::u16string decodeCp1252Decomposed(std::string_view bytes) {
  std::u16string composed = decodeCp1252(bytes);
  UErrorCode error = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(error);
  if (U_FAILURE(error)) throw std::runtime_error("ICU has no canonical decomposition data");
  icu::UnicodeString source(false, composed.data(), static_cast<int32_t>(composed.size()));
  icu::UnicodeString decomposed = nfd->normalize(source, error);
  if (U_FAILURE(error)) {
    if (error == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
    return composed;
  }
  return std::u16string(reinterpret_cast<const char16_t*>(decomposed.getBuffer()),
                        static_cast<std::size_t>(decomposed.length()));
}

}  // namespace sarnavel
