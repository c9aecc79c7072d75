// The program's one JSON writer: one line of compact JSON written member by member, in the
// order given, with no spaces, into a string kept for the line. The report writes a line for
// every file, on the workers, so nothing is built and walked first; the run's memory writes its
// records with it too. (nlohmann-json is only the memory's reader, and the tests' oracle.)
//
// Strings are written as UTF-8 with only what JSON requires escaped: the quote, the backslash
// and the control characters (\b \f \n \r \t, the others \u00xx in lower-case hex); bytes that
// form no UTF-8 character become U+FFFD, one for each malformed sequence (the maximal subpart of
// one, as text/utf8.h reads it). These are the bytes nlohmann-json's compact dump writes with
// invalid UTF-8 replaced, which the report's lines have always been and which its readers parse
// (tests/report/json_writer_test.cpp holds the two side by side).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sarnavel {

class JsonWriter {
 public:
  JsonWriter() { text_.reserve(1024); }  // most lines are shorter
  void openObject() { begin('{'); }
  void closeObject() { end('}'); }
  void openArray() { begin('['); }
  void closeArray() { end(']'); }
  // The member's key; its value follows.
  void key(std::string_view name);
  void string(std::string_view value);
  void number(std::uint64_t value);
  void boolean(bool value);
  void null();
  std::string take() { return std::move(text_); }

 private:
  void startValue() {
    if (!first_) text_ += ',';
    first_ = false;
  }
  void begin(char bracket) {
    startValue();
    text_ += bracket;
    first_ = true;
  }
  void end(char bracket) {
    text_ += bracket;
    first_ = false;
  }
  std::string text_;
  bool first_ = true;  // nothing written yet in the innermost object or array
};

// A string's JSON text, quotes included, appended to `out` (as JsonWriter writes it).
void appendJsonString(std::string& out, std::string_view value);

}  // namespace sarnavel
