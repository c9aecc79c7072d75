// Whole files on disk: reading one into memory, replacing one's content, and keeping backups.
//
// This is the program's only seam to the file system for document content. It reads and
// writes whole files and keeps a chain of backup copies; it does not convert, classify
// (see file_kind.h) or list files, and it never changes the current directory. Paths are
// byte strings (normally UTF-8) used as given, of any length the system accepts; they may be
// relative. Symbolic links are followed; a name's own link is never replaced by a file.
//
// Contract on failure:
//  - readWholeFile: CannotOpen (102) when the path is missing, is a folder or anything but a
//    regular file, or a read fails; OutOfMemory (101) when the content does not fit in
//    memory. `content` is then empty. Nothing on disk is changed.
//  - writeWholeFile: WriteFailed (103), with the file as it was before the call, and no
//    temporary file left behind.
//  - backupFile: false, with every existing backup under its former name and no new or
//    temporary file left behind (undoing a half-done shift is best effort: should a rename
//    back fail, that generation keeps one more ".bak", and still nothing is lost).
//
// Replacing a file is atomic: the new content goes to a temporary file in the same folder as
// the file, named ".<name>.sarnavel-XXXXXX.tmp" (hidden, never with a document extension),
// is flushed to disk, given the file's permission bits (and, where allowed, its owner and
// group) and renamed over the file; the folder is then flushed. A reader, a crash or a failed
// write at any point sees either the whole old or the whole new content. Consequences:
//  - the folder must be writable; a file whose own permission bits forbid writing is refused;
//  - a symbolic link is resolved to its final target, the target is replaced in the target's
//    folder, and the link stays a link;
//  - a file with several hard links gets a new inode under the name written: the other names
//    keep the former content (nothing is lost, but they are not updated);
//  - extended attributes and ACLs of the former file are not carried over.
// A write past the process's file-size limit fails with WriteFailed instead of killing the
// process: SIGXFSZ is blocked in the calling thread for the duration of a write, and the
// signal it raises is taken off again before the thread's mask is restored. No process-wide
// setting is changed.
//
// Thread safety: no shared state; every function may be called from any thread. Two
// concurrent writes of one file each leave a whole content; the later rename wins.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "engine/result_code.h"

namespace sarnavel {

// Reads the whole file (following links) into `content`, whatever its size. Success,
// CannotOpen or OutOfMemory.
ResultCode readWholeFile(const std::filesystem::path& path, std::string& content);

// Replaces the file's content with `bytes`, creating the file when it does not exist (with
// the permissions the process's umask allows). Success or WriteFailed.
ResultCode writeWholeFile(const std::filesystem::path& path, std::string_view bytes);

// Copies the file (the content of a link's target) to path + ".bak", after pushing every
// existing generation one ".bak" further: a.js.bak becomes a.js.bak.bak, a.js.bak.bak becomes
// a.js.bak.bak.bak, and so on; nothing is deleted. The copy keeps the file's permission bits.
// The backup name is built from the name given, so a link's backup lies next to the link.
// Fails, changing nothing, when the file cannot be read, when a folder lies anywhere in the
// chain, when the next name of the chain would be too long for the file system, or when the
// copy cannot be written.
bool backupFile(const std::filesystem::path& path);

}  // namespace sarnavel
