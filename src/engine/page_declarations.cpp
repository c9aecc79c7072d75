#include "engine/page_declarations.h"

#include <algorithm>
#include <optional>

#include "html/tag_edits.h"
#include "html/tag_scanner.h"
#include "text/ascii.h"

namespace sarnavel {
namespace {

// Browsers look for the declaration in the first this many bytes.
constexpr std::size_t kPrescanWindow = 1024;

struct XmlEncoding {
  std::size_t valueStart = 0;
  std::size_t valueEnd = 0;
};

// The value of `encoding` in an XML declaration at the very start.
std::optional<XmlEncoding> xmlEncodingOf(std::string_view page) {
  const std::size_t end = xmlDeclarationEnd(page);
  if (end == 0) return std::nullopt;
  std::size_t at = page.find("encoding", 5);
  if (at == std::string_view::npos || at > end) return std::nullopt;
  std::size_t i = at + 8;
  while (i < end && isXmlSpace(page[i])) ++i;
  if (i >= end || page[i] != '=') return std::nullopt;
  ++i;
  while (i < end && isXmlSpace(page[i])) ++i;
  if (i >= end || (page[i] != '"' && page[i] != '\'')) return std::nullopt;
  const std::size_t close = page.find(page[i], i + 1);
  if (close == std::string_view::npos || close > end) return std::nullopt;
  return XmlEncoding{i + 1, close};
}

// The declaration a page that has none gets.
std::string contentTypeMeta(const std::string& charsetName) {
  return "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charsetName + "\" />";
}

// Where the edits' text lands once they are applied: edit k starts at out[k].
std::vector<std::size_t> outputStarts(const std::vector<PageEdit>& edits) {
  std::vector<std::size_t> order(edits.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (edits[a].start != edits[b].start) return edits[a].start < edits[b].start;
    return (edits[a].start == edits[a].end) > (edits[b].start == edits[b].end);  // as sortPageEdits
  });
  std::vector<std::size_t> out(edits.size());
  std::ptrdiff_t delta = 0;
  for (std::size_t k : order) {
    out[k] = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(edits[k].start) + delta);
    delta +=
        static_cast<std::ptrdiff_t>(edits[k].text.size()) - static_cast<std::ptrdiff_t>(edits[k].end - edits[k].start);
  }
  return out;
}

// Where an offset of the page lands once the edits are applied (text inserted at it comes
// before it).
std::size_t outputOffset(const std::vector<PageEdit>& edits, std::size_t offset) {
  std::ptrdiff_t delta = 0;
  for (const PageEdit& edit : edits) {
    if (edit.end <= offset) {
      delta += static_cast<std::ptrdiff_t>(edit.text.size()) - static_cast<std::ptrdiff_t>(edit.end - edit.start);
    }
  }
  return static_cast<std::size_t>(static_cast<std::ptrdiff_t>(offset) + delta);
}

}  // namespace

std::size_t xmlDeclarationEnd(std::string_view page) {
  // `<?xml-stylesheet ...?>` and other instructions whose name begins so are no declaration.
  if (!page.starts_with("<?xml") || page.size() < 6 || !isXmlSpace(page[5])) return 0;
  const std::size_t end = page.find("?>");
  return end == std::string_view::npos ? 0 : end + 2;
}

std::optional<std::string> xmlDeclarationEncoding(std::string_view page) {
  const std::optional<XmlEncoding> xml = xmlEncodingOf(page);
  if (!xml) return std::nullopt;
  return std::string(page.substr(xml->valueStart, xml->valueEnd - xml->valueStart));
}

