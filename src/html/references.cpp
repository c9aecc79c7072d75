#include "html/references.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "html/script_types.h"
#include "text/ascii.h"
#include "text/japanese_text.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

void record(const ScannedTag& tag, PARSE2INFO& info) {
  const std::string lowered = lowercaseCopy(tag.span.text);
  const bool holdsBodyEnd =
      lowered.find("</script") != std::string::npos || lowered.find("</style") != std::string::npos;
  info.elements.push_back(ELEMENT{tag.span.tagStart, tag.span.tagEnd, tag.name.kind(), holdsBodyEnd});
}

bool startsWith(std::u16string_view text, std::size_t pos, std::u16string_view prefix) {
  return text.substr(pos, prefix.size()) == prefix;
}

// Replaces every `pattern` by `unit`, left to right, never re-reading a replacement.
void replaceAll(std::u16string& text, std::u16string_view pattern, char16_t unit) {
  if (text.find(pattern) == std::u16string::npos) return;
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (startsWith(text, i, pattern)) {
      out += unit;
      i += pattern.size();
    } else {
      out += text[i++];
    }
  }
  text.swap(out);
}

int hexValue(char16_t u) {
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

bool isPercentByte(std::u16string_view text, std::size_t pos) {
  return pos + 2 < text.size() && text[pos] == '%' && hexValue(text[pos + 1]) >= 0 && hexValue(text[pos + 2]) >= 0;
}

void appendCodePoint(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

// The length of the well-formed UTF-8 multi-byte sequence at bytes[pos] (0 when there is
// none) and its code point.
std::size_t utf8SequenceAt(const std::vector<std::uint8_t>& bytes, std::size_t pos, char32_t& cp) {
  if (bytes[pos] < 0x80) return 0;
  std::size_t errorLength = 0;
  return readUtf8Sequence(bytes.data() + pos, bytes.size() - pos, cp, errorLength);
}

void decodePercentEscapes(std::u16string& text) {
  if (text.find(u'%') == std::u16string::npos) return;
  std::u16string out;
  out.reserve(text.size());
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] != '%') {
      out += text[i++];
    } else if (isPercentByte(text, i)) {
      bytes.clear();
      for (; isPercentByte(text, i); i += 3) {
        bytes.push_back(static_cast<std::uint8_t>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
      }
      for (std::size_t k = 0; k < bytes.size();) {
        char32_t cp = 0;
        std::size_t length = utf8SequenceAt(bytes, k, cp);
        if (length == 0) {
          out += static_cast<char16_t>(bytes[k++]);
        } else {
          appendCodePoint(out, cp);
          k += length;
        }
      }
    } else if (i + 1 < text.size() && text[i + 1] == '%') {
      out += u'%';
      i += 2;
    } else {
      out += text[i++];
    }
  }
  text.swap(out);
}

bool isSpaceUnit(char16_t u) { return u == ' ' || (u >= '\t' && u <= '\r'); }

// Reads a number from text[pos] the way wcstol does. `end` receives the offset after the
// number, or `pos` itself when no digit was read (the value is then 0). `inRange` is false
// for a value that is no code point (negative or above U+10FFFF).
char32_t readReferenceNumber(std::u16string_view text, std::size_t pos, int base, std::size_t& end, bool& inRange) {
  std::size_t q = pos;
  while (q < text.size() && isSpaceUnit(text[q])) ++q;
  bool negative = false;
  if (q < text.size() && (text[q] == '+' || text[q] == '-')) negative = text[q++] == '-';
  if (base == 16 && q + 2 < text.size() && text[q] == '0' && (text[q + 1] == 'x' || text[q + 1] == 'X') &&
      hexValue(text[q + 2]) >= 0) {
    q += 2;
  }
  std::uint32_t value = 0;
  bool overflow = false;
  std::size_t digitsStart = q;
  for (; q < text.size(); ++q) {
    int digit = hexValue(text[q]);
    if (digit < 0 || digit >= base) break;
    value = value * base + digit;
    if (value > 0x10FFFF) {
      overflow = true;
      value = 0x10FFFF;
    }
  }
  if (q == digitsStart) {
    end = pos;
    inRange = true;
    return 0;
  }
  end = q;
  inRange = !overflow && !(negative && value != 0);
  return value;
}

void decodeNumericReferences(std::u16string& text) {
  if (text.find(u"&#") == std::u16string::npos) return;
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (!startsWith(text, i, u"&#")) {
      out += text[i++];
      continue;
    }
    std::size_t numberStart = i + 2;
    int base = 10;
    if (numberStart < text.size() && (text[numberStart] == 'x' || text[numberStart] == 'X')) {
      base = 16;
      ++numberStart;
    }
    std::size_t end = 0;
    bool inRange = true;
    char32_t value = readReferenceNumber(text, numberStart, base, end, inRange);
    if (end < text.size() && text[end] == ';') {
      appendCodePoint(out, inRange ? value : kReplacement);
      i = end + 1;
    } else {
      out += u"&#";
      i += 2;
    }
  }
  text.swap(out);
}

}  // namespace

