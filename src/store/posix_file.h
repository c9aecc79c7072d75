// The small tools every part of the file store shares: an owned descriptor, whole writes and
// reads, opening only regular files, flushing a folder, and writing without SIGXFSZ.
//
// Contract: nothing here keeps state between calls or changes a process-wide setting; every
// function may be called from any thread. Functions that can fail return false (or an empty
// descriptor) and leave errno as the failing call set it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "store/path_parts.h"

namespace sarnavel {

class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void reset(int fd = -1);
  // Closes now; a late write error of the file system shows here.
  bool close();
  // Gives the descriptor up to its new owner (a folder's listing stream, say).
  int release();

 private:
  int fd_ = -1;
};

// Writes every byte, going on after short writes and interruptions.
bool writeAll(int fd, std::string_view bytes);
// The same for bytes given as pieces, written in their order.
bool writeAll(int fd, std::span<const std::string_view> pieces);
// The same at an offset, leaving the descriptor's own offset alone.
bool writeAllAt(int fd, std::string_view bytes, off_t offset);
// Copies `length` bytes of `from` starting at `fromOffset` to `to` at `toOffset` (both by
// offset, neither descriptor's own offset is used). False on a read error or an early end.
bool copyRange(int from, off_t fromOffset, int to, off_t toOffset, off_t length);
// Copies from the descriptor's offset to its end.
bool copyToEnd(int from, int to);

// A regular file to open: `name` relative to the folder `at` (or AT_FDCWD), with `flags`.
struct RegularFileOpen {
  int at;
  const std::filesystem::path& name;
  int flags = O_RDONLY;
  bool followLinks = true;
  const struct stat* lookedAt = nullptr;
};

// Opens the file only when it is a regular file: its type is looked at before it is opened, so a device or a named pipe is
// never opened, and after opening the descriptor must be that same file. Links are followed
// unless `followLinks` is false. `info` receives the open file's status. Empty when the name
// is missing, is not a regular file, cannot be opened or changed in between.
// `lookedAt`, when given, is the status the caller has looked at (with the same following of
// links): it serves as that first look; when the file opened is another one, the name is
// looked at again and that look decides. `mayChangeFile`, when given, receives whether the
// open file is free of the immutable and append-only flags (its status then comes from
// statx, which tells them, at the cost of fstat).
FileDescriptor openRegularFile(const RegularFileOpen& open, struct stat& info, bool* mayChangeFile = nullptr);

// The status statx gave, as stat gives it.
struct stat statusOf(const struct statx& x);
// Whether a file whose statx says `x` may change at all: an immutable or append-only file
// (chattr +i, +a) can be neither replaced nor written over.
bool mayChange(const struct statx& x);

// Flushes a folder's entries (a rename in it) to disk; false when it could not. After a rename
// it is best effort: the rename has already taken effect, so a failure changes no result.
bool syncFolder(const std::filesystem::path& folder);

// Renames without ever replacing an existing name.
bool renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);
// The same for two names in one open folder.
bool renameNoReplaceAt(int folder, const char* from, const char* to);

// Makes the folder and those above it that are missing, each for the user alone (mode 0700),
// each one made flushed into its parent (a backup put in it must not lose its folder in a power
// cut). True when the folder exists (or a name of it that is no folder: opening it then says
// so); false when one could not be made or flushed.
bool makeFolders(const std::filesystem::path& folder);

// Opens a folder to work in by names relative to it: for listing and flushing where the user
// may read it, otherwise only to reach the names in it (O_PATH). Empty when it cannot be opened.
FileDescriptor openFolder(const std::filesystem::path& folder);

// Opens the folder `name` (relative to the folder `at`, or AT_FDCWD) for listing it and for
// reaching the names in it; with `followLink` false, a name that is a link fails (ELOOP).
// Empty when it cannot be opened, errno saying why. A walk of the folders the user named
// goes down and back up ("..") with it.
FileDescriptor openFolderAt(int at, const char* name, bool followLink);

// Opens (creates or empties) a file that holds no document: the report the user names, which
// may be a named pipe. The open never waits for a pipe's reader (it fails with ENXIO while
// there is none); once open, the file is written as any is, a full pipe waiting for its reader.
FileDescriptor openOutputFile(const std::filesystem::path& name);

// Reads the start of `name` (relative to `at`) into `block` (resized to what was read) when it
// opens as a regular file, without ever waiting on a pipe or a device; `opened` gets the status
// of what was opened. False when nothing could be opened.
bool readFirstBlock(int at, const char* name, struct stat& opened, std::string& block);

// Writing past the file-size limit raises SIGXFSZ, whose default action ends the process.
// While this lives, the signal is blocked in the calling thread, so such a write merely fails
// with EFBIG; the pending signal that the failure leaves is taken off before the thread's
// former mask is restored. The process-wide disposition is not touched. Told that the signal
// is ignored (the shells ignore it at start), it does nothing: the kernel then raises no
// signal at all and the write fails with EFBIG all the same.
class FileSizeSignalBlock {
 public:
  explicit FileSizeSignalBlock(bool signalIgnored = false);
  FileSizeSignalBlock(const FileSizeSignalBlock&) = delete;
  FileSizeSignalBlock& operator=(const FileSizeSignalBlock&) = delete;
  ~FileSizeSignalBlock();

 private:
  sigset_t signal_;
  bool blocked_ = false;
};

// Whether SIGXFSZ is ignored in this process (one system call).
bool fileSizeSignalIgnored();

}  // namespace sarnavel
