#include "run/rewritten_file.h"

#include <sys/stat.h>

#include "text/source_encoding.h"
#include "text/line_breaks.h"

namespace sarnavel {

std::optional<RewrittenFile> rewrittenFileOf(DocumentKind kind, TargetEncoding target, const DocumentResult& first,
                                             std::string_view output, const FileStamp& stamp) {
  if (target == TargetEncoding::Iso2022Jp || first.invalidBytes.count != 0 || !first.lost.empty() ||
      output.starts_with("\xEF\xBB\xBF") || recogniseContent(output).form != ContentForm::Bytes ||
      stamp.size != static_cast<off_t>(output.size()))
    return std::nullopt;
  RewrittenFile file{stamp, countLineBreaks(output), {}};
  if (kind == DocumentKind::StyleSheet) {
    // The rule the conversion put first: `@charset "label";`.
    constexpr std::string_view kStart = "@charset \"";
    if (!output.starts_with(kStart)) return std::nullopt;
    const std::size_t end = output.find('"', kStart.size());
    if (end == std::string_view::npos || output.substr(end, 2) != "\";") return std::nullopt;
    file.charsetLabel = output.substr(kStart.size(), end - kStart.size());
  }
  return file;
}

std::optional<DocumentResult> unchangedSinceWritten(const std::string& path, const RewrittenFile& file,
                                                    DocumentKind kind, TargetEncoding target) {
  struct stat now;
  if (::lstat(path.c_str(), &now) != 0 || !S_ISREG(now.st_mode) || !stillAsStamped(file.stamp, now))
    return std::nullopt;
  DocumentResult document;
  document.source = {sourceEncodingOf(target), DecisionBasis::WrittenByThisRun};
  if (kind == DocumentKind::StyleSheet)
    document.declarations.push_back({DeclarationForm::CharsetRule, file.charsetLabel, DeclarationFate::Replaced});
  document.lineBreaksBefore = document.lineBreaksAfter = file.lineBreaks;
  document.bytesBefore = document.bytesAfter = static_cast<std::size_t>(file.stamp.size);
  return document;
}

}  // namespace sarnavel
