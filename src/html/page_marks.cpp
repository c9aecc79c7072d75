#include "html/page_marks.h"

#include "text/japanese_text.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

// Text after the first `?` that holds a byte no ASCII reader takes as its own: a non-ASCII
// byte of Shift_JIS, EUC-JP or UTF-8, or the escape byte that starts an ISO-2022-JP run.
bool hasNonAsciiQuery(std::string_view value) {
  const std::size_t query = value.find('?');
  if (query == std::string_view::npos) return false;
  for (std::size_t i = query + 1; i < value.size(); ++i) {
    const auto b = static_cast<unsigned char>(value[i]);
    if (b == '#') return false;  // the fragment never reaches the server
    if (b >= 0x80 || b == 0x1B) return true;
  }
  return false;
}

}  // namespace

void readPageMarkTag(const ScannedTag& tag, const PageMarkSink& marks) {
  const TagKind kind = tag.name.kind();
  const bool form = kind == TagKind::Form;
  if (!form && kind != TagKind::Anchor && kind != TagKind::Area) return;
  // Links are many: their attributes are read only when the raw tag could hold such a query.
  if (!form && !hasNonAsciiQuery(tag.span.text)) return;
  std::string ignored;
  AttributeMap attributes;
  parseTagText(tag.span.text, ignored, attributes);
  auto value = attributes.find(form ? "action" : "href");
  const std::string url = value != attributes.end() ? value->second : std::string();
  if (form && !attributes.contains("accept-charset"))
    marks({PageMarkKind::FormWithoutAcceptCharset, tag.span.tagStart, url});
  if (hasNonAsciiQuery(url)) marks({PageMarkKind::NonAsciiQuery, tag.span.tagStart, url});
}

std::string pageMarkText(const PageMark& mark, TargetEncoding encoding) {
  return utf16ToUtf8(decodeToWide(mark.value, encoding));
}

}  // namespace sarnavel
