#include "run/put_back.h"

#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "store/backup_chain.h"

namespace sarnavel {
namespace {

// A file as the step read it.
struct Looked {
  ResultCode result = ResultCode::CannotOpen;
  std::string bytes;
  FileIdentity identity;
  ContentHash hash;
  bool ok() const { return result == ResultCode::Success; }
};

Looked look(const std::filesystem::path& path, NameLink link, const StoreWorker& store) {
  Looked file;
  file.result = store.read({path, link}, file.bytes, &file.identity);
  if (file.ok()) file.hash = hashOf(file.bytes);
  return file;
}

FileReport failed(ResultCode result) {
  FileReport report;
  report.result = result;
  return report;
}

FileReport noted(ResultCode result, NoteCode code, std::vector<std::string> values = {}) {
  FileReport report = failed(result);
  report.notes.push_back({code, StoreProblem::None, std::move(values)});
  return report;
}

FileReport storeFailed(const StoreResult& written) {
  FileReport report = failed(written.result);
  if (written.problem != StoreProblem::None) report.notes.push_back({NoteCode::StoreProblem, written.problem});
  return report;
}

bool isRecordedBackup(const std::optional<PutBackRecord>& earlier, const Looked& backup) {
  return earlier && earlier->backupDevice == backup.identity.status.st_dev &&
         earlier->backupInode == backup.identity.status.st_ino;
}

// The bytes an undo kept of the file, by their hash, when the memory holds them.
std::optional<ContentHash> keptAlready(const RunMemory* memory, const std::optional<ContentHash>& written) {
  if (!memory || !written || !keptContent(memory->folder(), *written)) return std::nullopt;
  return written;
}

// The file holds the backup's bytes: the backup leaves its chain, unless a record says it
// left already (the backup there now is the older generation). `replaced`: by this step, which
// kept what it took out as `kept`.
FileReport finishPop(const PutBack& file, const Looked& backup, const PutBackContext& context, bool replaced,
                     std::optional<ContentHash> kept = std::nullopt) {
  const bool recorded = isRecordedBackup(file.earlier, backup);
  // An undo that finds no record at all: a kill came between the replace and the record.
  const bool pending = replaced || recorded || (!file.earlier && file.written);
  if (!pending) {
    if (file.earlier && context.mode == WriteMode::Write) closeBackupGap(file.backup, file.suffix);
    return noted(ResultCode::Success, NoteCode::AlreadyBack);
  }
  if (context.mode != WriteMode::Write) return {};
  if (!recorded) {
    if (!replaced) kept = keptAlready(context.memory, file.written);
    const PutBackRecord record{file.path.native(), file.backup.native(), backup.identity.status.st_dev,
                               backup.identity.status.st_ino, kept};
    if (!context.memory || !context.memory->recordPutBack(record))
      return noted(ResultCode::Success, NoteCode::BackupKept, {file.backup.native()});
  }
  popBackup(file.backup, file.suffix, backup.identity.stamp());
  return {};
}

// The file's bytes differ from the backup's: they are replaced by the backup's, then the
// backup leaves its chain.
FileReport replaceThenPop(const PutBack& file, const Looked& current, const Looked& backup,
                          const PutBackContext& context) {
  if (context.mode != WriteMode::Write) return {};
  // What the run wrote is kept for a redo; without it the undo still goes on.
  std::optional<ContentHash> kept;
  if (file.written && context.memory && context.memory->recording() &&
      context.memory->keep(current.hash, current.bytes))
    kept = current.hash;
  const std::string_view pieces[] = {backup.bytes};
  const StoreResult written = context.store.replace(
      {file.path, pieces, &current.identity, false, false, nullptr, nullptr, backup.identity.status.st_mtim});
  if (!written.ok()) return storeFailed(written);
  return finishPop(file, backup, context, true, kept);
}

FileReport putBackOrRefuse(const PutBack& file, const PutBackContext& context) {
  context.store.beginFile();
  if (!file.rivals.empty()) return noted(ResultCode::WriteFailed, NoteCode::BackupAmbiguous, file.rivals);
  const Looked current = look(file.path, NameLink::Followed, context.store);
  if (!current.ok()) return failed(current.result);
  const bool holdsFormer = file.former && current.hash == *file.former;
  const Looked backup = look(file.backup, NameLink::NotFollowed, context.store);
  // A backup gone, or another one by now, after the file was put back: all was done.
  const bool popped = file.earlier && !isRecordedBackup(file.earlier, backup);
  if (holdsFormer && popped) {
    if (context.mode == WriteMode::Write) closeBackupGap(file.backup, file.suffix);
    return noted(ResultCode::Success, NoteCode::AlreadyBack);
  }
  if (!backup.ok()) {
    if (holdsFormer) return noted(ResultCode::Success, NoteCode::AlreadyBack);
    return noted(ResultCode::WriteFailed, NoteCode::BackupMissing, {file.backup.native()});
  }
  if (file.former && backup.hash != *file.former)
    return noted(ResultCode::WriteFailed, NoteCode::BackupChanged, {file.backup.native()});
  if (current.hash == backup.hash && current.bytes == backup.bytes) return finishPop(file, backup, context, false);
  if (file.written && current.hash != *file.written) return noted(ResultCode::WriteFailed, NoteCode::NotAsWritten);
  return replaceThenPop(file, current, backup, context);
}

// The write of a redo as the run recorded it, the file as it is now: the report carries it,
// and the redo's run records it (undo_run.cpp), as a conversion's run records its files'.
FileReport writtenAgain(FileReport report, const PutAgain& file, const FileStamp& left,
                        const std::filesystem::path& backup) {
  WriteRecord record = file.wrote;
  record.device = left.device;
  record.inode = left.inode;
  record.backup = backup.native();
  record.modified = left.modified;
  report.written = std::move(record);
  return report;
}

// The backup folder the user named for the run, as far as the two paths tell: the backup's
// folder less the folders at its end that the file's folder ends with too (the mirror of the
// named folder's tree). Below it no link is followed, as in the run (file_store.h).
std::filesystem::path mirrorRootOf(const std::filesystem::path& file, const std::filesystem::path& backup) {
  std::filesystem::path fileFolder = file.parent_path(), root = backup.parent_path();
  while (!root.filename().empty() && fileFolder.filename() == root.filename()) {
    fileFolder = fileFolder.parent_path();
    root = root.parent_path();
  }
  return root;
}

FileReport putAgainOrRefuse(const PutAgain& file, const PutBackContext& context) {
  context.store.beginFile();
  const std::filesystem::path path = file.wrote.path;
  const Looked current = look(path, NameLink::Followed, context.store);
  if (!current.ok()) return failed(current.result);
  if (current.hash == file.wrote.hash) {  // written again by a redo cut short
    FileReport report = noted(ResultCode::Success, NoteCode::AlreadyBack);
    if (file.recorded || context.mode != WriteMode::Write) return report;
    const Looked backup = look(file.backup, NameLink::NotFollowed, context.store);
    const bool backedUp = backup.ok() && backup.hash == file.wrote.formerHash;
    return writtenAgain(std::move(report), file, current.identity.stamp(),
                        backedUp ? file.backup : std::filesystem::path());
  }
  if (current.hash != file.wrote.formerHash) return noted(ResultCode::WriteFailed, NoteCode::NotAsWritten);
  const std::optional<std::string> bytes =
      context.memory ? keptContent(context.memory->folder(), file.wrote.hash) : std::nullopt;
  if (!bytes) {
    const std::filesystem::path kept =
        context.memory ? keptContentPath(context.memory->folder(), file.wrote.hash) : std::filesystem::path();
    return noted(ResultCode::WriteFailed, NoteCode::BackupMissing, {kept.native()});
  }
  if (context.mode != WriteMode::Write) return {};
  // The backup where the run made it: beside the file, or in a backup folder.
  BackupPlace place{chainSuffixOf(path, file.backup), {}};
  if (file.backup.parent_path() != path.parent_path()) {
    place.folder = file.backup.parent_path();
    place.root = mirrorRootOf(path, file.backup);
  }
  const std::string_view pieces[] = {*bytes};
  const StoreResult written =
      context.store.replace({path, pieces, &current.identity, !file.backup.empty(), true, nullptr, &place});
  if (!written.ok()) return storeFailed(written);
  return writtenAgain({}, file, written.left.value_or(current.identity.stamp()), written.backup);
}

}  // namespace

FileReport putAgainFile(const PutAgain& file, const PutBackContext& context) {
  try {
    return putAgainOrRefuse(file, context);
  } catch (const std::bad_alloc&) {
    return failed(ResultCode::OutOfMemory);
  }
}

FileReport putBackFile(const PutBack& file, const PutBackContext& context) {
  try {
    return putBackOrRefuse(file, context);
  } catch (const std::bad_alloc&) {
    return failed(ResultCode::OutOfMemory);
  }
}

std::string chainSuffixOf(const std::filesystem::path& path, const std::filesystem::path& backup) {
  const std::string& file = path.native();
  const std::string& kept = backup.native();
  if (kept.size() > file.size() && kept.starts_with(file)) return kept.substr(file.size());
  const std::string leaf = path.filename().native(), keptLeaf = backup.filename().native();
  if (keptLeaf.size() > leaf.size() && keptLeaf.starts_with(leaf)) return keptLeaf.substr(leaf.size());
  return ".bak";
}

}  // namespace sarnavel