void xmlDeclarationEdits(std::string_view page, const std::string& charsetName, std::vector<PageEdit>& edits,
                         std::vector<Declaration>& declarations) {
  const std::size_t end = xmlDeclarationEnd(page);
  if (end == 0) {
    // On a line of its own, ended as the page's first line is.
    const std::size_t lineEnd = page.find('\n');
    const std::string_view lineBreak = lineEnd == std::string_view::npos          ? ""
                                       : lineEnd > 0 && page[lineEnd - 1] == '\r' ? "\r\n"
                                                                                  : "\n";
    edits.push_back({0, 0, "<?xml version=\"1.0\" encoding=\"" + charsetName + "\"?>" + std::string(lineBreak)});
    declarations.push_back({DeclarationForm::XmlDeclaration, {}, DeclarationFate::Added});
    return;
  }
  if (xmlEncodingOf(page)) return;
  // The encoding goes right after the version, where XML wants it; a declaration without a
  // version is no XML declaration, and is left to the reader.
  const std::size_t version = page.find("version", 5);
  if (version == std::string_view::npos || version > end) return;
  const std::size_t open = page.find_first_of("\"'", version);
  const std::size_t close = open < end ? page.find(page[open], open + 1) : std::string_view::npos;
  if (close == std::string_view::npos || close >= end) return;
  edits.push_back({close + 1, close + 1, " encoding=\"" + charsetName + "\""});
  declarations.push_back({DeclarationForm::XmlDeclaration, {}, DeclarationFate::Added});
}

void xmlEncodingEdit(std::string_view page, const std::string& charsetName, std::vector<PageEdit>& edits,
                     std::vector<Declaration>& declarations) {
  if (std::optional<XmlEncoding> xml = xmlEncodingOf(page)) {
    declarations.push_back({DeclarationForm::XmlDeclaration,
                            std::string(page.substr(xml->valueStart, xml->valueEnd - xml->valueStart)),
                            DeclarationFate::Rewritten});
    edits.push_back({xml->valueStart, xml->valueEnd, charsetName});
  }
}

std::vector<WrittenDeclaration> declarationEdits(std::string_view page, const PARSE1INFO& info,
                                                 const DeclaredTarget& target, std::vector<PageEdit>& edits,
                                                 std::vector<Declaration>& declarations) {
  const std::string& charsetName = target.charsetName;
  std::vector<WrittenDeclaration> written;
  xmlEncodingEdit(page, charsetName, edits, declarations);
  auto write = [&](PageEdit edit, Declaration declaration) {
    written.push_back({edits.size(), declarations.size()});
    edits.push_back(std::move(edit));
    declarations.push_back(std::move(declaration));
  };
  // A meta after the title's start tag goes before the title when no declaration comes before
  // it (a page converted before has one there, and moving a second one would change it again).
  const bool declaredBeforeTitle =
      info.hasTitle && !info.metaDeclarations.empty() && info.metaDeclarations.front().tagStart < info.titleStart;
  auto movable = [&](std::size_t tagStart) {
    return info.hasTitle && !declaredBeforeTitle && tagStart > info.titleStart &&
           !(info.hasHead && tagStart <= info.headStart);
  };
  // Of the content-type metas the last one moves; a <meta charset> when it is the first
  // declaration and no content-type meta moves.
  const bool contentTypeMoves = !target.inPlace && info.hasContentTypeMeta && movable(info.metaStart);
  for (const PARSE1INFO::MetaDeclaration& meta : info.metaDeclarations) {
    const std::string_view tag = page.substr(meta.tagStart, meta.tagEnd - meta.tagStart);
    std::string declaration =
        meta.contentType ? withCharsetInContent(tag, charsetName) : withAttributeValue(tag, "charset", charsetName);
    const DeclarationForm form = meta.contentType ? DeclarationForm::ContentTypeMeta : DeclarationForm::MetaCharset;
    std::string former = meta.contentType ? lowercaseCopy(meta.label) : meta.label;
    const bool moves = meta.contentType ? contentTypeMoves && meta.tagStart == info.metaStart
                                        : !contentTypeMoves && !target.inPlace &&
                                              &meta == &info.metaDeclarations.front() && movable(meta.tagStart);
    if (moves) {
      edits.push_back({meta.tagStart, meta.tagEnd, {}});
      write({info.titleStart, info.titleStart, std::move(declaration)},
            {form, std::move(former), DeclarationFate::MovedBeforeTitle});
    } else {
      write({meta.tagStart, meta.tagEnd, std::move(declaration)},
            {form, std::move(former), meta.contentType ? DeclarationFate::Replaced : DeclarationFate::Rewritten});
    }
  }
  if (target.inPlace || !info.metaDeclarations.empty() || (!info.hasHtml && !target.encodingChanges)) return written;
  std::size_t at = 0;
  if (info.hasHtml) {
    // Right after the head start tag (or the html one), but before the title when the title
    // starts earlier: the place a later conversion would move the declaration to.
    at = info.hasHead ? info.headEnd : info.htmlEnd;
    if (info.hasTitle && info.titleStart < at) at = info.titleStart;
  } else {
    // Before the first content: a doctype must stay first, or the page would show in quirks mode.
    at = info.doctypeEnd != 0 ? info.doctypeEnd : xmlDeclarationEnd(page);
  }
  write({at, at, contentTypeMeta(charsetName)}, {DeclarationForm::ContentTypeMeta, {}, DeclarationFate::Added});
  return written;
}

