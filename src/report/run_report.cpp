#include "report/run_report.h"

#include <cstdint>
#include <optional>
#include <set>

#include "report/file_notes.h"
#include "text/json_writer.h"
#include "report/report_names.h"
#include "report/source_facts.h"
#include "report/visible_path.h"

namespace sarnavel {
namespace {

// A position's "line:column", or null when it is not known.
void position(JsonWriter& out, TextPosition at) {
  const std::string text = positionText(at);
  if (text.empty()) out.null();
  else out.string(text);
}

// A character's entry, escaped or lost alike, up to its closing brace: its code point, how
// often, where first.
void characterEntry(JsonWriter& out, char32_t codePoint, std::size_t count, TextPosition first) {
  out.openObject();
  out.key("codePoint");
  out.string(codePointText(codePoint));
  out.key("count");
  out.number(count);
  out.key("first");
  position(out, first);
}

void lineBreaks(JsonWriter& out, const LineBreakCounts& counts) {
  out.openObject();
  out.key("crlf");
  out.number(counts.crlf);
  out.key("lf");
  out.number(counts.lf);
  out.key("cr");
  out.number(counts.cr);
  out.closeObject();
}

void notes(JsonWriter& out, const std::vector<NoteLine>& list) {
  out.openArray();
  for (const NoteLine& note : list) {
    out.openObject();
    out.key("code");
    out.string(note.code);
    out.key("line");
    if (note.at.line == 0) out.null();
    else out.number(note.at.line);
    out.key("text");
    out.string(visiblePath(note.text));
    out.closeObject();
  }
  out.closeArray();
}

// What became of the declaration a browser reads: a page's content-type meta (else its first
// other one), a sheet's @charset rule; nothing when there is none.
std::optional<std::string_view> declarationFate(const DocumentResult& record) {
  if (record.declarations.empty()) return std::nullopt;
  for (const Declaration& d : record.declarations) {
    if (d.form == DeclarationForm::ContentTypeMeta || d.form == DeclarationForm::CharsetRule)
      return declarationFateName(d.fate);
  }
  return declarationFateName(record.declarations.front().fate);
}

// The fields "source" and "declared".
void sourceFields(JsonWriter& out, const DocumentResult& record, const SourceFacts& facts) {
  out.key("source");
  out.openObject();
  out.key("encoding");
  out.string(facts.encoding);
  out.key("decidedBy");
  out.string(decisionBasisName(record.source.basis));
  out.closeObject();
  out.key("declared");
  out.openArray();
  for (const DeclaredCharset& d : facts.declared) {
    out.openObject();
    out.key("where");
    out.string(d.where);
    out.key("charset");
    out.string(visiblePath(d.charset));
    out.closeObject();
  }
  out.closeArray();
}

// The fields "escaped", "lost" and "invalidBytes".
void characterFields(JsonWriter& out, const DocumentResult& record) {
  out.key("escaped");
  out.openArray();
  for (const EscapedCharacter& c : record.escaped) {
    characterEntry(out, c.codePoint, c.count, c.first);
    out.closeObject();
  }
  out.closeArray();
  out.key("lost");
  out.openArray();
  for (const LostCharacter& c : record.lost) {
    characterEntry(out, c.codePoint, c.count, c.first);
    out.key("writtenAs");
    out.string(standInName(c.writtenAs));
    out.closeObject();
  }
  out.closeArray();
  out.key("invalidBytes");
  out.openObject();
  out.key("count");
  out.number(record.invalidBytes.count);
  out.key("first");
  position(out, record.invalidBytes.first);
  out.closeObject();
}

// The field "references", and "referencesUnlisted" when some are.
void referenceFields(JsonWriter& out, const DocumentResult& record) {
  out.key("references");
  out.openArray();
  for (const FoundReference& r : record.references) {
    out.openObject();
    out.key("kind");
    out.string(r.kind == LoadedKind::StyleSheet ? "css" : "js");
    out.key("reference");
    out.string(visiblePath(r.reference));
    out.key("status");
    out.string(referenceStatusName(r.status));
    out.key("charset");
    out.string(visiblePath(r.formerCharset));
    out.closeObject();
  }
  out.closeArray();
  if (record.references.unlisted() > 0) {
    out.key("referencesUnlisted");
    out.number(record.references.unlisted());
  }
}

void tally(JsonWriter& out, std::string_view name, const std::map<std::string, std::size_t>& counts) {
  out.key(name);
  out.openObject();
  for (const auto& [code, count] : counts) {
    out.key(code);
    out.number(count);
  }
  out.closeObject();
}

}  // namespace

RunReport::RunReport(WriteMode mode, TargetEncoding target) : mode_(mode), target_(target) {}

std::string RunReport::fileLine(const FileOutcome& outcome, std::string_view shownPath) {
  return finish(outcome, warningsOf(outcome, {mode_, target_, {}}), draft(outcome, shownPath));
}

std::string RunReport::draft(const FileOutcome& outcome, std::string_view shownPath) const {
  const bool check = mode_ == WriteMode::Check;
  const SourceFacts facts = sourceFactsOf(outcome);
  JsonWriter out;
  out.openObject();
  out.key("path");
  out.string(shownPath);
  out.key("kind");
  out.string(outcome.pass == kServerCharsetPass ? "htaccess"
                                                : documentKindName(kindOfFile(outcome.pass, outcome.path)));
  out.key("pass");
  out.number(static_cast<std::uint64_t>(outcome.pass));
  out.key("result");
  out.number(static_cast<std::uint64_t>(outcome.result));
  if (outcome.document) {
    const DocumentResult& record = *outcome.document;
    sourceFields(out, record, facts);
    out.key("target");
    if (check) out.null();
    else out.string(targetName(target_));
    out.key("declaration");
    const std::optional<std::string_view> fate = check ? std::nullopt : declarationFate(record);
    if (fate) out.string(*fate);
    else out.null();
    characterFields(out, record);
    out.key("lineBreaks");
    out.openObject();
    out.key("before");
    lineBreaks(out, record.lineBreaksBefore);
    out.key("after");
    if (check) out.null();
    else lineBreaks(out, record.lineBreaksAfter);
    out.closeObject();
    out.key("bytesBefore");
    out.number(record.bytesBefore);
    out.key("bytesAfter");
    if (check) out.null();
    else out.number(record.bytesAfter);
    // Only a backup made now: a file left as it was (already what the conversion gives) has none.
    const bool backedUp = mode_ == WriteMode::Write && !outcome.backup.empty() && outcome.result == ResultCode::Success;
    out.key("backup");
    if (backedUp) out.string(visiblePath(outcome.backup.native()));
    else out.null();
    referenceFields(out, record);
  }
  out.key("problems");
  notes(out, facts.problems);
  // The warnings come last, added by finish: the draft is the line's text up to them, without
  // the object's closing brace.
  return out.take();
}

std::string RunReport::finish(const FileOutcome& outcome, const std::vector<NoteLine>& warnings, std::string draft) {
  ++entries_;
  JsonWriter warningsOut;
  notes(warningsOut, warnings);
  draft += ",\"warnings\":";
  draft += warningsOut.take();
  draft += "}\n";
  // A file pages load that was listed too is no file more: only warnings it had not had count.
  std::set<std::string> fresh;
  std::set<std::string>* counted = nullptr;
  if (outcome.pass == 2 || outcome.pass == 3) counted = &listedWarnings_[outcome.path.native()];
  if (outcome.pass >= 4) {
    if (auto listed = listedWarnings_.find(outcome.path.native()); listed != listedWarnings_.end())
      counted = &listed->second;
  }
  const bool again = counted && outcome.pass >= 4;
  if (!again) {
    ++files_;
    const SourceFacts facts = sourceFactsOf(outcome);
    if (outcome.document) encodings_[facts.encoding] += 1;
    std::set<std::string> codes;
    for (const NoteLine& note : facts.problems) codes.insert(note.code);
    for (const std::string& code : codes) problems_[code] += 1;
  }
  if (!counted) counted = &fresh;
  for (const NoteLine& note : warnings) {
    if (counted->insert(note.code).second) warnings_[note.code] += 1;
  }
  return draft;
}

std::string RunReport::summaryLine(const RunSummary& summary) const {
  JsonWriter out;
  out.openObject();
  out.key("version");
  out.number(1);
  out.key("mode");
  out.string(takingBack_.empty() ? modeName(mode_) : std::string_view(takingBack_));
  out.key("target");
  if (mode_ == WriteMode::Check) out.null();
  else out.string(targetName(target_));
  out.key("files");
  out.number(files_);
  out.key("entries");
  out.number(entries_);
  out.key("successes");
  out.number(static_cast<std::uint64_t>(summary.successes));
  out.key("failures");
  out.number(static_cast<std::uint64_t>(summary.failures));
  out.key("cancelled");
  out.boolean(summary.cancelled);
  tally(out, "encodings", encodings_);
  tally(out, "problems", problems_);
  tally(out, "warnings", warnings_);
  out.closeObject();
  return out.take() + "\n";
}

}  // namespace sarnavel
