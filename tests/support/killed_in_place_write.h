// A file left as a run killed while it wrote the file in place leaves it: its recovery copy
// beside it (recovery_copy.h), recorded in the user's memory, and the first page of the new
// content written over the former.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "store/recovery_copy.h"
#include "store/run_memory.h"
#include "support/state_home.h"

namespace sarnavel::testing {

// Made in a child process that then ends at once, as a killed one would: nothing is tidied and
// the copy's lock goes with it. `written` is the new content, at least a page long; `then`
// does to the open file what the killed write did (by default, writes its first page). The
// copy is recorded in the memory in `memoryFolder`. True when the child made the copy.
inline bool killedInPlaceWrite(const std::filesystem::path& file, const std::string& written,
                               const std::filesystem::path& memoryFolder = memoryFolderOf(),
                               void (*then)(int fd) = nullptr) {
  const pid_t child = fork();
  if (child == 0) {
    const int fd = open(file.c_str(), O_RDWR);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) _exit(1);
    RunMemory* memory = new RunMemory;  // never destroyed
    memory->open(memoryFolder);
    if (!memory->startRecording({}) || !(new RecoveryCopy)->make({file, fd, info, false}, written, memory)) _exit(1);
    if (then) then(fd);
    _exit(then || pwrite(fd, written.data(), 4096, 0) == 4096 ? 0 : 1);
  }
  int status = 0;
  return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace sarnavel::testing
