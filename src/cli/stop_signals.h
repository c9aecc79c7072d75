// The signals that end sarnavel-cli, turned into a request to stop between two files.
//
// A signal's default action kills the process wherever it is, possibly in the middle of
// replacing a file. Instead, each termination signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT,
// SIGUSR1, SIGUSR2, SIGALRM) sets the stop flag that the run looks at before every file, and
// the first one to arrive is remembered so that the program can end with 128 + its number, as
// a shell expects of a program a signal ended. SIGPIPE is ignored: the log writer
// (log_writer.h) then learns that a pipe's reader has gone and ends the run between two files,
// never in the middle of a write. SIGXFSZ is
// ignored too: a file that cannot grow past the file-size limit is a failed write the run
// reports (file_store.h), not the end of the program.
//
// A signal that was ignored when the program started (`nohup`, a background job of a
// non-interactive shell) stays ignored. These are the program's only process-wide values,
// since a signal handler can reach nothing else; the run itself only sees the flag.
#pragma once

#include <atomic>

namespace sarnavel {

// Installs the handlers; call once, early in main, before any thread starts.
void installStopSignals();

// Set by a termination signal or by requestStop; the run's cancellation flag.
std::atomic<bool>& stopFlag();

// Asks the run to stop between two files, without a signal.
void requestStop();

// The first termination signal received, or 0.
int stopSignal();

}  // namespace sarnavel
