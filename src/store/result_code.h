// The result of converting one file. Each value is also the id of the file's log message.
#pragma once

namespace sarnavel {

enum class ResultCode : int {
  Success = 100,
  OutOfMemory = 101,
  CannotOpen = 102,
  WriteFailed = 103,
  BackupFailed = 104,
};

}  // namespace sarnavel
