// The engine conversion of a script (see engine_fuzz.h for the properties checked).
#include "engine_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return sarnavel::fuzz::fuzzDocument(sarnavel::fuzz::DocumentKind::Script, data, size);
}
