// The command line's words on standard error, beside the log: what the intake found and what
// the run tells its observer besides the files (a wait for another run, a former content put
// back, a recovery copy kept, the memory of runs). One line per notice, `sarnavel-cli: PATH:
// what happened`, the path written visibly (visible_path.h) so that no name can forge a line
// or reach the terminal raw. Each notice's text is a message (message_language.h): Japanese or
// English as `language` says.
#pragma once

#include <string>
#include <string_view>

#include <sys/types.h>

#include "report/message_language.h"
#include "run/backup_place.h"
#include "run/conversion_settings.h"
#include "run/intake.h"
#include "store/run_memory.h"

namespace sarnavel {

// One notice line: "sarnavel-cli: PATH: TEXT\n".
std::string noticeLine(std::string_view path, std::string_view text);

// Every notice of the report, in this order: paths that do not exist, files of other kinds,
// what the walks met, then the folders named that hold no file of the kinds taken (`kinds`:
// "no .html, .htm, .css or .js file in DIR; --kinds adds others"; nothing failed, the status stays).
std::string intakeNoticeLines(const IntakeReport& report, KindSet kinds, MessageLanguage language);

// What could not be used in the settings file at `file`, a line each; the defaults stand for it.
std::string settingsProblemLines(std::string_view file, const std::vector<SettingsProblem>& problems,
                                 MessageLanguage language);

// True when the report names a path the user gave that was not there or a folder that could
// not be read: the run then ends with status 1 even if every file listed converts.
bool intakeMissedSomething(const IntakeReport& report);

// Another run (its process `holder`, 0 when it cannot be named) converts files in `folder`.
std::string waitingLine(std::string_view folder, pid_t holder, MessageLanguage language);
// A killed run left `file` half-written; its former content is put back.
std::string formerPutBackLine(std::string_view file, MessageLanguage language);
// A recovery copy stays: its file's name now leads to another file, or to none.
std::string copyKeptLine(std::string_view copy, MessageLanguage language);
// What the run could not do with the memory of runs in `folder`.
std::string memoryNoticeLine(MemoryNotice notice, std::string_view folder, MessageLanguage language);
// Why the backup folder `folder` is refused (clash is not None).
std::string backupFolderRefusalLine(BackupFolderClash clash, std::string_view folder, MessageLanguage language);

}  // namespace sarnavel
