// The run's log as the shells write it, for tests that read a run through its words: message 106
// when the run starts, then each file's entry as it is done (its warnings worded as `wording`
// says), before whatever `observer.fileDone` did already. The closing entry is the caller's,
// once the run has returned and started (endMessage).
#pragma once

#include <functional>
#include <string_view>
#include <utility>

#include "report/file_notes.h"
#include "report/run_messages.h"
#include "report/visible_path.h"
#include "run/conversion_run.h"

namespace sarnavel::testing {

inline void writeLogThrough(RunObserver& observer, const NoteWording& wording,
                            std::function<void(std::string_view)> write) {
  observer.started = [write] { write(plainMessage(MessageId::Started)); };
  observer.fileDone = [wording, write, then = std::move(observer.fileDone)](const FileOutcome& outcome) {
    const std::string_view path = outcome.path.native();
    write(fileEntry(outcome.result, warningsOf(outcome, wording),
                    wording.pathForLog ? wording.pathForLog(path) : visiblePath(path)));
    if (then) then(outcome);
  };
}

}  // namespace sarnavel::testing
