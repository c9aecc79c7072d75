#include "run/run_report.h"

#include <set>

#include <nlohmann/json.hpp>

#include "run/report_names.h"
#include "run/visible_path.h"

namespace sarnavel {
namespace {

using Json = nlohmann::ordered_json;

Json position(TextPosition at) {
  const std::string text = positionText(at);
  return text.empty() ? Json(nullptr) : Json(text);
}

Json lineBreaks(const LineBreakCounts& counts) {
  return Json{{"crlf", counts.crlf}, {"lf", counts.lf}, {"cr", counts.cr}};
}

Json notes(const std::vector<FileNote>& list) {
  Json out = Json::array();
  for (const FileNote& note : list) {
    out.push_back({{"code", note.code},
                   {"line", note.at.line == 0 ? Json(nullptr) : Json(note.at.line)},
                   {"text", visiblePath(note.text)}});
  }
  return out;
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
Json declarationFate(const DocumentResult& record) {
  if (record.declarations.empty()) return nullptr;
  for (const Declaration& d : record.declarations) {
    if (d.form == DeclarationForm::ContentTypeMeta || d.form == DeclarationForm::CharsetRule)
      return std::string(declarationFateName(d.fate));
  }
  return std::string(declarationFateName(record.declarations.front().fate));
}

std::string_view modeName(ReportMode mode) {
  switch (mode) {
    case ReportMode::Conversion: return "conversion";
    case ReportMode::DryRun: return "dry-run";
    case ReportMode::Check: break;
  }
  return "check";
}

// A JSON value's compact text, as every line of the report is written (invalid UTF-8 replaced).
std::string compact(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

Json tally(const std::map<std::string, std::size_t>& counts) {
  Json out = Json::object();
  for (const auto& [name, count] : counts) out[name] = count;
  return out;
}

}  // namespace

RunReport::RunReport(ReportMode mode, TargetEncoding target) : mode_(mode), target_(target) {}

std::string RunReport::fileLine(const FileOutcome& outcome, std::string_view shownPath) {
  return finish(outcome, draft(outcome, shownPath));
}

std::string RunReport::draft(const FileOutcome& outcome, std::string_view shownPath) const {
  const bool check = mode_ == ReportMode::Check;
  Json line;
  line["path"] = std::string(shownPath);
  line["kind"] = std::string(kindOf(outcome.pass));
  line["pass"] = outcome.pass;
  line["result"] = static_cast<int>(outcome.result);
  if (outcome.document) {
    const DocumentResult& record = *outcome.document;
    const SourceFacts& facts = outcome.facts;
    line["source"] = {{"encoding", facts.encoding}, {"decidedBy", std::string(decisionBasisName(record.source.basis))}};
    Json declared = Json::array();
    for (const DeclaredCharset& d : facts.declared)
      declared.push_back({{"where", d.where}, {"charset", visiblePath(d.charset)}});
    line["declared"] = std::move(declared);
    line["target"] = check ? Json(nullptr) : Json(std::string(targetName(target_)));
    line["declaration"] = check ? Json(nullptr) : declarationFate(record);
    Json escaped = Json::array(), lost = Json::array();
    for (const EscapedCharacter& c : record.escaped)
      escaped.push_back({{"codePoint", codePointText(c.codePoint)}, {"count", c.count}, {"first", position(c.first)}});
    for (const LostCharacter& c : record.lost) {
      lost.push_back({{"codePoint", codePointText(c.codePoint)},
                      {"count", c.count},
                      {"first", position(c.first)},
                      {"writtenAs", std::string(standInName(c.writtenAs))}});
    }
    line["escaped"] = std::move(escaped);
    line["lost"] = std::move(lost);
    line["invalidBytes"] = {{"count", record.invalidBytes.count}, {"first", position(record.invalidBytes.first)}};
    line["lineBreaks"] = {{"before", lineBreaks(record.lineBreaksBefore)},
                          {"after", check ? Json(nullptr) : lineBreaks(record.lineBreaksAfter)}};
    line["bytesBefore"] = record.bytesBefore;
    line["bytesAfter"] = check ? Json(nullptr) : Json(record.bytesAfter);
    // Only a backup made now: a file left as it was (already what the conversion gives) has none.
    const bool backedUp = mode_ == ReportMode::Conversion && outcome.backedUp && outcome.result == ResultCode::Success;
    line["backup"] = backedUp ? Json(std::string(shownPath) + ".bak") : Json(nullptr);
    Json references = Json::array();
    for (const FoundReference& r : record.references) {
      references.push_back({{"kind", r.kind == LoadedKind::StyleSheet ? "css" : "js"},
                            {"reference", visiblePath(r.reference)},
                            {"status", std::string(referenceStatusName(r.status))},
                            {"charset", visiblePath(r.formerCharset)}});
    }
    line["references"] = std::move(references);
  }
  line["problems"] = notes(outcome.facts.problems);
  // The warnings come last, added by finish: the draft is the line's text up to them, without
  // the object's closing brace.
  std::string text = compact(line);
  text.pop_back();
  return text;
}

std::string RunReport::finish(const FileOutcome& outcome, std::string draft) {
  ++files_;
  if (outcome.document) encodings_[outcome.facts.encoding] += 1;
  draft += ",\"warnings\":";
  draft += compact(notes(outcome.notes));
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
  return compact(line) + "\n";
}

}  // namespace sarnavel
