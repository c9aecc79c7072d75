#include "html/tag_edits.h"

#include <vector>

#include "html/head_analysis.h"
#include "html/tag_scanner.h"

namespace sarnavel {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The tag's text as the walk reads it (TagSpan::text): between `<` and `>`, less a final `/`.
// It starts at offset 1 of the tag, so a place in it lies one byte further on in the tag.
std::string_view textOf(std::string_view tag) {
  std::string_view text = tag.substr(1, tag.size() - 2);
  if (!text.empty() && text.back() == '/') text.remove_suffix(1);
  return text;
}

const AttributePlace* firstNamed(const std::vector<NamedPlace>& places, std::string_view name) {
  for (const NamedPlace& named : places) {
    if (named.name == name) return &named.place;
  }
  return nullptr;
}

// The tag with the value of the attribute at `at` made `value`: in place, or quoted where the
// attribute had none.
std::string withValueAt(std::string_view tag, const AttributePlace& at, std::string_view value) {
  std::string out(tag);
  if (!at.hasValue) {
    out.insert(1 + at.nameEnd, "=\"" + std::string(value) + "\"");
  } else if (at.quote == 0 && at.valueStart == at.valueEnd) {
    out.insert(1 + at.valueStart, "\"" + std::string(value) + "\"");  // "name=" and nothing after it
  } else {
    out.replace(1 + at.valueStart, at.valueEnd - at.valueStart, value);
  }
  return out;
}

// The tag with ` name="value"` (`attribute`) right after its last attribute as the walk reads
// them (before a zero byte that ends the reading, before blanks and a closing slash), or after
// its name.
std::string withAdded(std::string_view tag, const std::vector<NamedPlace>& places, std::string_view attribute) {
  const std::string_view text = textOf(tag);
  std::size_t end = text.size();
  std::string insertion;
  if (places.empty()) {
    while (end > 0 && isSpace(text[end - 1])) --end;
  } else if (const AttributePlace& last = places.back().place; last.quote != 0) {
    // A quote left open at the end would take in what follows: it is closed first.
    if (last.valueEnd == text.size()) insertion = last.quote;
    else end = last.valueEnd + 1;
  } else if (last.hasValue) {
    end = last.valueEnd;
    if (last.valueStart == last.valueEnd) insertion = "\"\"";  // "name=" would take what follows as its value
  } else {
    end = last.nameEnd;
  }
  insertion += attribute;
  std::string out(tag);
  out.insert(1 + end, insertion);
  return out;
}

}  // namespace

std::string withAttributeValue(std::string_view tag, std::string_view loweredName, std::string_view value) {
  const std::vector<NamedPlace> places = attributePlaces(textOf(tag));
  if (const AttributePlace* at = firstNamed(places, loweredName)) return withValueAt(tag, *at, value);
  return withAdded(tag, places, " " + std::string(loweredName) + "=\"" + std::string(value) + "\"");
}

std::string withInstructionAttributeValue(std::string_view instruction, std::string_view loweredName,
                                          std::string_view value) {
  // Edited as the tag it would be without the `?` that closes it, which is then put back.
  std::string tag(instruction.substr(0, instruction.size() - 2));
  tag += '>';
  std::string out = withAttributeValue(tag, loweredName, value);
  out.insert(out.size() - 1, "?");
  return out;
}

std::string withCharsetInContent(std::string_view tag, std::string_view label) {
  const std::string full = "text/html; charset=" + std::string(label);
  const std::vector<NamedPlace> places = attributePlaces(textOf(tag));
  const AttributePlace* at = firstNamed(places, "content");
  if (at == nullptr) return withAdded(tag, places, " content=\"" + full + "\"");
  if (!at->hasValue || (at->quote == 0 && at->valueStart == at->valueEnd)) return withValueAt(tag, *at, full);
  const std::string_view content = textOf(tag).substr(at->valueStart, at->valueEnd - at->valueStart);
  std::string out(tag);
  if (const std::optional<LabelPlace> old = charsetLabelIn(content)) {
    out.replace(1 + at->valueStart + old->start, old->end - old->start, label);
  } else {
    // A blank would end an unquoted value.
    out.insert(1 + at->valueEnd, (at->quote != 0 ? "; charset=" : ";charset=") + std::string(label));
  }
  return out;
}

}  // namespace sarnavel
