// What the program writes to (the log's standard streams, the report file) must never be one
// of the files the run reads or converts: the run would convert what it writes, or the report
// would be written over a page. These checks run before anything is converted or opened; a
// clash is a usage error.
//
// A file is told by what it is on disk (device and inode, links followed), so that a hard link
// or a link under another name is caught; the report, not yet created, is also told by the
// file its name finally reaches. A stream's file with one name, which the system tells, is
// looked for only among the listed files of that name and the listed links: its one name is
// the last part of any path that reaches it but through a link.
#pragma once

#include <filesystem>

#include "run/path_list.h"
#include "run/path_set.h"

namespace sarnavel {

// Which of standard output (1) and standard error (2), 0 for neither, is redirected into one
// of `files`. `links`: those of `files` whose names are symbolic links (intake.h); any other
// listed name is a file's own.
int standardStreamAmong(const PathList& files, const PathSet& links);

// Whether `report` names the same file as one of `files`.
bool isOneOf(const std::filesystem::path& report, const PathList& files);

// Why a page might load the report's file, which the run learns only once the report is open
// (and emptied): the name given is like a page's, a style sheet's or a script's, or the name
// its symbolic links finally lead to is (the open would write there), or the file exists with
// several names (hard links), any of which may be such a name.
enum class LoadableOutput { No, NamedLikeLoaded, LeadsToLoaded, SeveralNames };
LoadableOutput mayBeLoaded(const std::filesystem::path& report);

// Which of standard output (1) and standard error (2), 0 for neither, is redirected into a
// file a page may load: one of several names, or whose one name is like a page's, a style
// sheet's or a script's. The log would be written into a file the run converts.
int standardStreamMayBeLoaded();

}  // namespace sarnavel
