#include "run/run_report.h"

#include <set>

#include <nlohmann/json.hpp>

#include "run/report_names.h"
#include "run/visible_path.h"

namespace sarnavel {
namespace {

using Json = nlohmann::ordered_json;

// A line is built for every file: its objects get their room at once and their members are
// moved in, where keyed assignment and initialiser lists would look each key up, grow the
// member list and copy every value once more.
Json objectOf(std::size_t members) {
  Json object = Json::object();
  object.get_ref<Json::object_t&>().reserve(members);
  return object;
}

// Adds a member whose key the object does not have yet.
void put(Json& object, const char* key, Json value) {
  object.get_ref<Json::object_t&>().emplace_back(key, std::move(value));
}

Json arrayOf(std::size_t elements) {
  Json array = Json::array();
  array.get_ref<Json::array_t&>().reserve(elements);
  return array;
}

Json position(TextPosition at) {
  std::string text = positionText(at);
  return text.empty() ? Json(nullptr) : Json(std::move(text));
}

// A character's entry, escaped or lost alike: its code point, how often, where first; with
// room for `members` in all.
Json characterEntry(char32_t codePoint, std::size_t count, TextPosition first, std::size_t members) {
  Json entry = objectOf(members);
  put(entry, "codePoint", codePointText(codePoint));
  put(entry, "count", count);
  put(entry, "first", position(first));
  return entry;
}

Json lineBreaks(const LineBreakCounts& counts) {
  Json out = objectOf(3);
  put(out, "crlf", counts.crlf);
  put(out, "lf", counts.lf);
  put(out, "cr", counts.cr);
  return out;
}

Json notes(const std::vector<FileNote>& list) {
  Json out = arrayOf(list.size());
  for (const FileNote& note : list) {
    Json entry = objectOf(3);
    put(entry, "code", note.code);
    put(entry, "line", note.at.line == 0 ? Json(nullptr) : Json(note.at.line));
    put(entry, "text", visiblePath(note.text));
    out.push_back(std::move(entry));
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
  Json line = objectOf(20);
  put(line, "path", std::string(shownPath));
  put(line, "kind", std::string(kindOf(outcome.pass)));
  put(line, "pass", outcome.pass);
  put(line, "result", static_cast<int>(outcome.result));
  if (outcome.document) {
    const DocumentResult& record = *outcome.document;
    const SourceFacts& facts = outcome.facts;
    Json source = objectOf(2);
    put(source, "encoding", facts.encoding);
    put(source, "decidedBy", std::string(decisionBasisName(record.source.basis)));
    put(line, "source", std::move(source));
    Json declared = arrayOf(facts.declared.size());
    for (const DeclaredCharset& d : facts.declared) {
      Json entry = objectOf(2);
      put(entry, "where", d.where);
      put(entry, "charset", visiblePath(d.charset));
      declared.push_back(std::move(entry));
    }
    put(line, "declared", std::move(declared));
    put(line, "target", check ? Json(nullptr) : Json(std::string(targetName(target_))));
    put(line, "declaration", check ? Json(nullptr) : declarationFate(record));
    Json escaped = arrayOf(record.escaped.size());
    for (const EscapedCharacter& c : record.escaped) escaped.push_back(characterEntry(c.codePoint, c.count, c.first, 3));
    Json lost = arrayOf(record.lost.size());
    for (const LostCharacter& c : record.lost) {
      Json entry = characterEntry(c.codePoint, c.count, c.first, 4);
      put(entry, "writtenAs", std::string(standInName(c.writtenAs)));
      lost.push_back(std::move(entry));
    }
    put(line, "escaped", std::move(escaped));
    put(line, "lost", std::move(lost));
    Json invalid = objectOf(2);
    put(invalid, "count", record.invalidBytes.count);
    put(invalid, "first", position(record.invalidBytes.first));
    put(line, "invalidBytes", std::move(invalid));
    Json breaks = objectOf(2);
    put(breaks, "before", lineBreaks(record.lineBreaksBefore));
    put(breaks, "after", check ? Json(nullptr) : lineBreaks(record.lineBreaksAfter));
    put(line, "lineBreaks", std::move(breaks));
    put(line, "bytesBefore", record.bytesBefore);
    put(line, "bytesAfter", check ? Json(nullptr) : Json(record.bytesAfter));
    // Only a backup made now: a file left as it was (already what the conversion gives) has none.
    const bool backedUp = mode_ == ReportMode::Conversion && outcome.backedUp && outcome.result == ResultCode::Success;
    put(line, "backup", backedUp ? Json(std::string(shownPath) + ".bak") : Json(nullptr));
    Json references = arrayOf(record.references.size());
    for (const FoundReference& r : record.references) {
      Json entry = objectOf(4);
      put(entry, "kind", r.kind == LoadedKind::StyleSheet ? "css" : "js");
      put(entry, "reference", visiblePath(r.reference));
      put(entry, "status", std::string(referenceStatusName(r.status)));
      put(entry, "charset", visiblePath(r.formerCharset));
      references.push_back(std::move(entry));
    }
    put(line, "references", std::move(references));
  }
  put(line, "problems", notes(outcome.facts.problems));
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
