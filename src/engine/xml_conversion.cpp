#include "engine/xml_conversion.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "engine/conversion_steps.h"
#include "engine/escaping.h"
#include "engine/page_declarations.h"
#include "engine/page_edits.h"
#include "text/line_breaks.h"
#include "text/text_position.h"
#include "text/utf8.h"

namespace sarnavel {

namespace {

std::string declaredInXml(std::string_view bytes) { return xmlDeclarationEncoding(bytes).value_or(""); }

// Where a character stands, as far as what may stand for it.
enum class XmlPlace { Content, Tag, Attribute, CData, Comment, Instruction };

// Walks a UTF-8 XML text forward, copying it with each character the target lacks replaced by
// what its place allows, and records those characters with their positions.
class XmlEscaper {
 public:
  XmlEscaper(std::string_view text, TargetEncoding target, DocumentResult& record)
      : text_(text), target_(target), record_(record), positions_(text, SourceForm::Utf8) {}

  std::string run() {
    out_.reserve(text_.size() + text_.size() / 16);
    while (at_ < text_.size()) {
      if (const std::size_t marked = placeMark(); marked > 0) {
        out_.append(text_.substr(at_, marked));
        at_ += marked;
        continue;
      }
      const auto byte = static_cast<unsigned char>(text_[at_]);
      if (byte < 0x80) {
        out_.push_back(text_[at_]);
        ++at_;
        continue;
      }
      char32_t codePoint = 0xFFFD;
      std::size_t errorLength = 1;
      std::size_t length = readUtf8Sequence(reinterpret_cast<const unsigned char*>(text_.data()) + at_,
                                            text_.size() - at_, codePoint, errorLength);
      if (length == 0) length = errorLength;
      write(codePoint, text_.substr(at_, length));
      at_ += length;
    }
    return std::move(out_);
  }

 private:
  // The length of the mark at the walk that opens or closes a place (moving to it), else 0.
  std::size_t placeMark() {
    const std::string_view rest = text_.substr(at_);
    auto to = [&](XmlPlace place, std::size_t length) {
      place_ = place;
      return length;
    };
    switch (place_) {
      case XmlPlace::Content:
        if (rest.starts_with("<!--")) return to(XmlPlace::Comment, 4);
        if (rest.starts_with("<![CDATA[")) return to(XmlPlace::CData, 9);
        if (rest.starts_with("<?")) return to(XmlPlace::Instruction, 2);
        if (rest.starts_with("<")) return to(XmlPlace::Tag, 1);
        return 0;
      case XmlPlace::Tag:
        if (rest[0] == '"' || rest[0] == '\'') {
          quote_ = rest[0];
          return to(XmlPlace::Attribute, 1);
        }
        return rest[0] == '>' ? to(XmlPlace::Content, 1) : 0;
      case XmlPlace::Attribute: return rest[0] == quote_ ? to(XmlPlace::Tag, 1) : 0;
      case XmlPlace::CData: return rest.starts_with("]]>") ? to(XmlPlace::Content, 3) : 0;
      case XmlPlace::Comment: return rest.starts_with("-->") ? to(XmlPlace::Content, 3) : 0;
      case XmlPlace::Instruction: return rest.starts_with("?>") ? to(XmlPlace::Content, 2) : 0;
    }
    return 0;
  }

  void write(char32_t codePoint, std::string_view bytes) {
    if (targetHolds(target_, codePoint)) {
      out_.append(bytes);
      return;
    }
    char reference[16];
    const int n = std::snprintf(reference, sizeof reference, "&#x%X;", static_cast<unsigned>(codePoint));
    const std::string_view escape(reference, static_cast<std::size_t>(n));
    if (place_ == XmlPlace::Content || place_ == XmlPlace::Attribute || place_ == XmlPlace::CData) {
      if (place_ == XmlPlace::CData) out_ += "]]>";
      out_.append(escape);
      if (place_ == XmlPlace::CData) out_ += "<![CDATA[";
      count(record_.escaped, escapedAt_, codePoint);
      return;
    }
    appendUtf8(out_, U'\u3013');
    count(record_.lost, lostAt_, codePoint);
  }

  template <class Character>
  void count(std::vector<Character>& characters, std::map<char32_t, std::size_t>& index, char32_t codePoint) {
    const auto [found, added] = index.try_emplace(codePoint, characters.size());
    if (added) {
      characters.push_back({});
      characters.back().codePoint = codePoint;
      characters.back().first = positions_.at(at_);  // the character being written
    }
    ++characters[found->second].count;
  }

  std::string_view text_;
  TargetEncoding target_;
  DocumentResult& record_;
  std::string out_;
  PositionFinder positions_;  // asked only for the first of each character, forward
  std::size_t at_ = 0;
  XmlPlace place_ = XmlPlace::Content;
  char quote_ = '"';
  std::map<char32_t, std::size_t> escapedAt_, lostAt_;
};

bool before(const TextPosition& a, const TextPosition& b) {
  return a.line != b.line ? a.line < b.line : a.column < b.column;
}

// The document read (its XML declaration weighed) and converted whole into `choice`.
DocumentResult readAs(std::string& bytes, const TargetChoice& choice, const EncodingEvidence& evidence) {
  return convertTrustingDeclaration([&](ValidityCheck check) {
    return convertWholeText(bytes, {.kind = DocumentKind::Text, .declarationOf = &declaredInXml, .check = check},
                            choice, evidence);
  });
}

}  // namespace

DocumentResult convertXml(std::string& text, const TargetChoice& options, const EncodingEvidence& evidence) {
  // Every character as itself first, in UTF-8, with the line endings chosen.
  std::string working = text;
  DocumentResult result = readAs(working, {TargetEncoding::Utf8, options.lineEnding, true}, evidence);
  std::vector<LostCharacter> lostAsRead = std::move(result.lost);
  result.lost.clear();
  std::string converted = XmlEscaper(working, options.targetEncoding, result).run();
  const bool nothingLacks = result.escaped.empty() && result.lost.empty() && lostAsRead.empty();
  for (LostCharacter& lost : lostAsRead) result.lost.push_back(lost);
  std::stable_sort(result.lost.begin(), result.lost.end(),
                   [](const LostCharacter& a, const LostCharacter& b) { return before(a.first, b.first); });
  ConverterOptions converter;
  const std::string charsetName = applyTargetEncoding(converter, options.targetEncoding, LineEnding::Unchanged);
  if (options.targetEncoding != TargetEncoding::Utf8 && nothingLacks) {
    // The source goes to the target directly, as a text does: one in the target's encoding keeps
    // its bytes (code page 932 has twins that Unicode makes one).
    converted = text;
    result = readAs(converted, options, evidence);
  } else if (options.targetEncoding != TargetEncoding::Utf8) {
    // The target holds every character now: the converter carries the text there as it is.
    converter.inputEncoding = InputEncoding::ShiftJis;
    converted = convertText(converter, escapeUtf8(EscapeLanguage::Html, converted));
  }
  // The declaration is ASCII at the very start, in every target.
  std::vector<PageEdit> edits;
  if (options.targetEncoding != TargetEncoding::Utf8)
    xmlDeclarationEdits(converted, charsetName, edits, result.declarations);
  xmlEncodingEdit(converted, charsetName, edits, result.declarations);
  sortPageEdits(edits);
  applyPageEdits(converted, std::move(edits));
  result.lineBreaksAfter = countLineBreaks(converted);
  result.bytesAfter = converted.size();
  text = std::move(converted);
  return result;
}

}  // namespace sarnavel
