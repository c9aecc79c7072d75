#include "store/store.h"

namespace sarnavel {

void StoreWorker::beginFile() const {
  if (session_) session_->beginFile();
}

ResultCode StoreWorker::read(FileRequest request, std::string& content, FileIdentity* identity,
                             StoreProblem* problem) const {
  request.session = session_;
  return readFile(request, content, identity, problem);
}

StoreResult StoreWorker::replace(FileReplacement replacement) const {
  replacement.flushes = flushes_;
  return replaceFile(replacement, session_);
}

int StoreWorker::heldFolder(std::string_view folder, FolderId id) const {
  return session_ ? session_->heldFolder(folder, id) : -1;
}

Store::Store(RunMemory& memory, const Setup& setup)
    : setup_(setup),
      sessions_(static_cast<std::size_t>(setup.workers > 0 ? setup.workers : 1)),
      sweep_(memory, setup.lookOnly) {
  // A file that must be written in place is written only when its recovery copy is recorded.
  if (memory.recording())
    for (WriteSession& session : sessions_) session.recordIn(&memory);
}

std::uint64_t Store::flushWaitNanos() const {
  std::uint64_t nanos = flushes_.waitNanos();
  for (const WriteSession& session : sessions_) nanos += session.flushNanos();
  return nanos;
}

}  // namespace sarnavel
