// A conversion run: a batch of files converted with one set of options. It words nothing: each
// file's outcome reaches the observer as facts, which the shells hand to the report for the
// log's and the report's words (report/run_messages.h, report/file_notes.h).
//
// The listed files are sorted by kind into passes (each path once, ascending by byte)
// and converted in five passes: pages, listed style sheets, listed scripts, then the style
// sheets and the scripts that the converted pages load (when following them is on), pass 4
// also the sheets that converted sheets import (@import) and those they import in turn, each
// once, under the same rules as a page's (the kind, the owner, the named folders). A sheet
// both listed and loaded is converted in pass 2 and again in pass 4 (when it is still exactly
// as pass 2 left it, that second conversion is known without reading it: rewritten_file.h);
// pages are never followed from pages. Each file's outcome (its log entry: message 100 to 104)
// reaches the observer as soon as the file is done, after the run's start (message 106); the
// summary (105, or 108 when the run was cancelled) is the run's return. Cancellation is looked
// at before every pass and every file: the file under way finishes and is logged, no other
// file starts.
//
// The files of a pass are converted on a few threads (see ordered_pool.h) but logged in the
// pass order; a file already started when the run is cancelled finishes and is logged.
//
// What the run learns goes into the decision of each later file's encoding
// (engine/encoding_decision.h): a file it has written is in the target encoding (a sheet both
// listed and loaded is read the second time as what the first conversion made of it); so is a
// file that holds exactly what an earlier run of the user wrote (run_memory.h), and a page of
// that kind tells the files it loads what it told before that run rewrote it; a loaded file is
// weighed in the charset its element names or the encoding of the page that loads it (the
// first in pass order); and the encodings the files of earlier passes were decided to be in
// make up the site's. A conversion records in the user's memory what it writes, each file
// before its line says 成功.
//
// Before a pass reads its files, what killed runs left in their folders is tidied, and in the
// folders their backups go to with --backup-dir (leftover_sweep.h).
// A file beside a recovery copy the user cannot use (leftover_sweep.h) is not converted (103,
// naming the copy); a loaded file that only pages that failed load is left as it is (103),
// one that a converted page loads too is converted with a note naming the failed pages; a
// loaded file outside what the user named is followed only when it has its page's owner
// (reference_files.h). A file that a page loads as a module script is read as UTF-8, as
// browsers read it, and with a target other than UTF-8 left as it is (file_drivers.h). Each
// pass sees what the passes before it learned, never what the files of its own pass learn, so
// the outcome does not depend on the number of threads.
//
// A conversion (and a dry run) adds the server's charset to each file's notes
// (server_charset.h); one that rewrites the server's charset does so after the last pass, each
// .htaccess told as a file of the run (pass 6: its line, its record in the memory). A check (WriteMode::Check) converts and writes nothing, sweeps nothing,
// and reads a file both listed and loaded once, in its first pass (source_check.h); its
// outcomes are the conversion's in form, its verdicts made of each outcome's document.
//
// Memory: the run keeps nothing per listed file beyond a view of its path in the request's
// compact list (path_list.h) and the folder it was listed in (16 bytes); the results of the
// files under way, the sheets and scripts it wrote or found loaded, and the pass's own list
// are all it holds, so a run of many small files stays small.
//
// Contract: a failing file never stops the run; it is logged and counted. A target
// outside 0 to 3 ends the run at once with nothing told (started is false). Nothing is
// process-wide: several runs may go on at once in one process, each with its own request.
// Runs that write over the same folders (in one process or in several) take turns: a run that
// writes waits, after its start message and before its first file, while another converts
// files in its listed files' folders or in a folder above or below them, or keeps its backups in
// the same backup folder (--backup-dir), or one above or below it (run_lock.h); a cancel
// ends the wait as a cancelled run ends, with message 108 and nothing converted.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/conversion_options.h"
#include "store/folder_id.h"
#include "run/path_list.h"
#include "run/path_set.h"
#include "store/result_code.h"
#include "run/file_drivers.h"
#include "store/run_memory.h"

