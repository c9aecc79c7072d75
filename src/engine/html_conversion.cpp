#include "engine/html_conversion.h"

#include <new>

#include "engine/charset_attributes.h"
#include "engine/converter.h"
#include "engine/escape_language.h"
#include "engine/latin1_label.h"
#include "engine/page_escaping.h"
#include "html/head_analysis.h"
#include "text/cp1252.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

// Writes the content-type declaration into the converted page as the second analysis finds it.
void writeDeclaration(std::string& page, const PARSE1INFO& info, const std::string& charsetName) {
  std::string declaration = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charsetName;
  declaration += info.metaSelfClosing ? "\" />" : "\">";
  if (info.hasContentTypeMeta) {
    const bool inPlace = (info.hasHead && info.metaStart <= info.headStart) || !info.hasTitle || info.metaStart < info.titleStart;
    if (inPlace) {
      page.replace(info.metaStart, info.metaEnd - info.metaStart, declaration);
    } else {
      // The old declaration lies after the title's start tag, so removing it leaves titleStart valid.
      page.erase(info.metaStart, info.metaEnd - info.metaStart);
      page.insert(info.titleStart, declaration);
    }
  } else if (info.hasHead) {
    page.insert(info.headEnd, declaration);
  }
}

}  // namespace

ResultCode convertHtml(std::string& text, const ConversionOptions& options, const std::filesystem::path& pageFolder,
                       ReferencedFiles& referenced, TextOrigin origin) {
  try {
    ConverterOptions converterOptions;
    std::string charsetName = applyTargetEncoding(converterOptions, options.targetEncoding, options.lineEnding);
    converterOptions.escapeLanguage = EscapeLanguage::Html;

    std::string prepared;
    const bool asRead = origin == TextOrigin::AsRead;
    const bool wasUtf8 = asRead && isUtf8Text(text);
    const bool hadByteOrderMark = std::string_view(text).starts_with("\xEF\xBB\xBF");
    if (wasUtf8) {
      std::u16string wide = decodeUtf8(text);
      std::u16string_view rest = wide;
      if (!rest.empty() && rest.front() == 0xFEFF) rest.remove_prefix(1);
      prepared = escapeHtmlPage(rest);
    }
    std::string_view current = wasUtf8 ? std::string_view(prepared) : std::string_view(text);

    PARSE1INFO info;
    // A page declared Latin-1 is read as code page 1252, unless a byte-order mark made it
    // UTF-8 for the browser; without one, browsers read a UTF-8 page's original bytes that way.
    if (analyseHead(current, info) && asRead && isLatin1Label(info.charset) && !(wasUtf8 && hadByteOrderMark)) {
      prepared = escapeHtmlPage(decodeCp1252Decomposed(text));
      current = prepared;
    }

    std::string converted = convertText(converterOptions, current);
    prepared = std::string();

    if (analyseHead(converted, info)) writeDeclaration(converted, info, charsetName);
    setCharsetAttributes(converted, charsetName, info.contentScriptType, options, pageFolder, referenced);
    text = std::move(converted);
    return ResultCode::Success;
  } catch (const std::bad_alloc&) {
    return ResultCode::OutOfMemory;
  }
}

}  // namespace sarnavel
