#include "run/run_report.h"

#include <set>

#include <nlohmann/json.hpp>

#include "run/json_writer.h"
#include "run/report_names.h"
#include "run/visible_path.h"

namespace sarnavel {
namespace {

using Json = nlohmann::ordered_json;

void writePosition(JsonWriter& json, TextPosition at) {
  const std::string text = positionText(at);
  if (text.empty()) json.null();
  else json.string(text);
}

void writeLineBreaks(JsonWriter& json, const LineBreakCounts& counts) {
  json.openObject();
  json.key("crlf");
  json.number(counts.crlf);
  json.key("lf");
  json.number(counts.lf);
  json.key("cr");
  json.number(counts.cr);
  json.closeObject();
}

void writeNotes(JsonWriter& json, const std::vector<FileNote>& list) {
  json.openArray();
  for (const FileNote& note : list) {
    json.openObject();
    json.key("code");
    json.string(note.code);
    json.key("line");
    if (note.at.line == 0) json.null();
    else json.number(note.at.line);
    json.key("text");
    json.string(visiblePath(note.text));
    json.closeObject();
  }
  json.closeArray();
}

std::string_view kindOf(int pass) {
  if (pass == 1) return "html";
  return pass % 2 == 0 ? "css" : "js";
}

std::string_view referenceStatusName(ReferenceStatus status) {
  switch (status) {
    case ReferenceStatus::Remote: return "remote";
    case ReferenceStatus::Missing: return "missing";
    case ReferenceStatus::Followable: return "followed";
    case ReferenceStatus::WrongKind: return "wrong-kind";
    case ReferenceStatus::Binary: break;
  }
  return "binary";
}

// What became of the declaration a browser reads: a page's content-type meta (else its first
// other one), a sheet's @charset rule.
void writeDeclarationFate(JsonWriter& json, const DocumentResult& record) {
  if (record.declarations.empty()) return json.null();
  for (const Declaration& d : record.declarations) {
    if (d.form == DeclarationForm::ContentTypeMeta || d.form == DeclarationForm::CharsetRule)
      return json.string(declarationFateName(d.fate));
  }
  json.string(declarationFateName(record.declarations.front().fate));
}

std::string_view modeName(ReportMode mode) {
  switch (mode) {
    case ReportMode::Conversion: return "conversion";
    case ReportMode::DryRun: return "dry-run";
    case ReportMode::Check: break;
  }
  return "check";
}

Json tally(const std::map<std::string, std::size_t>& counts) {
  Json out = Json::object();
  for (const auto& [name, count] : counts) out[name] = count;
  return out;
}

}  // namespace

RunReport::RunReport(ReportMode mode, TargetEncoding target, bool backups)
    : mode_(mode), target_(target), backups_(backups) {}

std::string RunReport::fileLine(const FileOutcome& outcome, std::string_view shownPath) {
  return finish(outcome, draft(outcome, shownPath));
}

std::string RunReport::draft(const FileOutcome& outcome, std::string_view shownPath) const {
  const bool check = mode_ == ReportMode::Check;
  std::string text;
  text.reserve(1024);
  JsonWriter json(text);
  json.openObject();
  json.key("path");
  json.string(shownPath);
  json.key("kind");
  json.string(kindOf(outcome.pass));
  json.key("pass");
  json.number(static_cast<std::uint64_t>(outcome.pass));
  json.key("result");
  json.number(static_cast<std::uint64_t>(outcome.result));
  if (outcome.document) {
    const DocumentResult& record = *outcome.document;
    const SourceFacts& facts = outcome.facts;
    json.key("source");
    json.openObject();
    json.key("encoding");
    json.string(facts.encoding);
    json.key("decidedBy");
    json.string(decisionBasisName(record.source.basis));
    json.closeObject();
    json.key("declared");
    json.openArray();
    for (const DeclaredCharset& d : facts.declared) {
      json.openObject();
      json.key("where");
      json.string(d.where);
      json.key("charset");
      json.string(visiblePath(d.charset));
      json.closeObject();
    }
    json.closeArray();
    json.key("target");
    if (check) json.null();
    else json.string(targetName(target_));
    json.key("declaration");
    if (check) json.null();
    else writeDeclarationFate(json, record);
    json.key("escaped");
    json.openArray();
    for (const EscapedCharacter& c : record.escaped) {
      json.openObject();
      json.key("codePoint");
      json.string(codePointText(c.codePoint));
      json.key("count");
      json.number(c.count);
      json.key("first");
      writePosition(json, c.first);
      json.closeObject();
    }
    json.closeArray();
    json.key("lost");
    json.openArray();
    for (const LostCharacter& c : record.lost) {
      json.openObject();
      json.key("codePoint");
      json.string(codePointText(c.codePoint));
      json.key("count");
      json.number(c.count);
      json.key("first");
      writePosition(json, c.first);
      json.key("writtenAs");
      json.string(standInName(c.writtenAs));
      json.closeObject();
    }
    json.closeArray();
    json.key("invalidBytes");
    json.openObject();
    json.key("count");
    json.number(record.invalidBytes.count);
    json.key("first");
    writePosition(json, record.invalidBytes.first);
    json.closeObject();
    json.key("lineBreaks");
    json.openObject();
    json.key("before");
    writeLineBreaks(json, record.lineBreaksBefore);
    json.key("after");
    if (check) json.null();
    else writeLineBreaks(json, record.lineBreaksAfter);
    json.closeObject();
    json.key("bytesBefore");
    json.number(record.bytesBefore);
    json.key("bytesAfter");
    if (check) json.null();
    else json.number(record.bytesAfter);
    json.key("backup");
    const bool backedUp = mode_ == ReportMode::Conversion && backups_ && outcome.result == ResultCode::Success;
    if (backedUp) json.string(std::string(shownPath) + ".bak");
    else json.null();
    json.key("references");
    json.openArray();
    for (const FoundReference& r : record.references) {
      json.openObject();
      json.key("kind");
      json.string(r.kind == LoadedKind::StyleSheet ? "css" : "js");
      json.key("reference");
      json.string(visiblePath(r.reference));
      json.key("status");
      json.string(referenceStatusName(r.status));
      json.key("charset");
      json.string(visiblePath(r.formerCharset));
      json.closeObject();
    }
    json.closeArray();
  }
  json.key("problems");
  writeNotes(json, outcome.facts.problems);
  // The warnings come last, written by finish: the draft is the line's text up to them.
  return text;
}

std::string RunReport::finish(const FileOutcome& outcome, std::string draft) {
  ++files_;
  if (outcome.document) encodings_[outcome.facts.encoding] += 1;
  draft += ",\"warnings\":";
  JsonWriter warnings(draft);
  writeNotes(warnings, outcome.notes);
  draft += "}\n";
  std::set<std::string> codes;
  for (const FileNote& note : outcome.facts.problems) codes.insert(note.code);
  for (const std::string& code : codes) problems_[code] += 1;
  codes.clear();
  for (const FileNote& note : outcome.notes) codes.insert(note.code);
  for (const std::string& code : codes) warnings_[code] += 1;
  return draft;
}

std::string RunReport::summaryLine(const RunSummary& summary) const {
  Json line;
  line["version"] = 1;
  line["mode"] = std::string(modeName(mode_));
  line["target"] = mode_ == ReportMode::Check ? Json(nullptr) : Json(std::string(targetName(target_)));
  line["files"] = files_;
  line["successes"] = summary.successes;
  line["failures"] = summary.failures;
  line["cancelled"] = summary.cancelled;
  line["encodings"] = tally(encodings_);
  line["problems"] = tally(problems_);
  line["warnings"] = tally(warnings_);
  return line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace sarnavel
