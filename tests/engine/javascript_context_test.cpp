#include "engine/javascript_context.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sarnavel {
namespace {

// A script with `@` where the question is asked (the mark itself taken out), and whether that
// place lies in code.
struct PlaceCase {
  std::string marked;
  bool inCode;
};

TEST(JavaScriptContext, Places) {
  const std::vector<PlaceCase> cases = {
      {"a = @1", true},
      {"s = 'ab@c'", false},
      {"s = \"a\\\"@b\"", false},
      {"s = 'ab'; @x", true},
      {"s = 'abc\n@x", true},  // a line break ends a string the quote did not
      {"// note @\nx", false},
      {"// note\n@x", true},
      {"/* a @*/", false},
      {"/* a */@", true},
      {"x = /re@g/", false},
      {"x = a / b@", true},
      {"return /a@/", false},
      {"returned / a@", true},
      {"instanceofx / a@", true},
      {"x = /[/@]/", false},
      {"x = /[/]/@", true},
      {"`a${b@}`", true},
      {"`a${b}@`", false},
      {"`a${ {c} }@`", false},
      {"`a$@b`", false},
      {"x = '\\\\'@", true},
  };
  for (const PlaceCase& c : cases) {
    std::string script = c.marked;
    const std::size_t at = script.find('@');
    script.erase(at, 1);
    // Asked once, and asked at every place before it in turn: the answer is the same.
    JavaScriptContext<char> once{std::string_view(script)};
    EXPECT_EQ(once.inCode(at), c.inCode) << c.marked;
    JavaScriptContext<char> stepwise{std::string_view(script)};
    for (std::size_t k = 0; k < at; ++k) (void)stepwise.inCode(k);
    EXPECT_EQ(stepwise.inCode(at), c.inCode) << c.marked << " (stepwise)";
    const std::u16string wide(script.begin(), script.end());
    JavaScriptContext<char16_t> units{std::u16string_view(wide)};
    EXPECT_EQ(units.inCode(at), c.inCode) << c.marked << " (UTF-16)";
  }
}

}  // namespace
}  // namespace sarnavel