namespace sarnavel {

struct RunRequest {
  ConversionOptions options;
  PathList paths;  // full paths, in list order; the kinds options.kinds does not take are passed over
  WriteMode mode = WriteMode::Write;
  int threads = 0;  // files converted at the same time; 0: four per core, one per core at first (see ordered_pool.h)
  // The folders and files the user named (a file stands for its own folder); a file a page
  // loads from outside all of them is converted but named in a note. Empty: the listed files
  // stand for them.
  std::vector<std::filesystem::path> namedPaths = {};
  // The listed paths whose names were symbolic links when they were listed, and are followed
  // (intake.h). Any other listed name is read as the regular file it was listed as: one that
  // has become a link (or a folder, a pipe) by the time it is read is left as it is, its line
  // failed with a note. A file pages load is followed as a link when its name was one at a
  // page's look (reference_files.h), and what the link reaches at the read must still be what
  // a page may load (file_drivers.h); a name that some page's look found to be the file itself
  // is read as that regular file, in the same way.
  PathSet followedLinks = {};
  // The folder each listed path's file lay in when it was listed (intake.h), beside `paths`
  // (the same index; the last listing of a path listed twice counts). A listed file is read
  // only from that folder: one whose folder is another one by now is left as it is, its line
  // failed with a note. Empty, or shorter than `paths`: the rest are read where their paths
  // lead.
  std::deque<FolderId> listedFolders = {};
  // Where the user's memory of what runs wrote lives (run_memory.h: memoryFolder()); empty:
  // the run neither reads nor records one. A conversion records what it writes; a dry run
  // and a check only read it.
  std::filesystem::path memoryFolder = {};
  // The pages of other kinds met in the named folders (intake.h): not converted, but a sheet or
  // script the run converts that one of them loads says so under its line (untaken_pages.h).
  PathList untakenPages = {};
  // What the walks of the named folders did not enter (intake.h's notices: a link not followed,
  // a folder that could not be read or moved away): the server's charset is not rewritten for
  // a folder that holds one, whose files the run may never have seen.
  std::vector<std::filesystem::path> passedOver = {};
};

// The kind of the files of a pass: pages (1), style sheets (2, 4), scripts (3, 5).
inline DocumentKind kindOfPass(int pass) {
  return pass == 1 ? DocumentKind::Page : pass % 2 == 0 ? DocumentKind::StyleSheet : DocumentKind::Script;
}
// The kind of one file of a pass: the first takes the plain texts and XML documents beside the
// pages.
DocumentKind kindOfFile(int pass, const std::filesystem::path& path);

// The pass after the five, of the .htaccess files a run rewrites (server_charset_fix.h).
inline constexpr int kServerCharsetPass = 6;

struct FileOutcome {
  std::filesystem::path path;
  ResultCode result = ResultCode::Success;
  int pass = 1;                            // 1 to 5, or kServerCharsetPass
  std::vector<FileNote> notes;             // what the run and the store say of it (file_report.h)
  std::optional<DocumentResult> document;  // what the engine did to it, once converted or read (file_report.h)
  ContentForm form = ContentForm::Bytes;   // how its bytes held its text
  LoadEvidence loader;                     // what the page that loads it says of its encoding
  std::vector<FileNote> problems;          // a check's: what the run found wrong beside the bytes
  std::string prepared;                    // what the observer's `prepare` made of it (empty without one)
  std::filesystem::path backup;            // the backup its write kept the former content in; empty for none
  // It held exactly what an earlier run wrote (run_memory.h).
  std::optional<RememberedWrite> remembered;
  std::uint64_t recorded = 0;  // its record in the run's memory, 0 for none (RunMemory::recordWrite)
};

struct RunObserver {
  std::function<void()> started;                             // optional: the run starts (before any wait)
  std::function<void(const FileOutcome& outcome)> fileDone;  // optional: each file as it finishes, in pass order
  // Optional: a text made of a file's outcome on the thread that converted it, while other
  // files are converted and handed over (a report's line, say, whose building would otherwise
  // hold up the files after it); it reaches fileDone in `outcome.prepared`. It is given
  // everything fileDone will be but the notes the in-order step adds (the .htaccess notes and
  // the note on a file outside what was named): whatever depends on the notes belongs in
  // fileDone. Called on several threads at once.
  std::function<std::string(const FileOutcome& outcome)> prepare;
  // Optional: how many files a pass is going to log, as soon as the run knows it: passes 1 to 3
  // before the first file, passes 4 and 5 (the files the pages load) and 6 (the .htaccess files
  // rewritten) as they begin. A pass
  // that a cancel skips is not announced.
  std::function<void(int pass, std::size_t fileCount)> passPlanned;
  // Optional: told before the first file when another run (`holder`, its process; 0 when it
  // cannot be named) is converting files in this folder (run_lock.h) and this one waits for it
  // to end; told again only of another run.
  std::function<void(std::string_view folder, pid_t holder)> waitingFor;
  // Optional: told of each file into which the run put back the former content that a killed
  // run had left half-written (leftover_sweep.h), as it does so, before it converts in that
  // folder. Such a file may be none of the files the run converts.
  std::function<void(const std::filesystem::path& file)> formerPutBack;
  // Optional: told of each recovery copy of the user's that stays beside a name that now leads
  // to another file, or to none (leftover_sweep.h): it may hold the only former content.
  std::function<void(const std::filesystem::path& copy)> copyKept;
  // Optional: told, once each, of what the run could not do with the user's memory.
  std::function<void(MemoryNotice notice, const std::filesystem::path& folder)> memoryNotice;
};

struct RunSummary {
  bool started = false;
  bool cancelled = false;
  int successes = 0;
  int failures = 0;
  std::string recordedAs = {};  // the run's id in the user's memory (undo_run.h); empty when not recorded
};

RunSummary conversionWorker(const RunRequest& request, const RunObserver& observer,
                            const std::atomic<bool>& cancelRequested);

}  // namespace sarnavel
