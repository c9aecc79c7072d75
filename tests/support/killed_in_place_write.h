// What a run killed mid-write leaves, each made in a child process that then ends at once, as
// a killed one would (inChild): nothing is tidied and the locks go with it.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "store/posix_file.h"
#include "store/recovery_copy.h"
#include "store/run_memory.h"
#include "store/temp_file.h"
#include "support/state_home.h"

namespace sarnavel::testing {

// Runs `steps` in order in a forked child, as far as each gives true (a limit, another user,
// then the body), so that this process keeps its own; true when every step gave true.
template <class... Steps>
bool inChild(Steps... steps) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) _exit((steps() && ...) ? 0 : 1);
  int status = 0;
  return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A file written in place: its recovery copy beside it (recovery_copy.h), recorded in the memory
// in `memoryFolder`. `written` is the new content, at least a page long; `then` does to the open
// file what the killed write did (by default, writes its first page). True when the copy was made.
inline bool killedInPlaceWrite(const std::filesystem::path& file, const std::string& written,
                               const std::filesystem::path& memoryFolder = memoryFolderOf(),
                               void (*then)(int fd) = nullptr) {
  return inChild([&] {
    const int fd = open(file.c_str(), O_RDWR);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) return false;
    RunMemory* memory = new RunMemory;  // never destroyed
    memory->open(memoryFolder);
    if (!memory->startRecording({}) || !(new RecoveryCopy)->make({file, fd, info, false}, written, memory))
      return false;
    if (then) then(fd);
    return then || pwrite(fd, written.data(), 4096, 0) == 4096;
  });
}

// A temporary file in `folder` for `name`, recorded in the user's memory (or, not `recorded`,
// by a run that keeps none).
inline bool abandonedTemporary(const std::filesystem::path& folder, const std::string& name, bool recorded = true) {
  const std::filesystem::path memoryFolder = memoryFolderOf();
  return inChild([&] {
    RunMemory* memory = new RunMemory;
    memory->open(memoryFolder);
    memory->startRecording({});
    TempFile* file = new TempFile;
    if (recorded) file->recordIn(memory);
    const FileDescriptor folderFd = openFolder(folder);
    return file->create(folderFd.get(), folder, name, 0600) && file->giveTemporaryName(folderFd.get());
  });
}

}  // namespace sarnavel::testing
