#include "engine/latin1_label.h"

#include <string>

#include "html/tag_scanner.h"

namespace sarnavel {

bool isLatin1Label(std::string_view label) {
  static constexpr std::string_view kLabels[] = {
      "ansi_x3.4-1968", "ascii",    "cp1252",     "cp819",      "csisolatin1",     "ibm819",
      "iso-8859-1",     "iso-ir-100", "iso8859-1", "iso88591",  "iso_8859-1",      "iso_8859-1:1987",
      "l1",             "latin1",   "us-ascii",   "windows-1252", "x-cp1252",
  };
  auto isTrimmed = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '"' || c == '\''; };
  while (!label.empty() && isTrimmed(label.front())) label.remove_prefix(1);
  while (!label.empty() && isTrimmed(label.back())) label.remove_suffix(1);
  std::string lower = lowercaseCopy(label);
  for (std::string_view known : kLabels) {
    if (lower == known) return true;
  }
  return false;
}

}  // namespace sarnavel
