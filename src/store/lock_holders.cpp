#include "store/lock_holders.h"

#include <poll.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "store/posix_file.h"

namespace sarnavel {
namespace {

// The fields of a line of /proc/PID/status, after its name ("Uid:", "Groups:").
std::vector<unsigned long> statusField(pid_t process, const std::string& name) {
  std::ifstream status("/proc/" + std::to_string(process) + "/status");
  std::vector<unsigned long> values;
  for (std::string line; std::getline(status, line);) {
    if (!line.starts_with(name)) continue;
    std::istringstream fields(line.substr(name.size()));
    for (unsigned long value; fields >> value;) values.push_back(value);
    break;
  }
  return values;
}

bool mayWrite(pid_t process, const struct stat& folder) {
  const std::vector<unsigned long> uid = statusField(process, "Uid:"), gid = statusField(process, "Gid:");
  if (uid.size() < 2 || gid.size() < 2) return false;
  const unsigned long user = uid[1];  // the effective one
  if (user == 0) return true;
  if (user == folder.st_uid) return (folder.st_mode & S_IWUSR) != 0;
  bool inGroup = gid[1] == folder.st_gid;
  for (unsigned long group : statusField(process, "Groups:")) inGroup |= group == folder.st_gid;
  return inGroup ? (folder.st_mode & S_IWGRP) != 0 : (folder.st_mode & S_IWOTH) != 0;
}

}  // namespace

std::optional<std::vector<pid_t>> flockHolders(const struct stat& folder) {
  std::ifstream locks("/proc/locks");
  if (!locks) return std::nullopt;
  char file[64];
  std::snprintf(file, sizeof file, "%02x:%02x:%lu", major(folder.st_dev), minor(folder.st_dev),
                static_cast<unsigned long>(folder.st_ino));
  std::vector<pid_t> holders;
  for (std::string line; std::getline(locks, line);) {
    // "1: FLOCK  ADVISORY  WRITE 5678 fe:00:247066 0 EOF"; a waiter's line has "->" after the number.
    std::istringstream fields(line);
    std::string number, kind, mode, access, device;
    long pid = 0;
    if (!(fields >> number >> kind) || kind != "FLOCK" || !(fields >> mode >> access >> pid >> device)) continue;
    if (device == file && pid > 0) holders.push_back(static_cast<pid_t>(pid));
  }
  return holders;
}

bool isRunThatMayWrite(pid_t process, const struct stat& folder) {
  if (process != ::getpid()) {
    std::ifstream comm("/proc/" + std::to_string(process) + "/comm");
    std::string name;
    if (!std::getline(comm, name) || (name != "sarnavel" && name != "sarnavel-cli")) return false;
  }
  return mayWrite(process, folder);
}

void waitForEnd(pid_t process, const std::atomic<bool>& cancel, int slice) {
  // A descriptor of the process tells its end at once; without one, the slice passes.
  FileDescriptor handle(static_cast<int>(::syscall(SYS_pidfd_open, process, 0)));
  for (int waited = 0; waited < slice && !cancel.load(); waited += 10) {
    if (handle) {
      pollfd ended{handle.get(), POLLIN, 0};
      if (::poll(&ended, 1, 10) > 0) return;
    } else {
      ::usleep(10'000);
    }
  }
}

}  // namespace sarnavel
