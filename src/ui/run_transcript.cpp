#include "ui/run_transcript.h"

#include "report/file_notes.h"
#include "report/run_messages.h"
#include "report/visible_path.h"
#include "ui/readable_path.h"

namespace sarnavel {
namespace {

QString logText(std::string_view entry) {
  const std::string text = withUnixLineEnds(entry);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

RunTranscript::RunTranscript(WriteMode mode, TargetEncoding target)
    : mode_(mode), target_(target), lines_(mode, target) {}

LogEntry RunTranscript::start() const {
  if (mode_ == WriteMode::Check) return {};
  return {logText(plainMessage(start_))};
}

std::string RunTranscript::draft(const FileOutcome& outcome) const {
  return lines_.draft(outcome, visiblePath(outcome.path.native()));
}

LogEntry RunTranscript::file(const FileOutcome& outcome) {
  const std::string shown = readablePath(outcome.path.native());
  const std::vector<NoteLine> warnings = warningsOf(outcome, {mode_, target_, &readablePath});
  LogEntry entry{{}, true, outcome.result != ResultCode::Success, false};
  if (mode_ == WriteMode::Check) {
    const std::size_t before = listing_.filesWithProblems();
    entry.text = logText(listing_.fileLine(outcome, shown));
    entry.warns = listing_.filesWithProblems() != before && !entry.failed;
  } else {
    entry.text = logText(fileEntry(outcome.result, warnings, shown));
    entry.warns = !warnings.empty();
  }
  report_ += lines_.finish(outcome, warnings, outcome.prepared.empty() ? draft(outcome) : outcome.prepared);
  return entry;
}

LogEntry RunTranscript::end(const RunSummary& summary) {
  report_ += lines_.summaryLine(summary);
  if (mode_ == WriteMode::Check && !summary.cancelled) return {logText(listing_.summary())};
  return {logText(endMessage(summary))};
}

LogEntry RunTranscript::memoryNotice(MemoryNotice notice, const std::filesystem::path& folder) {
  return {logText(memoryNoticeMessage(notice, readablePath(folder.native())))};
}

}  // namespace sarnavel
