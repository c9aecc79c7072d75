#include "report/check_listing.h"

#include <set>

#include "report/report_names.h"
#include "report/source_facts.h"
#include "report/visible_path.h"

namespace sarnavel {
namespace {

std::string counted(const std::map<std::string, std::size_t>& counts) {
  std::string text;
  for (const auto& [name, count] : counts) {
    if (!text.empty()) text += ", ";
    text += name + " " + std::to_string(count);
  }
  return text;
}

}  // namespace

std::string CheckListing::fileLine(const FileOutcome& outcome, std::string_view shownPath) {
  ++files_;
  std::string line(shownPath);
  if (!outcome.document) {
    ++filesWithProblems_;
    problems_["unreadable"] += 1;
    return line + "\t-\t-\tunreadable\n";
  }
  const SourceFacts facts = sourceFactsOf(outcome);
  encodings_[facts.encoding] += 1;
  line += "\t" + facts.encoding + "\t";
  if (facts.declared.empty()) line += "-";
  for (std::size_t k = 0; k < facts.declared.size(); ++k) {
    // A label is the file's own text: escaped like a path, its blanks too, so columns stay apart.
    std::string label = visiblePath(facts.declared[k].charset);
    for (char& c : label) c = c == ' ' ? '_' : c;
    line += (k > 0 ? " " : "") + facts.declared[k].where + "=" + label;
  }
  line += "\t";
  if (facts.problems.empty()) return line + "ok\n";
  ++filesWithProblems_;
  std::set<std::string> codes;
  for (std::size_t k = 0; k < facts.problems.size(); ++k) {
    const NoteLine& problem = facts.problems[k];
    if (!codes.insert(problem.code).second) continue;
    if (codes.size() > 1) line += " ";
    line += problem.code;
    if (const std::string at = positionText(problem.at); !at.empty()) line += "@" + at;
  }
  for (const std::string& code : codes) problems_[code] += 1;
  return line + "\n";
}

std::string CheckListing::summary() const {
  std::string text = "---\nfiles: " + std::to_string(files_) + "\n";
  text += "encodings: " + (encodings_.empty() ? std::string("none") : counted(encodings_)) + "\n";
  text += "problems: " + (problems_.empty() ? std::string("none") : counted(problems_)) + "\n";
  return text;
}

}  // namespace sarnavel
