// Documents for tests of whole runs: Shift_JIS pages, sheets and scripts of a chosen size, and
// what converting one gives (the drivers' own engine call, so a test knows the new bytes).
#pragma once

#include <filesystem>
#include <string>

#include "engine/css_conversion.h"
#include "engine/html_conversion.h"
#include "engine/javascript_conversion.h"
#include "run/conversion_options.h"
#include "run/file_kind.h"
#include "run/reference_files.h"
#include "support/targets.h"
#include "text/cp932.h"

namespace sarnavel::testing {

inline std::string sjis(std::u16string_view text) { return wideToCp932(text); }

// A Shift_JIS document of about `size` bytes, mostly kana and kanji (so its UTF-8 form is
// about half as large again); `seed` varies the text.
inline std::string sjisDocument(FileKind kind, std::size_t size, int seed = 0) {
  static const std::u16string line = u"日本語の文章です。ひらがな、カタカナ、漢字。①㈱ ｶﾀｶﾅ";
  std::string body;
  do body += sjis(line) + std::to_string(seed) + "\r\n";
  while (body.size() < size);
  switch (kind) {
    case FileKind::Html:
      return "<html><head><title>" + sjis(u"表題") + std::to_string(seed) + "</title></head><body>\r\n<p>" + body +
             "</p></body></html>\r\n";
    case FileKind::Css: return "p:before { content: \"" + sjis(u"日本") + "\"; }\r\n/* " + body + " */\r\n";
    default: return "var s = \"" + sjis(u"日本") + std::to_string(seed) + "\";\r\n// " + body;
  }
}

// A run's options for the target of the given index.
inline ConversionOptions optionsFor(int target, bool makeBackup = true) {
  ConversionOptions options;
  options.targetEncoding = asTarget(target);
  options.makeBackup = makeBackup;
  return options;
}
inline ConversionOptions toUtf8(bool makeBackup = true) { return optionsFor(3, makeBackup); }

// What converting `bytes`, the content of a file named `path`, gives.
inline std::string convertedContent(const std::filesystem::path& path, std::string bytes,
                                    const ConversionOptions& options = toUtf8()) {
  const FileKind kind = classifyExtension(path.native());
  (void)(kind == FileKind::Html  ? convertHtml(bytes, options, FileSystemResolver(path.parent_path()))
         : kind == FileKind::Css ? convertCss(bytes, options)
                                 : convertJavaScript(bytes, options));
  return bytes;
}

}  // namespace sarnavel::testing
