// Collecting the sheets and scripts a page loads, and resolving their references.
//
// Properties: every recorded element is a `link` with rel "stylesheet" or a `script` with a
// `src`, lies inside the page at a real tag, and comes after the one before it; a remote value
// is refused and every other value resolves; the reference decoding never lengthens a text
// (each decoding replaces several units by fewer) and replaceUnit leaves no unit it replaced.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "html/head_analysis.h"
#include "html/references.h"
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

void checkResolution(std::string_view value) {
  // A remote value names something after its scheme; "http:" or "ftp:" alone is a local name.
  const bool remote =
      (value.size() > 5 && value.starts_with("http:")) || (value.size() > 4 && value.starts_with("ftp:"));
  for (int e = 0; e < 4; ++e) {
    std::u16string path = u"unchanged";
    const bool local = resolveLocalReference(path, value, static_cast<TargetEncoding>(e));
    FUZZ_CHECK(local != remote, "value " + hexOf(value) + " encoding " + std::to_string(e));
    if (!local) FUZZ_CHECK(path == u"unchanged", "a refused value changed the path: " + hexOf(value));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::uint8_t choice = input.byte();
  const std::string_view page = input.rest();
  const std::string where = "page " + hexOf(page);

  PARSE1INFO head;
  analyseHead(page, head);
  PARSE2INFO info;
  info.defaultScriptType = (choice & 1) ? std::string("text/vbscript") : head.contentScriptType;
  collectReferences(page, info);
  FUZZ_CHECK(info.elements.size() <= page.size(), where);
  std::size_t previousEnd = 0;
  for (const ELEMENT& element : info.elements) {
    FUZZ_CHECK(element.tagStart >= previousEnd, where + " elements out of order");
    FUZZ_CHECK(element.tagStart < element.tagEnd && element.tagEnd <= page.size(), where);
    FUZZ_CHECK(page[element.tagStart] == '<' && page[element.tagEnd - 1] == '>', where);
    previousEnd = element.tagEnd;
    if (element.name == "link") {
      auto rel = element.attributes.find("rel");
      FUZZ_CHECK(rel != element.attributes.end() && lowercaseCopy(rel->second) == "stylesheet",
                 where + " link without rel");
      if (auto href = element.attributes.find("href"); href != element.attributes.end()) checkResolution(href->second);
    } else {
      FUZZ_CHECK(element.name == "script", where + " element " + element.name);
      auto src = element.attributes.find("src");
      FUZZ_CHECK(src != element.attributes.end(), where + " script without src");
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
