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

// Whether `report` is named like a page, a style sheet or a script: a page may load it, and the
// run learns which files pages load only once the report is open.
bool mayBeLoaded(const std::filesystem::path& report);

}  // namespace sarnavel
