// Collecting the sheets and scripts a page loads, and resolving their references.
//
// Properties: every recorded element is a `link` whose rel holds the word "stylesheet" or a
// classic or module `script` with a `src`, lies inside the page at a real tag, and comes after
// the one before it; a remote value (a scheme other than file, or "//") is refused and every
// other value resolves, to at most two names, the first without a backslash; the reference
// decoding never lengthens a text (each decoding replaces several units by fewer) and
// replaceUnit leaves no unit it replaced.
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "html/head_analysis.h"
#include "html/references.h"
#include "html/script_types.h"
#include "html/tag_scanner.h"

namespace {

using namespace sarnavel;
using sarnavel::fuzz::hexOf;

std::u16string unitsOf(std::string_view bytes) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(
        static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return units;
}

// Whether a value names another machine, read as the URL parser reads it: without white space
// around it and tabs and line breaks in it, a scheme other than file, or "//" and a host.
bool remoteOracle(std::string_view value) {
  std::string text;
  for (char c : value) {
    if (c != '\t' && c != '\n' && c != '\r') text.push_back(c);
  }
  std::size_t first = 0;
  while (first < text.size() && (text[first] == ' ' || text[first] == '\f')) ++first;
  text.erase(0, first);
  if (text.starts_with("//")) return true;
  std::size_t colon = 0;
  while (colon < text.size() && (std::isalnum(static_cast<unsigned char>(text[colon])) || text[colon] == '+' ||
                                 text[colon] == '-' || text[colon] == '.'))
    ++colon;
  const bool scheme =
      colon > 0 && colon < text.size() && text[colon] == ':' && std::isalpha(static_cast<unsigned char>(text[0]));
  return scheme && lowercaseCopy(text.substr(0, colon)) != "file";
}

void checkResolution(std::string_view value) {
  const bool remote = remoteOracle(value);
  for (int e = 0; e < 4; ++e) {
    const auto encoding = static_cast<TargetEncoding>(e);
    const std::optional<std::vector<std::string>> names = referenceNames(value, {encoding, TargetEncoding::ShiftJis});
    FUZZ_CHECK(names.has_value() != remote, "value " + hexOf(value) + " encoding " + std::to_string(e));
    if (!names) continue;
    FUZZ_CHECK(names->size() <= 2, "more than two names for " + hexOf(value));
    // (A name in Shift_JIS may hold 0x5C as the second byte of a character.)
    FUZZ_CHECK(names->empty() || names->front().find('\\') == std::string::npos ||
                   value.find('%') != std::string_view::npos || value.find('&') != std::string_view::npos,
               "a backslash stayed in the name of " + hexOf(value));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::uint8_t choice = input.byte();
  const std::string_view page = input.rest();
  const std::string where = "page " + hexOf(page);

  PARSE2INFO info;
  collectReferences(page, info);
  FUZZ_CHECK(info.elements.size() <= page.size(), where);
  std::size_t previousEnd = 0;
  for (const ELEMENT& element : info.elements) {
    FUZZ_CHECK(element.tagStart >= previousEnd, where + " elements out of order");
    FUZZ_CHECK(element.tagStart < element.tagEnd && element.tagEnd <= page.size(), where);
    FUZZ_CHECK(page[element.tagStart] == '<' && page[element.tagEnd - 1] == '>', where);
    previousEnd = element.tagEnd;
    const AttributeMap attributes = attributesOf(page, element);
    if (element.kind == TagKind::Link) {
      FUZZ_CHECK(loadsStyleSheet(attributes), where + " a link that loads no style sheet");
      if (auto href = attributes.find("href"); href != attributes.end()) checkResolution(href->second);
    } else {
      FUZZ_CHECK(element.kind == TagKind::Script, where + " element of another kind");
      auto src = attributes.find("src");
      FUZZ_CHECK(src != attributes.end(), where + " script without src");
      FUZZ_CHECK(scriptKindOf(attributes) != ScriptKind::Other, where + " a data block");
      checkResolution(src->second);
    }
  }
  if (choice & 2) checkResolution(page);

  std::u16string units = unitsOf(page);
  std::u16string decoded = units;
  decodeReferenceText(decoded);
  FUZZ_CHECK(decoded.size() <= units.size(), where + " decoding lengthened the text");
  // Nothing to decode, nothing changed.
  if (units.find_first_of(u"&%") == std::u16string::npos) FUZZ_CHECK(decoded == units, where);

  const char16_t from = static_cast<char16_t>(choice | 0x20), to = u'/';
  std::u16string replaced = replaceUnit(units, from, to);
  FUZZ_CHECK(replaced.size() == units.size(), where);
  if (from != to) FUZZ_CHECK(replaced.find(from) == std::u16string::npos, where);
  return 0;
}
