// Which files a drop, a command line or a folder offers for conversion.
//
// A path offered is looked at on disk: one that does not exist (or holds a NUL byte, which no
// name on disk can) adds nothing; a folder is walked with all its subfolders; a file is taken
// when its kind is one of the kinds asked for (kind_set.h; pages, style sheets and scripts by
// default), told by the extension of the name offered.
// Every file taken is listed by its absolute path, made without touching the file ("."
// resolved by its text, ".." as the system resolves it: by its text unless a link to a folder
// stands before it; links kept). A path the user names is always followed, link or not.
//
// The walk of a folder lists the folder's own accepted files first, ascending by full path,
// then walks its subfolders depth-first in ascending order of name. Hidden files are treated
// like others. The walk stays inside the tree it was given:
//  - a symbolic link to a folder is not descended into (as `find` and `grep -r` do not); it
//    is named in a notice;
//  - a symbolic link to a file is taken (under its own name) when the file lies inside one of
//    the folders named in the same offer, or is one of the files named; a link to any other
//    file is passed over with a notice. A link that leads nowhere is taken, so that the run
//    names it as a file it cannot open;
//  - a folder already on the way down (a bind-mount loop) is not entered again (notice).
// A folder that cannot be opened or listed (the one named included) is named in a notice with
// the reason, and the walk goes on. The walk holds at most four descriptors open whatever the
// depth (it goes down by name with openat and back up with "..", checked against the
// parent's device and inode), and paths are never cut, whatever their length. A folder moved
// away while it is walked is named in a notice, and what was not yet walked below it is left
// out. The walk never changes the current directory. It opens folders through the store
// (store/posix_file.h: openFolderAt), the one room that calls the system on files; the walk
// itself stays here, beside the rules on kinds and links it applies, until the store's
// surface takes folder walks.
//
// The intake does not look for duplicates: a file offered twice is listed twice.
//
// Memory: besides the list itself (path_list.h) and a folder's identity (16 bytes) per file
// listed, a walk keeps one identity (16 bytes) per file met, in chunks, to tell which links
// lead inside; a folder's own names only while it is listed.
#pragma once

#include <atomic>
#include <deque>
#include <filesystem>
#include <vector>

#include "store/folder_id.h"
#include "run/kind_set.h"
#include "run/path_list.h"
#include "run/path_set.h"

namespace sarnavel {

// Something a shell should tell the user about the paths offered: what and why.
struct IntakeNotice {
  enum class Kind {
    Unreadable,       // a named path or a folder of a walk could not be read (`error`); its files are left out
    MovedDuringWalk,  // a folder moved away while it was walked; what was not yet walked below it is left out
    FolderLink,       // a symbolic link to a folder, met in a walk: not followed
    LinkOutside,      // a symbolic link to a file outside the named folders and files: passed over
    Loop,             // a folder already on the way down (a bind mount): not entered again
  };
  Kind kind = Kind::Unreadable;
  std::filesystem::path path;  // full path of the folder or link (the path as named, for a named one)
  int error = 0;               // the system's error number, for Unreadable
};

// True when the notice means files the user asked for may be missing from the list (a folder
// that could not be read or was moved), as opposed to something deliberately passed over.
bool leavesFilesUnlisted(const IntakeNotice& notice);

struct IntakeReport {
  PathList files;                                 // accepted, in intake order (compact: a run may list many)
  std::vector<std::filesystem::path> missing;     // offered paths that do not exist
  std::vector<std::filesystem::path> otherKinds;  // offered files of a kind not converted
  // Offered folders whose walk took no file (as offered): nothing in them is of a kind taken.
  // Not one whose reading failed, which a notice names instead.
  std::vector<std::filesystem::path> foldersWithNoFile;
  // The regular files of the kinds of page not taken (file_kind.h: isPageKind) offered or met in
  // the walks, by full path: not converted, but the run says which of the files it converts they
  // load (untaken_pages.h).
  PathList untakenPages;
  std::vector<IntakeNotice> notices;  // in the order met
  // The listed files whose names are symbolic links the run may follow: a link the user named,
  // a link met in a walk that leads inside what was named. Every other listed name was a
  // regular file (or a link leading nowhere, which is never followed) and is converted only
  // as one (conversion_run.h). A set of copies: links are few among the files of a site.
  PathSet followedLinks;
  // Beside `files` (the same index), the folder each file lay in as it was listed: the folder
  // that holds the file its name reaches (for a link, the folder of the file the link finally
  // leads to; for a link that leads nowhere, the link's own). The run reads the file only
  // from there (conversion_run.h). Inode 0 where the folder could not be looked at.
  std::deque<FolderId> folders;
};

// Offers several paths at once, as a command line or one drop does, adding to the report the
// files of the kinds `kinds` holds. A link met in a walk may lead into any folder or to any file
// named in the same call. Once `stop` (when given) is set, the walks end at the next
// entry they read and no further path is offered: the report then holds part of what was
// offered, for a caller that drops it (a cancelled drop, say).
void offerPaths(const std::vector<std::filesystem::path>& paths, IntakeReport& report,
                KindSet kinds = KindSet::defaults(), const std::atomic<bool>* stop = nullptr);

// Offers one path: offerPaths with that path alone.
void offerPath(const std::filesystem::path& path, IntakeReport& report, KindSet kinds = KindSet::defaults());

}  // namespace sarnavel
