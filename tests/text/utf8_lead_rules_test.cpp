#include "text/utf8_lead_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "text/utf8.h"

namespace sarnavel {
namespace {

using Check = bool (*)(const std::uint8_t*, std::size_t);

struct Way {
  const char* name;
  Check check;
};

std::vector<Way> ways() {
  std::vector<Way> out = {{"bytes", followsUtf8LeadRulesByBytes}};
#if defined(__SSE2__)
  out.push_back({"sse2", followsUtf8LeadRulesBySse2});
#endif
  return out;
}

bool follows(const Way& way, std::string_view text) {
  return way.check(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// Each case followed by ASCII, and after 0 to 47 bytes of other text (ASCII, or Japanese in
// UTF-8), so that it stands at every position of a 16-byte block: in the first block, in the
// blocks after it and in the tail.
TEST(Utf8LeadRules, CasesAtEveryPosition) {
  struct Case {
    std::string_view bytes;
    bool follows;
  } cases[] = {
      {"\xE3\x81\x82", true},              // あ
      {"\xC2\xA9", true},                  // ©
      {"\xF0\x9F\x98\x80", true},          // U+1F600
      {"\xF8\x88\x80\x80\x80", true},      // five-byte form
      {"\xFC\x84\x80\x80\x80\x80", true},  // six-byte form
      {"\xC0\x80", true},                  // overlong
      {"\xED\xA0\x80", true},              // encoded surrogate
      {"\x80", false},                     // a continuation byte without its lead
      {"\xBF", false},                     //
      {"\xE3\x81\x82\x81", false},         // one continuation byte too many
      {"\xE3\x81", false},                 // broken by the ASCII after it
      {"\xC2", false},                     //
      {"\xF0\x9F\x98", false},             //
      {"\xFC\x84\x80\x80\x80", false},     //
      {"\xE3\xE3\x81\x82", false},         // a lead where a continuation byte belongs
      {"\xFE", false},                     //
      {"\xFF", false},                     //
      {"\x82\xA0", false},                 // Shift_JIS あ
      {"\xA4\xA2", false},                 // EUC-JP あ
  };
  for (const Way& way : ways()) {
    for (const Case& c : cases) {
      for (std::size_t before = 0; before < 48; ++before) {
        for (const char* filler : {"a", "\xE3\x81\x82"}) {
          std::string text;
          while (text.size() < before) text += filler;
          text += c.bytes;
          text += std::string(40, 'z');
          EXPECT_EQ(follows(way, text), c.follows)
              << way.name << " " << ::testing::PrintToString(std::string(c.bytes)) << " after " << text.size();
        }
      }
    }
  }
}

}  // namespace
}  // namespace sarnavel
