// The report's JSON writer: every string and every nesting written byte for byte as
// nlohmann::json's compact dump writes it (the form the report has always had).
#include "run/json_writer.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

namespace sarnavel {
namespace {

using Json = nlohmann::ordered_json;

std::string dumped(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

TEST(JsonWriter, WritesEachStringAsNlohmannDoes) {
  const std::string strings[] = {
      "",
      "plain /path/a.html",
      "日本語 😀 \x7f",
      "\"quoted\" back\\slash",
      std::string("\x00\x01\x08\x09\x0a\x0b\x0c\x0d\x1b\x1f", 10),
      "cut \xE6\x97",           // a sequence cut short by the end
      "lone \x80 and \xFF x",   // bytes that start nothing
      "overlong \xC0\xAF \xE0\x80\xAF",
      "surrogate \xED\xA0\x80 beyond \xF4\x90\x80\x80",
      "bad middle \xE6\x41\x97 then \xE6\x97\xA5",
      "\xF0\x9F\x98",
  };
  for (const std::string& text : strings) {
    std::string out;
    appendJsonString(out, text);
    EXPECT_EQ(out, dumped(Json(text))) << testing::PrintToString(text);
  }
}

TEST(JsonWriter, PutsTheCommasOfNestedObjectsAndArraysWhereADumpDoes) {
  std::string out;
  JsonWriter json(out);
  json.openObject();
  json.key("a");
  json.number(0);
  json.key("empty");
  json.openArray();
  json.closeArray();
  json.key("list");
  json.openArray();
  json.openObject();
  json.key("x");
  json.null();
  json.key("y");
  json.openObject();
  json.closeObject();
  json.closeObject();
  json.openObject();
  json.key("n");
  json.number(18446744073709551615u);
  json.closeObject();
  json.string("s");
  json.closeArray();
  json.key("z");
  json.string("end");
  json.closeObject();
  EXPECT_EQ(out, dumped(Json::parse(out)));
  EXPECT_EQ(out, R"({"a":0,"empty":[],"list":[{"x":null,"y":{}},{"n":18446744073709551615},"s"],"z":"end"})");
}

}  // namespace
}  // namespace sarnavel
