// Runs the real sarnavel-cli as a child process, with its standard output and error captured.
//
// The program is looked for next to the test program (both are built into the same build
// folder); a test that needs it fails with a message naming the path when it is not there.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace sarnavel::testing {

inline std::filesystem::path cliPath() {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return self.parent_path() / "sarnavel-cli";
}

inline std::string cliMissingMessage() {
  return "sarnavel-cli is not built: expected it at " + cliPath().string() +
         " (build the sarnavel-cli target, or run `make test`, which builds everything)";
}

struct CliResult {
  int status = -1;  // the exit status, or 128 + the signal that ended the program
  std::string out, err;
};

class CliProcess {
 public:
  // Starts the program with `arguments`, in `folder` when one is given; `inChild` runs in the
  // child just before the program is started (to set a resource limit, say).
  CliProcess(const std::vector<std::string>& arguments, const std::filesystem::path& folder = {},
             const std::function<void()>& inChild = {}) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    const std::string program = cliPath().string();
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (auto& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(126);
      int nothing = open("/dev/null", O_RDONLY);
      dup2(nothing, 0);
      dup2(out[1], 1);
      dup2(err[1], 2);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      ::signal(SIGINT, SIG_DFL);
      if (inChild) inChild();
      execv(program.c_str(), pointers.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;
  ~CliProcess() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
  }

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  const std::string& out() const { return out_text_; }

  // Reads until standard output holds `text`; false when the output ends or time runs out first.
  bool waitForOutput(std::string_view text, std::chrono::milliseconds patience = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (out_text_.find(text) == std::string::npos) {
      if (out_ < 0 || std::chrono::steady_clock::now() > deadline) return false;
      pump(50);
    }
    return true;
  }

  void signal(int number) { kill(pid_, number); }

  // Closes our end of the program's standard output, as `| head` does when it has read enough.
  void closeOutput() {
    if (out_ >= 0) close(out_);
    out_ = -1;
  }

  // Reads both outputs to their end and waits for the program; a program that takes longer
  // than `patience` is killed and reported as ended by SIGKILL.
  CliResult finish(std::chrono::milliseconds patience = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (out_ >= 0 || err_ >= 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        break;
      }
      pump(100);
    }
    CliResult result;
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) {
      reaped_ = true;
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    }
    result.out = out_text_;
    result.err = err_text_;
    return result;
  }

 private:
  void pump(int milliseconds) {
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (poll(fds, 2, milliseconds) <= 0) return;
    drain(fds[0], out_, out_text_);
    drain(fds[1], err_, err_text_);
  }
  static void drain(const pollfd& fd, int& handle, std::string& text) {
    if (handle < 0 || fd.revents == 0) return;
    char buffer[65536];
    ssize_t n = read(handle, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      close(handle);
      handle = -1;
    }
  }

  pid_t pid_ = -1;
  bool reaped_ = false;
  int out_ = -1, err_ = -1;
  std::string out_text_, err_text_;
};

// Runs the program to its end.
inline CliResult runCli(const std::vector<std::string>& arguments, const std::filesystem::path& folder = {},
                        const std::function<void()>& inChild = {}) {
  CliProcess process(arguments, folder, inChild);
  return process.finish();
}

// Every entry below a folder with its bytes (for files) and its modification time.
struct EntryState {
  std::string bytes;
  std::int64_t mtimeSeconds = 0, mtimeNanoseconds = 0;
  bool operator==(const EntryState&) const = default;
};
inline std::map<std::string, EntryState> snapshot(const std::filesystem::path& folder) {
  std::map<std::string, EntryState> out;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    struct stat info {};
    if (lstat(entry.path().c_str(), &info) != 0) continue;
    EntryState state;
    if (S_ISREG(info.st_mode)) {
      int fd = open(entry.path().c_str(), O_RDONLY | O_NONBLOCK);
      char buffer[65536];
      for (ssize_t n; fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0;)
        state.bytes.append(buffer, static_cast<std::size_t>(n));
      if (fd >= 0) close(fd);
    }
    state.mtimeSeconds = info.st_mtim.tv_sec;
    state.mtimeNanoseconds = info.st_mtim.tv_nsec;
    out[std::filesystem::relative(entry.path(), folder).string()] = state;
  }
  return out;
}

// Sets the modification time of every entry below a folder (and the folder's own) to one
// moment in the past, so that any later write shows.
inline void ageEverything(const std::filesystem::path& folder) {
  const timespec past[2] = {{1000000000, 123456789}, {1000000000, 123456789}};
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    utimensat(AT_FDCWD, entry.path().c_str(), past, AT_SYMLINK_NOFOLLOW);
  }
  utimensat(AT_FDCWD, folder.c_str(), past, 0);
}

}  // namespace sarnavel::testing
