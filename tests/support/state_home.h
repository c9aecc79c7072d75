// The state folder (XDG_STATE_HOME) the tests give the runs they start, so that no test reads
// or writes the memory of the user who runs the suite (store/run_memory.h): one per test
// process, made on first use and removed at exit, with a folder of its own for each user a
// test runs the program as.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/temp_folder.h"

namespace sarnavel::testing {

inline const std::filesystem::path& testStateHomes() {
  static const TempFolder homes;
  static const bool open = ::chmod(homes.path().c_str(), 0711) == 0;  // each user reaches only their own
  (void)open;
  return homes.path();
}

// The state home of `user` (made, and the user's, when missing; call it while root for another user).
inline std::filesystem::path stateHomeOf(uid_t user = ::geteuid()) {
  const std::filesystem::path home = testStateHomes() / ("user-" + std::to_string(user));
  if (::mkdir(home.c_str(), 0700) == 0 && ::lchown(home.c_str(), user, user) != 0) return {};
  return home;
}

// The memory folder a run of `user` keeps (what memoryFolder() gives under stateHomeOf(user)).
inline std::filesystem::path memoryFolderOf(uid_t user = ::geteuid()) { return stateHomeOf(user) / "sarnavel"; }

// The settings file the runs a test starts read (XDG_CONFIG_HOME is the state home's "config").
inline std::filesystem::path settingsFileOf(uid_t user = ::geteuid()) {
  return stateHomeOf(user) / "config" / "sarnavel" / "sarnavel.conf";
}

}  // namespace sarnavel::testing
