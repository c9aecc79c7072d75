#include "run/server_charset_fix.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/target_options.h"
#include "run/backup_place.h"
#include "run/file_drivers.h"
#include "store/content_hash.h"
#include "store/file_store.h"
#include "text/ascii.h"

namespace sarnavel {
namespace {

// Where a line's charset lies in the text read: its offset and length; none when the line is
// no longer as the run read it.
struct LabelPlace {
  std::size_t at = 0, size = 0;
  std::size_t lineStart = 0, lineEnd = 0;
};

std::optional<LabelPlace> labelPlace(std::string_view text, const ServerCharsetDirective& directive) {
  std::size_t start = 0;
  for (std::size_t line = 1; line < directive.line && start != std::string_view::npos; ++line) {
    start = text.find('\n', start);
    if (start != std::string_view::npos) ++start;
  }
  if (start == std::string_view::npos) return std::nullopt;
  const std::size_t end = std::min(text.find('\n', start), text.size());
  const std::string_view line = text.substr(start, end - start);
  if (line.find(directive.text) == std::string_view::npos) return std::nullopt;
  // The charset's own place: after "charset=" in a media type, else the word after the name.
  const std::string lowered = lowercaseCopy(line);
  const std::size_t charsetIs = lowered.find("charset=");
  const std::size_t after = directive.extensions.empty() || lowered.find("addcharset") != std::string::npos
                                ? lowered.find_first_of(" \t", lowered.find_first_not_of(" \t"))
                            : charsetIs == std::string::npos ? charsetIs
                                                             : charsetIs + 8;
  const std::size_t at = after == std::string::npos ? after : lowered.find(lowercaseCopy(directive.charset), after);
  if (at == std::string::npos) return std::nullopt;
  return LabelPlace{start + at, directive.charset.size(), start, end};
}

// The line as it now reads, from its first word, without its carriage return.
std::string rewrittenLine(std::string_view text, const LabelPlace& place, std::string_view name) {
  std::string line = std::string(text.substr(place.lineStart, place.at - place.lineStart)) + std::string(name) +
                     std::string(text.substr(place.at + place.size, place.lineEnd - place.at - place.size));
  line.erase(0, std::min(line.find_first_not_of(" \t"), line.size()));
  if (line.ends_with('\r')) line.pop_back();
  return line;
}

FileNote keptNote(const ServerCharsetLine& line) {
  const ServerCharsetDirective& d = line.directive;
  return {NoteCode::ServerCharsetKept,
          StoreProblem::None,
          {d.charset, line.htaccess, std::to_string(d.line), d.text, line.kept, line.detail}};
}

FileNote namedNote(const ServerCharsetLine& line) {
  const ServerCharsetDirective& d = line.directive;
  return {NoteCode::ServerCharset, StoreProblem::None, {d.charset, line.htaccess, std::to_string(d.line), d.text}};
}

}  // namespace

FileReport fixHtaccess(std::span<const ServerCharsetLine> lines, const HtaccessWriting& how) {
  FileReport report;
  report.result = ResultCode::WriteFailed;
  std::vector<const ServerCharsetLine*> toFix;
  for (const ServerCharsetLine& line : lines) {
    if (line.kept.empty()) toFix.push_back(&line);
    else report.notes.push_back(keptNote(line));
  }
  if (toFix.empty() || lines.empty()) return report;
  const std::filesystem::path path(lines.front().htaccess);
  std::string text;
  FileIdentity read;
  if (how.store.read({path, NameLink::NotFollowed}, text, &read) != ResultCode::Success) {
    for (const ServerCharsetLine* line : toFix) report.notes.push_back(namedNote(*line));
    report.result = ResultCode::CannotOpen;
    return report;
  }
  const std::string name(charsetNameOf(how.options.targetEncoding));
  std::vector<std::pair<LabelPlace, const ServerCharsetLine*>> places;
  for (const ServerCharsetLine* line : toFix) {
    if (std::optional<LabelPlace> place = labelPlace(text, line->directive)) places.emplace_back(*place, line);
    else report.notes.push_back(keptNote({line->htaccess, line->directive, line->folder, "changed"}));
  }
  if (places.empty()) return report;
  std::sort(places.begin(), places.end(), [](const auto& a, const auto& b) { return a.first.at < b.first.at; });
  std::vector<std::string_view> pieces;
  std::size_t from = 0;
  for (const auto& [place, line] : places) {
    pieces.push_back(std::string_view(text).substr(from, place.at - from));
    pieces.push_back(name);
    from = place.at + place.size;
  }
  pieces.push_back(std::string_view(text).substr(from));
  const std::optional<BackupPlace> place = backupPlaceOf(path, how.options, how.named);
  StoreResult written =
      how.store.replace({path, pieces, &read, how.options.makeBackup, how.records, nullptr, place ? &*place : nullptr});
  report.result = written.result;
  if (!written.ok()) {
    if (written.problem != StoreProblem::None) report.notes.push_back({NoteCode::StoreProblem, written.problem});
    for (const auto& [at, line] : places) report.notes.push_back(namedNote(*line));
    return report;
  }
  report.backup = written.backup;
  for (const auto& [at, line] : places) {
    const ServerCharsetDirective& d = line->directive;
    report.notes.push_back(
        {NoteCode::ServerCharsetFixed,
         StoreProblem::None,
         {d.charset, line->htaccess, std::to_string(d.line), rewrittenLine(text, at, name), report.backup.native()}});
  }
  if (how.records)
    report.written = writeRecordOf({path, read, pieces, written.left, {true, text.size(), hashOf(text)}},
                                   how.options.targetEncoding, report.backup);
  return report;
}

}  // namespace sarnavel
