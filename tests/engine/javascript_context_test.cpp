#include "engine/javascript_context.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sarnavel {
namespace {

// A script with `@` where the question is asked (the mark itself taken out), and where that
// place lies.
constexpr JavaScriptPlace kCode = JavaScriptPlace::Code, kRaw = JavaScriptPlace::RawTemplate,
                          kLiteral = JavaScriptPlace::Literal;
struct PlaceCase {
  std::string marked;
  JavaScriptPlace place;
};

TEST(JavaScriptContext, Places) {
  const std::vector<PlaceCase> cases = {
      {"a = @1", kCode},
      {"s = 'ab@c'", kLiteral},
      {"s = \"a\\\"@b\"", kLiteral},
      {"s = 'ab'; @x", kCode},
      {"s = 'abc\n@x", kCode},  // a line break ends a string the quote did not
      {"// note @\nx", kLiteral},
      {"// note\n@x", kCode},
      {"/* a @*/", kLiteral},
      {"/* a */@", kCode},
      {"x = /re@g/", kLiteral},
      {"x = a / b@", kCode},
      {"return /a@/", kLiteral},
      {"returned / a@", kCode},
      {"instanceofx / a@", kCode},
      {"x = /[/@]/", kLiteral},
      {"x = /[/]/@", kCode},
      {"`a${b@}`", kCode},
      {"`a${b}@`", kLiteral},
      {"`a${ {c} }@`", kLiteral},
      {"`a$@b`", kLiteral},
      {"x = '\\\\'@", kCode},
      // A template tagged String.raw reads escapes as written; inside its substitutions, and in
      // any other template, they are read.
      {"String.raw`a@`", kRaw},
      {"x = String.raw \n `a${b}c@`", kRaw},
      {"String.raw`a${`b@`}`", kLiteral},
      {"String.raw`a${ f(`b`) }@`", kRaw},
      {"o.String.raw`a@`", kLiteral},
      {"tag`a@`", kLiteral},
      {"String.raw`a` + `b@`", kLiteral},
  };
  for (const PlaceCase& c : cases) {
    std::string script = c.marked;
    const std::size_t at = script.find('@');
    script.erase(at, 1);
    // Asked once, and asked at every place before it in turn: the answer is the same.
    JavaScriptContext<char> once{std::string_view(script)};
    EXPECT_EQ(once.placeOf(at), c.place) << c.marked;
    JavaScriptContext<char> stepwise{std::string_view(script)};
    for (std::size_t k = 0; k < at; ++k) (void)stepwise.placeOf(k);
    EXPECT_EQ(stepwise.placeOf(at), c.place) << c.marked << " (stepwise)";
    const std::u16string wide(script.begin(), script.end());
    JavaScriptContext<char16_t> units{std::u16string_view(wide)};
    EXPECT_EQ(units.placeOf(at), c.place) << c.marked << " (UTF-16)";
  }
}

}  // namespace
}  // namespace sarnavel
