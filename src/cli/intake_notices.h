// The command line's words for what the intake found: one line per path on standard error,
// `sarnavel-cli: PATH: what happened`, the path written visibly (visible_path.h) so that no
// name can forge a line or reach the terminal raw.
#pragma once

#include <string>
#include <string_view>

#include "run/intake.h"

namespace sarnavel {

// One notice line: "sarnavel-cli: PATH: TEXT\n".
std::string noticeLine(std::string_view path, std::string_view text);

// Every notice of the report, in this order: paths that do not exist, files of other kinds,
// then what the walks met.
std::string intakeNoticeLines(const IntakeReport& report);

// True when the report names a path the user gave that was not there or a folder that could
// not be read: the run then ends with status 1 even if every file listed converts.
bool intakeMissedSomething(const IntakeReport& report);

}  // namespace sarnavel