void keepDeclarationInPrescan(const AnalysedPage& page, const std::string& charsetName,
                              const std::vector<WrittenDeclaration>& written, std::vector<PageEdit>& edits,
                              std::vector<Declaration>& declarations) {
  const PARSE1INFO& info = page.info;
  const std::vector<std::size_t> starts = outputStarts(edits);
  const WrittenDeclaration* first = nullptr;
  for (const WrittenDeclaration& w : written) {
    const PageEdit& edit = edits[w.edit];
    if (edit.text.empty()) continue;
    if (starts[w.edit] + edit.text.size() <= kPrescanWindow) return;  // the browser finds it
    if (first == nullptr || starts[w.edit] < starts[first->edit]) first = &w;
  }
  if (first == nullptr) return;
  const std::size_t xmlEnd = xmlDeclarationEnd(page.text);
  // The earliest place where a declaration of `size` bytes ends within the window.
  auto placeFor = [&](std::size_t size) -> std::optional<std::size_t> {
    for (std::size_t candidate : {info.hasHead ? info.headEnd : 0, info.hasHtml ? info.htmlEnd : 0, info.doctypeEnd}) {
      if (candidate != 0 && outputOffset(edits, candidate) + size <= kPrescanWindow) return candidate;
    }
    if (outputOffset(edits, xmlEnd) + size <= kPrescanWindow) return xmlEnd;
    return std::nullopt;
  };
  std::string text = std::move(edits[first->edit].text);
  edits[first->edit].text.clear();  // the declaration leaves its place
  if (const std::optional<std::size_t> at = placeFor(text.size())) {
    edits.push_back({*at, *at, std::move(text)});
    declarations[first->declaration].fate = DeclarationFate::MovedEarlier;
    return;
  }
  // A meta charset whose other attributes make it longer than the window ends past it
  // wherever it stands: it stays as written, and a short declaration goes where the browser
  // looks (a second conversion finds that one first and changes nothing).
  edits[first->edit].text = std::move(text);
  std::string shortDeclaration = contentTypeMeta(charsetName);
  if (const std::optional<std::size_t> at = placeFor(shortDeclaration.size())) {
    edits.push_back({*at, *at, std::move(shortDeclaration)});
    const bool xmlFirst = !declarations.empty() && declarations.front().form == DeclarationForm::XmlDeclaration;
    declarations.insert(declarations.begin() + (xmlFirst ? 1 : 0),
                        {DeclarationForm::ContentTypeMeta, {}, DeclarationFate::Added});
    return;
  }
  // Only a longer XML declaration leaves no room: the declaration follows it.
  text = std::move(edits[first->edit].text);
  edits[first->edit].text.clear();
  edits.push_back({xmlEnd, xmlEnd, std::move(text)});
  declarations[first->declaration].fate = DeclarationFate::MovedEarlier;
}

}  // namespace sarnavel
