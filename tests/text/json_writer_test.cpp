// The report's JSON writer writes what nlohmann-json's compact dump (invalid UTF-8 replaced)
// writes: that library's own vectors for escapes and for the maximal subparts of malformed
// UTF-8 (those of the Unicode standard's chapter 3), then random bytes against the library.
#include "text/json_writer.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <random>
#include <string>

namespace sarnavel {
namespace {

std::string written(std::string_view value) {
  std::string out;
  appendJsonString(out, value);
  return out;
}

std::string libraryDump(const std::string& value) {
  return nlohmann::json(value).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

TEST(JsonWriter, TheLibrarysVectors) {
  const std::string fffd = "\xEF\xBF\xBD";
  const struct {
    std::string in, out;
  } rows[] = {
      {"\"\\\b\f\n\r\t", R"(\"\\\b\f\n\r\t)"},
      {std::string("\x00\x01\x1f\x7f", 4), "\\u0000\\u0001\\u001f\x7f"},
      {"\xC3\xA4\xA9\xC3\xBC", "\xC3\xA4" + fffd + "\xC3\xBC"},
      {"123\xC2", "123" + fffd},
      {"123\xF1\xB0\x34\x35\x36", "123" + fffd + "456"},
      {"\xC2\x41\x42", fffd + "AB"},
      {"\xC2\xF4", fffd + fffd},
      {"\xF0\x80\x80\x41", fffd + fffd + fffd + "A"},
      {"\xF1\x80\x80\x41", fffd + "A"},
      {"\xF4\x90\x80\x41", fffd + fffd + fffd + "A"},
      {"\xF5\x80\x80\x41", fffd + fffd + fffd + "A"},
      {"\xE0\x80\x41", fffd + fffd + "A"},
      {"\xED\xA0\x41", fffd + fffd + "A"},
      {"\xC0\xAF", fffd + fffd},
      {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
       "a" + fffd + fffd + fffd + "b" + fffd + "c" + fffd + fffd + "d"},
      {"\xF0\x9F\x98\x80 \xE6\x97\xA5", "\xF0\x9F\x98\x80 \xE6\x97\xA5"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(written(row.in), "\"" + row.out + "\"") << testing::PrintToString(row.in);
    EXPECT_EQ(written(row.in), libraryDump(row.in)) << testing::PrintToString(row.in);
  }
}

// Bytes drawn mostly from where UTF-8 forms and breaks: ASCII, controls, leads, continuations.
TEST(JsonWriter, RandomBytesAsTheLibraryWritesThem) {
  std::mt19937 random(7);
  const unsigned char alphabet[] = {0x00, 0x1F, '"',  '\\', 'a',  0x7F, 0x80, 0x9F, 0xA0, 0xBF,
                                    0xC2, 0xDF, 0xE0, 0xE3, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
  for (int round = 0; round < 20000; ++round) {
    std::string value(random() % 12, '\0');
    for (char& c : value) c = static_cast<char>(alphabet[random() % sizeof alphabet]);
    ASSERT_EQ(written(value), libraryDump(value)) << testing::PrintToString(value);
  }
}

}  // namespace
}  // namespace sarnavel
