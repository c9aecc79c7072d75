// Runs the real sarnavel-cli (SARNAVEL_CLI, set by the build) as a child process with its
// standard output and error captured; what the child does before the program starts (a
// resource limit, another user) is a hook, with the usual ones below.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "support/state_home.h"

#ifndef SARNAVEL_CLI
#error "SARNAVEL_CLI must name the sarnavel-cli program"
#endif

namespace sarnavel::testing {

struct CliResult {
  int status = -1;  // the exit status, or 128 + the signal that ended the program
  std::string out, err;
};

class CliProcess {
 public:
  CliProcess(const std::vector<std::string>& arguments, const std::filesystem::path& folder = {},
             const std::function<void()>& inChild = {}) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    std::vector<std::string> argv{SARNAVEL_CLI};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (auto& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    const std::string stateHome = stateHomeOf().native(), configHome = stateHome + "/config";  // settingsFileOf()
    pid_ = fork();
    if (pid_ == 0) {
      if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(126);
      const int nothing = open("/dev/null", O_RDONLY);
      dup2(nothing, 0);
      dup2(out[1], 1);
      dup2(err[1], 2);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      ::signal(SIGINT, SIG_DFL);
      setenv("XDG_STATE_HOME", stateHome.c_str(), 1);
      setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
      // Messages in English whatever the locale of who runs the suite; a test may choose another.
      unsetenv("LC_ALL");
      unsetenv("LC_MESSAGES");
      setenv("LANG", "C.UTF-8", 1);
      if (inChild) inChild();
      execv(pointers[0], pointers.data());
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

  const std::string& out() const { return outText_; }
  void signal(int number) { kill(pid_, number); }
  // Closes our end of the program's standard output, as `| head` does when it has read enough.
  void closeOutput() {
    if (out_ >= 0) close(out_);
    out_ = -1;
  }

  // Reads until standard output holds `text`; false when the output ends or time runs out first.
  bool waitForOutput(std::string_view text, std::chrono::milliseconds patience = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (outText_.find(text) == std::string::npos) {
      if (out_ < 0 || std::chrono::steady_clock::now() > deadline) return false;
      pump(50);
    }
    return true;
  }

  // Reads both outputs to their end and waits for the program, killing it with SIGKILL once
  // `patience` has passed (a program that hangs ends the test instead of holding it).
  CliResult finish(std::chrono::microseconds patience = std::chrono::minutes(5)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (out_ >= 0 || err_ >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        kill(pid_, SIGKILL);
        break;
      }
      pump(static_cast<int>(std::min<long long>(left.count(), 100)));
    }
    CliResult result;
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) {
      reaped_ = true;
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    }
    result.out = outText_;
    result.err = errText_;
    return result;
  }

 private:
  void pump(int milliseconds) {
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (poll(fds, 2, milliseconds) <= 0) return;
    drain(fds[0], out_, outText_);
    drain(fds[1], err_, errText_);
  }
  static void drain(const pollfd& fd, int& handle, std::string& text) {
    if (handle < 0 || fd.revents == 0) return;
    char buffer[65536];
    const ssize_t n = read(handle, buffer, sizeof buffer);
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
  std::string outText_, errText_;
};

// Runs the program to its end.
// In the child: a Japanese locale, for a test that reads the log's Japanese sentences.
inline void inJapanese() { setenv("LANG", "ja_JP.UTF-8", 1); }

inline CliResult runCli(const std::vector<std::string>& arguments, const std::filesystem::path& folder = {},
                        const std::function<void()>& inChild = {}) {
  CliProcess process(arguments, folder, inChild);
  return process.finish();
}

// Child hooks. A child that cannot take its limit or user exits with 122, which a test reads
// as "not possible here".
inline std::function<void()> underLimit(int resource, rlim_t value) {
  return [=] {
    const rlimit limit{value, value};
    if (setrlimit(resource, &limit) != 0) _exit(122);
  };
}
// As `user` (and group `user`, no other groups), with a state home of the user's own.
inline std::function<void()> asUser(uid_t user) {
  const std::string stateHome = stateHomeOf(user).native(), configHome = stateHome + "/config";
  return [=] {
    setenv("XDG_STATE_HOME", stateHome.c_str(), 1);
    setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
    if (setgroups(0, nullptr) != 0 || setresgid(user, user, user) != 0 || setresuid(user, user, user) != 0) _exit(122);
  };
}

// The log lines of sarnavel-cli (UTF-8, LF line ends).
inline const std::string kLogStart = "変換を開始しました。\n---\n";
inline std::string success(const std::filesystem::path& path) { return "成功: " + path.native() + "\n"; }
inline std::string failure(const std::filesystem::path& path, int code) {
  const char* reason = code == 101   ? "エラー - メモリ不足。"
                       : code == 102 ? "エラー - ファイルが開けませんでした。"
                       : code == 103 ? "エラー - ファイル書き込みに失敗。"
                                     : "エラー - バックアップ作成に失敗。";
  return "失敗: " + path.native() + "\n" + reason + "\n";
}
inline std::string finished(int successes, int failures) {
  return "\n---\n" + std::to_string(successes) + "個の成功、" + std::to_string(failures) +
         "個の失敗。\n変換処理を終了しました。\n";
}

}  // namespace sarnavel::testing
