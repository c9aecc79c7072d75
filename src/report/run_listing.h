// The words of taking runs back: the listing of the user's remembered runs (sarnavel-cli
// --runs) and why an undo was refused.
//
// The listing: one line per run that wrote or put back files, oldest first, its fields
// separated by tabs: the id (what --undo takes), the start (UTC, "2026-12-09 13:50:10Z"),
// what it was ("convert", "undo ID", "redo ID", "restore"), the target, the files written and
// how many still hold what it wrote ("12/12"), whether it can be taken back ("undoable",
// "undone", "no-backups", "changed" when no file holds what it wrote; for an undo "redoable",
// "redone" or "-"; "-" for a restore), and
// the folders and files it was given, each written visibly (visible_path.h). Pure.
#pragma once

#include <string>
#include <vector>

#include "report/message_language.h"
#include "run/undo_run.h"

namespace sarnavel {

std::string runListing(const std::vector<RunStanding>& runs);

// Why the undo was refused, as the desktop program's log says it (CR+LF line ends); empty when
// it was not.
std::string undoRefusalMessage(const UndoSummary& summary);

// Why the undo was refused, as a notice line ("sarnavel-cli: ...") in `language`; empty when it
// was not.
std::string undoRefusalLine(const UndoSummary& summary, const std::string& asked, MessageLanguage language);

}  // namespace sarnavel