AttributeMap attributesOf(std::string_view page, const ELEMENT& element) {
  // The text between `<` and `>`, less a final `/`, as the walk read it (TagSpan::text); an
  // instruction's less its closing `?`.
  std::string_view text = page.substr(element.tagStart + 1, element.tagEnd - element.tagStart - 2);
  if (element.instruction) text.remove_suffix(1);
  else if (!text.empty() && text.back() == '/') text.remove_suffix(1);
  std::string name;
  AttributeMap attributes;
  parseTagText(text, name, attributes);
  return attributes;
}

bool readReferenceTag(const ScannedTag& tag, PARSE2INFO& info) {
  switch (tag.name.kind()) {
    case TagKind::Link:
      if (loadsStyleSheet(tag.attributes)) record(tag, info);
      break;
    case TagKind::Script:
      if (scriptKindOf(tag.attributes) == ScriptKind::Other || !tag.attributes.contains("src")) return true;
      record(tag, info);
      break;
    case TagKind::Base:
      if (info.base) break;
      if (auto href = tag.attributes.find("href"); href != tag.attributes.end())
        info.base = {href->second, tag.span.tagEnd};
      break;
    default: break;
  }
  return false;
}

void collectReferences(std::string_view page, PARSE2INFO& info) {
  TagWalk walk(page, {TagKind::Link, TagKind::Script, TagKind::Base});
  ScannedTag tag;
  while (walk.next(tag)) {
    if (readReferenceTag(tag, info)) walk.skipScriptBody(tag.span);
  }
}

namespace {

// Where the prolog item at `at` ends (after its `>`), and whether it is an `xml-stylesheet`
// instruction; npos at the first element, at text, or at an item never closed.
std::size_t prologItemEnd(std::string_view document, std::size_t at, bool& styleSheet) {
  styleSheet = false;
  const std::string_view rest = document.substr(at);
  std::size_t end = std::string_view::npos;
  if (rest.starts_with("<?")) {
    end = rest.find("?>");
    styleSheet = rest.starts_with("<?xml-stylesheet") && rest.size() > 16 && isXmlSpace(rest[16]);
    if (end != std::string_view::npos) end += 2;
  } else if (rest.starts_with("<!--")) {
    end = rest.find("-->", 4);
    if (end != std::string_view::npos) end += 3;
  } else if (rest.starts_with("<!")) {
    // A doctype, whose internal subset in brackets may hold `>`.
    const std::size_t close = rest.find('>');
    const std::size_t subset = rest.find('[');
    end = subset < close ? rest.find("]", subset) : close;
    if (subset < close && end != std::string_view::npos) end = rest.find('>', end);
    if (end != std::string_view::npos) end += 1;
  }
  return end == std::string_view::npos ? end : at + end;
}

bool loadsCssSheet(const AttributeMap& pseudo) {
  auto type = pseudo.find("type");
  return pseudo.contains("href") && (type == pseudo.end() || lowercaseCopy(type->second) == "text/css");
}

}  // namespace

void collectStyleSheetInstructions(std::string_view document, PARSE2INFO& info) {
  std::size_t at = document.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  for (;;) {
    while (at < document.size() && isXmlSpace(document[at])) ++at;
    bool styleSheet = false;
    const std::size_t end = prologItemEnd(document, at, styleSheet);
    if (end == std::string_view::npos) return;
    ELEMENT element{at, end, TagKind::Link, false, true};
    if (styleSheet && loadsCssSheet(attributesOf(document, element))) info.elements.push_back(element);
    at = end;
  }
}

namespace {

bool isUrlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// The value as the URL parser takes it: without the white space around it, and without tabs
// and line breaks inside.
std::string urlText(std::string_view value) {
  while (!value.empty() && isUrlSpace(value.front())) value.remove_prefix(1);
  while (!value.empty() && isUrlSpace(value.back())) value.remove_suffix(1);
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c != '\t' && c != '\n' && c != '\r') out.push_back(c);
  }
  return out;
}

// Whether the value starts with a scheme other than file (http:, https:, data:, mailto:, C:)
// or with "//" (another host): such a reference names nothing on this machine's disk.
bool namesRemote(std::string_view value) {
  if (value.starts_with("//")) return true;
  std::size_t i = 0;
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (value.empty() || !letter(value[0])) return false;
  while (i < value.size() && (letter(value[i]) || (value[i] >= '0' && value[i] <= '9') || value[i] == '+' ||
                              value[i] == '-' || value[i] == '.'))
    ++i;
  return i < value.size() && value[i] == ':';
}

