// Writes JSON text straight into a string, in the compact form the report's lines have always
// had (no spaces; strings as nlohmann::json's dump writes them with non-ASCII kept as UTF-8 and
// invalid UTF-8 replaced), without building a tree first: a report line costs one string.
//
// Strings: '"' and '\' escaped, the controls below 0x20 as \b \t \n \f \r or \u00xx (lower-case
// hex), everything else as it is; a text that is not strict UTF-8 is written the way nlohmann
// writes it (each bad sequence as U+FFFD), which the report's texts, made visible first
// (visible_path.h), never are in practice.
//
// The caller says what comes in what order (a key before each member's value); the commas are
// the writer's. Not checked: an unbalanced open/close is the caller's fault.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sarnavel {

class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) {}

  void openObject() { open('{'); }
  void closeObject() { close('}'); }
  void openArray() { open('['); }
  void closeArray() { close(']'); }
  void key(std::string_view name);
  void string(std::string_view text);
  void number(std::uint64_t value);
  void null();

 private:
  void open(char bracket);
  void close(char bracket);
  void separate();
  std::string& out_;
  bool first_ = true;      // nothing yet in the object or array open last
  bool afterKey_ = false;  // a member's key is written, its value comes next
};

// A string's JSON text, quotes included, appended to `out`.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace sarnavel
