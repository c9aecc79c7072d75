// The visible form of a path: one line, no control characters, valid UTF-8 kept, and the
// original bytes always recoverable.
#include "report/visible_path.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "text/utf8.h"

namespace sarnavel {
namespace {

using namespace std::string_literals;

TEST(VisiblePath, Cases) {
  const struct {
    std::string path, shown;
  } cases[] = {
      {"/www/site/index.html", "/www/site/index.html"},
      {"/www/\xE6\x97\xA5\xE6\x9C\xAC/a b.css", "/www/\xE6\x97\xA5\xE6\x9C\xAC/a b.css"},  // UTF-8 stays
      {"/x/new\n\xE6\x88\x90\xE5\x8A\x9F: /etc/passwd.js", "/x/new\\n\xE6\x88\x90\xE5\x8A\x9F: /etc/passwd.js"},
      {"/x/\x1b]0;t\a\x1b[2J.js", "/x/\\x1b]0;t\\a\\x1b[2J.js"},
      {"a\tb\rc\bd\fe\vf", "a\\tb\\rc\\bd\\fe\\vf"},
      {"nul\0del\x7f"s, "nul\\x00del\\x7f"},
      {"c1\xC2\x85\xC2\x9B.js", "c1\\xc2\\x85\\xc2\\x9b.js"},  // NEL and CSI as characters
      {"\xC2\xA0\xC2\xA9", "\xC2\xA0\xC2\xA9"},                // the first characters after C1 stay
      {"back\\slash\\x41", "back\\\\slash\\\\x41"},            // a backslash is doubled
      {"\xff\xfe bad.css", "\\xff\\xfe bad.css"},
      {"\xE6\x97", "\\xe6\\x97"},                          // cut short
      {"\xF0\x9F\x98\x80.html", "\xF0\x9F\x98\x80.html"},  // four bytes, valid
      {"a\xE2\x80\xA8"
       "b\xE2\x80\xA9.js",
       "a\\xe2\\x80\\xa8b\\xe2\\x80\\xa9.js"},              // line, paragraph separator
      {"\xE2\x80\xAElmth.exe", "\\xe2\\x80\\xaelmth.exe"},  // right-to-left override
      {"\xE2\x80\x8F\xE2\x81\xA6x\xE2\x81\xA9", "\\xe2\\x80\\x8f\\xe2\\x81\\xa6x\\xe2\\x81\\xa9"},  // mark, isolate
      {"\xE2\x80\xAF\xE2\x81\xA5", "\xE2\x80\xAF\xE2\x81\xA5"},  // their neighbours stay
  };
  for (const auto& c : cases) EXPECT_EQ(visiblePath(c.path), c.shown) << c.shown;
}

// Reads a visible form back into bytes.
std::string original(const std::string& shown) {
  std::string out;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] != '\\') {
      out.push_back(shown[i]);
      continue;
    }
    const char c = shown[++i];
    const std::string named = "abtnvfr", bytes = "\a\b\t\n\v\f\r";
    if (c == '\\') out.push_back('\\');
    else if (c == 'x') out.push_back(static_cast<char>(std::stoi(shown.substr(i + 1, 2), nullptr, 16))), i += 2;
    else out.push_back(bytes[named.find(c)]);
  }
  return out;
}

// Random names: the visible form is valid UTF-8 without control characters, and gives the
// name back.
TEST(VisiblePath, NeverAControlByteAndAlwaysTheOriginalBack) {
  std::mt19937 random(12);
  const std::string pieces[] = {"a",    "\\",   "\n",   "\x1b", "\x7f",        "\xC2\x85", "\xC2\xA0", "\xE6\x97\xA5",
                                "\xE6", "\x97", "\xff", "x41",  "\xE2\x80\xAE"};
  for (int round = 0; round < 2000; ++round) {
    std::string name;
    for (int k = random() % 12; k > 0; --k) name += pieces[random() % std::size(pieces)];
    const std::string shown = visiblePath(name);
    for (unsigned char b : shown) ASSERT_TRUE(b >= 0x20 && b != 0x7f) << shown;
    ASSERT_EQ(shown.find("\xC2\x85"), std::string::npos) << shown;
    ASSERT_EQ(shown.find("\xE2\x80\xAE"), std::string::npos) << shown;
    ASSERT_EQ(utf16ToUtf8(utf8ToUtf16(shown)), shown) << "not valid UTF-8: " << shown;
    ASSERT_EQ(original(shown), name) << shown;
  }
}

}  // namespace
}  // namespace sarnavel