struct LocalPath {
  std::u16string path;
  bool fileScheme = false;   // written as a file: address, which no base changes
  std::u16string undecoded;  // the path before decodeReferenceText
};

// The local path a value names, before a base is applied; none when it is remote.
std::optional<LocalPath> localPathOf(std::string_view raw, TargetEncoding pageEncoding) {
  const std::string value = urlText(raw);
  const std::string lower = lowercaseCopy(value);
  std::string_view rest = value;
  const bool fileScheme = lower.starts_with("file:");
  if (value.size() > 7 && lower.starts_with("file://")) {
    rest.remove_prefix(7);
  } else if (value.size() > 5 && fileScheme) {
    rest.remove_prefix(5);
  } else if (namesRemote(value) && !fileScheme) {
    return std::nullopt;
  }
  std::u16string decoded = decodeToWide(rest, pageEncoding);
  // Browsers read a backslash as a slash in the path of a file (or web) address.
  for (char16_t& u : decoded) {
    if (u == u'\\') u = u'/';
  }
  // A query or a fragment names no part of the file. "&#" begins a character reference; an
  // escaped "?" or "#" (%3F, %23) is part of the name.
  for (std::size_t i = 0; i < decoded.size(); ++i) {
    if (decoded[i] == u'?' || (decoded[i] == u'#' && (i == 0 || decoded[i - 1] != u'&'))) {
      decoded.resize(i);
      break;
    }
  }
  std::u16string undecoded = decoded;
  decodeReferenceText(decoded);
  return LocalPath{std::move(decoded), fileScheme, std::move(undecoded)};
}

// The bytes a browser asks the disk for: character references decoded, then each percent escape
// one byte and every other character in UTF-8.
std::string browserBytes(std::u16string text) {
  replaceAll(text, u"&quot;", u'"');
  replaceAll(text, u"&lt;", u'<');
  replaceAll(text, u"&gt;", u'>');
  replaceAll(text, u"&amp;", u'&');
  decodeNumericReferences(text);
  std::string bytes;
  bytes.reserve(text.size());
  std::size_t done = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool escape = isPercentByte(text, i);
    if (!escape && !(text[i] == u'%' && i + 1 < text.size() && text[i + 1] == u'%')) continue;
    bytes += utf16ToUtf8(std::u16string_view(text).substr(done, i - done));
    bytes += escape ? static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])) : '%';
    done = i + (escape ? 3 : 2);
    i = done - 1;
  }
  return bytes + utf16ToUtf8(std::u16string_view(text).substr(done));
}

}  // namespace

ReferenceBase referenceBaseOf(std::string_view href, TargetEncoding pageEncoding) {
  std::optional<LocalPath> local = localPathOf(href, pageEncoding);
  if (!local) return {true, {}};
  // The folder: everything up to the last slash ("lib/index.html" stands for "lib/").
  std::u16string& folder = local->path;
  const std::size_t slash = folder.rfind(u'/');
  folder.resize(slash == std::u16string::npos ? 0 : slash + 1);
  return {false, std::move(folder)};
}

std::optional<std::vector<std::string>> referenceNames(std::string_view value, const NameReading& reading,
                                                       const ReferenceBase& base) {
  std::optional<LocalPath> local = localPathOf(value, reading.pageEncoding);
  if (!local || (base.remote && !local->fileScheme)) return std::nullopt;
  const bool relative = !local->path.empty() && local->path.front() != u'/';
  std::vector<std::string> names;
  std::string asked = browserBytes(std::move(local->undecoded));
  if (asked.empty()) return names;
  names.push_back((relative ? utf16ToUtf8(base.folder) : std::string()) + asked);
  // A name the page spelt in its own legacy encoding, or whose UTF-8 escapes spell, on an old
  // site's disk in that encoding's bytes.
  if (relative) local->path.insert(0, base.folder);
  if (!reading.legacy) return names;
  if (std::optional<std::string> legacy = encodeFromWide(local->path, *reading.legacy); legacy && *legacy != names[0])
    names.push_back(std::move(*legacy));
  return names;
}

void decodeReferenceText(std::u16string& text) {
  replaceAll(text, u"&quot;", u'"');
  replaceAll(text, u"&lt;", u'<');
  replaceAll(text, u"&gt;", u'>');
  replaceAll(text, u"&amp;", u'&');
  decodePercentEscapes(text);
  decodeNumericReferences(text);
}

std::u16string replaceUnit(std::u16string_view text, char16_t from, char16_t to) {
  std::u16string out(text);
  for (char16_t& u : out) {
    if (u == from) u = to;
  }
  return out;
}

}  // namespace sarnavel
