// Tools of the fault-injection tests: running sarnavel-cli in a child process under limits,
// snapshots of a whole folder tree, the conversion a file should end up with, mounts that
// vanish with the test process, and the invariant every run must keep.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "run/conversion_options.h"
#include "engine/css_conversion.h"
#include "engine/html_conversion.h"
#include "engine/javascript_conversion.h"
#include "run/file_drivers.h"
#include "run/reference_files.h"
#include "run/file_kind.h"
#include "support/temp_folder.h"
#include "support/targets.h"
#include "text/cp932.h"

#ifndef SARNAVEL_CLI
#error "SARNAVEL_CLI must name the sarnavel-cli program"
#endif

#if defined(__SANITIZE_ADDRESS__)
#define SARNAVEL_FAULT_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SARNAVEL_FAULT_ASAN 1
#endif
#endif

namespace sarnavel::fault {

namespace fs = std::filesystem;
using sarnavel::testing::TempFolder;

// ---- documents --------------------------------------------------------------------------

// Shift_JIS bytes of a text.
inline std::string sjis(std::u16string_view text) { return wideToCp932(text); }

// A Shift_JIS page, sheet or script of about `size` bytes (at least one line), mostly kana
// and kanji, so that its UTF-8 form is about half as large again. `seed` varies the text.
inline std::string sjisDocument(FileKind kind, std::size_t size, int seed = 0) {
  static const std::u16string line = u"日本語の文章です。ひらがな、カタカナ、漢字。①㈱ ｶﾀｶﾅ";
  std::string body;
  do {
    body += sjis(line) + std::to_string(seed) + "\r\n";
  } while (body.size() < size);
  switch (kind) {
    case FileKind::Html:
      return "<html><head><title>" + sjis(u"表題") + std::to_string(seed) + "</title></head><body>\r\n<p>" + body +
             "</p></body></html>\r\n";
    case FileKind::Css: return "p:before { content: \"" + sjis(u"日本") + "\"; }\r\n/* " + body + " */\r\n";
    default: return "var s = \"" + sjis(u"日本") + std::to_string(seed) + "\";\r\n// " + body;
  }
}

// What converting `bytes`, the content of a file named `path`, gives: exactly what the file
// drivers compute (the file's own engine conversion), for the test's expectations.
inline std::string convertedContent(const fs::path& path, const std::string& bytes, const ConversionOptions& options) {
  const FileKind kind = classifyExtension(path);
  std::string text = bytes;
  (void)(kind == FileKind::Html  ? convertHtml(text, options, FileSystemResolver(path.parent_path()))
         : kind == FileKind::Css ? convertCss(text, options)
                                 : convertJavaScript(text, options));
  return text;
}

inline ConversionOptions toUtf8() {
  ConversionOptions options;
  options.targetEncoding = testing::asTarget(3);
  return options;
}

inline void putFile(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path << ": " << std::strerror(errno);
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    ASSERT_GT(n, 0) << std::strerror(errno);
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

inline std::string readFile(const fs::path& path) { return TempFolder::read(path); }

// ---- snapshots --------------------------------------------------------------------------

struct Entry {
  enum Type { File, Folder, Link, Other } type = Other;
  std::string content;  // a file's bytes, a link's target
  mode_t mode = 0;
  ino_t inode = 0;
  bool operator==(const Entry& other) const {
    return type == other.type && content == other.content && mode == other.mode;
  }
};

// Every name below `root` (links not followed), by path relative to root (raw bytes).
using Snapshot = std::map<std::string, Entry>;

inline Snapshot snapshot(const fs::path& root) {
  Snapshot result;
  std::vector<fs::path> folders{root};
  while (!folders.empty()) {
    fs::path folder = folders.back();
    folders.pop_back();
    for (const auto& item : fs::directory_iterator(folder)) {
      struct stat info {};
      if (::lstat(item.path().c_str(), &info) != 0) continue;
      Entry entry;
      entry.mode = info.st_mode & 07777;
      entry.inode = info.st_ino;
      if (S_ISREG(info.st_mode)) {
        entry.type = Entry::File;
        entry.content = readFile(item.path());
      } else if (S_ISDIR(info.st_mode)) {
        entry.type = Entry::Folder;
        folders.push_back(item.path());
      } else if (S_ISLNK(info.st_mode)) {
        entry.type = Entry::Link;
        entry.content = fs::read_symlink(item.path()).native();
      }
      result[item.path().lexically_relative(root).native()] = std::move(entry);
    }
  }
  return result;
}

// Printable form of a raw name.
inline std::string shown(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

inline bool isToolTemporary(std::string_view name) {
  const std::size_t slash = name.rfind('/');
  std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
  return base.starts_with(".") && base.find(".sarnavel-") != std::string_view::npos && base.ends_with(".tmp");
}

// ---- the invariant ----------------------------------------------------------------------

// A document of a run: its old bytes and the bytes a complete conversion gives.
struct Document {
  std::string before;
  std::string after;
};
using Documents = std::map<std::string, Document>;  // by path relative to the root

// Converted: new bytes and (with backups) a new backup of the old. Untouched: old bytes, no
// new backup. WriteFailed: old bytes, and a new backup of them (the backup was made, the
// write failed). Either: old or new bytes, a new backup (if any) of the old bytes.
enum class Outcome { Converted, Untouched, WriteFailed, Either };

// Every file is either completely converted or byte for byte as before (as `expected` says
// where the test knows), a backup holds the exact former bytes, a failed file got no new
// backup unless only its write failed, nothing else below the root changed, and no temporary
// file of the tool is left.
inline void expectRunInvariant(const Snapshot& before, const Snapshot& after, const Documents& documents,
                               const std::map<std::string, Outcome>& expected, bool backups) {
  std::set<std::string> accounted;
  for (const auto& [name, document] : documents) {
    SCOPED_TRACE("document " + shown(name));
    auto found = after.find(name);
    ASSERT_NE(found, after.end()) << "a document is gone";
    accounted.insert(name);
    const Entry& entry = found->second;
    if (entry.type == Entry::Link) {  // its target is checked by the test; its backup is here
      if (after.count(name + ".bak") && !before.count(name + ".bak")) {
        accounted.insert(name + ".bak");
        EXPECT_TRUE(after.at(name + ".bak").content == document.before) << "the backup does not hold the former bytes";
      }
      continue;
    }
    ASSERT_EQ(entry.type, Entry::File);
    const bool isNew = entry.content == document.after;
    const bool isOld = entry.content == document.before;
    EXPECT_TRUE(isNew || isOld) << "neither the old nor the converted bytes (" << entry.content.size() << " bytes)";
    auto want = expected.find(name);
    const Outcome outcome = want == expected.end() ? Outcome::Either : want->second;
    if (outcome == Outcome::Converted) {
      EXPECT_TRUE(isNew) << "not converted";
    }
    if (outcome == Outcome::Untouched || outcome == Outcome::WriteFailed) {
      EXPECT_TRUE(isOld) << "changed";
    }
    if (document.before != document.after && before.count(name) && before.at(name).type == Entry::File) {
      EXPECT_EQ(entry.mode, before.at(name).mode) << "permission bits changed";
    }
    const std::string backup = name + ".bak";
    auto backupFound = after.find(backup);
    const bool hadBackup = before.count(backup) != 0;
    if (!hadBackup && backupFound != after.end()) {
      accounted.insert(backup);
      EXPECT_EQ(backupFound->second.type, Entry::File);
      EXPECT_TRUE(backupFound->second.content == document.before) << "the backup does not hold the former bytes";
      EXPECT_TRUE(backups) << "a backup was made with backups off";
      if (outcome == Outcome::Untouched) ADD_FAILURE() << "a backup was made for a file that was not written";
    } else if (!hadBackup && backups && (isNew || outcome == Outcome::WriteFailed) && outcome != Outcome::Either) {
      ADD_FAILURE() << "no backup";
    } else if (!hadBackup && backups && isNew && !isOld) {
      ADD_FAILURE() << "converted without a backup";
    }
  }
  for (const auto& [name, entry] : after) {
    if (accounted.count(name)) continue;
    EXPECT_FALSE(isToolTemporary(name)) << "temporary file left: " << shown(name);
    auto old = before.find(name);
    if (old == before.end()) {
      ADD_FAILURE() << "new name: " << shown(name);
    } else {
      EXPECT_TRUE(old->second == entry) << "changed: " << shown(name);
    }
  }
  for (const auto& [name, entry] : before) {
    EXPECT_TRUE(after.count(name)) << "vanished: " << shown(name);
  }
}

// ---- the command-line program -----------------------------------------------------------

struct Limits {
  rlim_t fileSize = RLIM_INFINITY;                                    // RLIMIT_FSIZE
  rlim_t addressSpace = RLIM_INFINITY;                                // RLIMIT_AS
  uid_t uid = 0;                                                      // run as this user (and group) when not 0
  std::optional<std::chrono::microseconds> killAfter = std::nullopt;  // SIGKILL after this long
  // SIGKILL `afterWatch` after `watchSaysKill(watchFd)` first says so; it is asked each time
  // the descriptor (e.g. an inotify watch) is readable.
  int watchFd = -1;
  std::function<bool(int fd)> watchSaysKill = nullptr;
  std::chrono::microseconds afterWatch{0};
};

struct CliResult {
  int exitCode = -1;  // -1 when killed
  int signal = 0;
  std::string out, err;
  std::chrono::microseconds elapsed{};
};

inline CliResult runCli(const std::vector<std::string>& arguments, const Limits& limits = {}) {
  CliResult result;
  int outPipe[2], errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return result;
  }
  std::vector<std::string> argv_strings{SARNAVEL_CLI};
  argv_strings.insert(argv_strings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& s : argv_strings) argv.push_back(s.data());
  argv.push_back(nullptr);

  const auto started = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(outPipe[1], 1);
    ::dup2(errPipe[1], 2);
    struct rlimit fileSize {
      limits.fileSize, limits.fileSize
    };
    struct rlimit addressSpace {
      limits.addressSpace, limits.addressSpace
    };
    if (limits.fileSize != RLIM_INFINITY && ::setrlimit(RLIMIT_FSIZE, &fileSize) != 0) ::_exit(120);
    if (limits.addressSpace != RLIM_INFINITY && ::setrlimit(RLIMIT_AS, &addressSpace) != 0) ::_exit(121);
    if (limits.uid != 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(limits.uid, limits.uid, limits.uid) != 0 ||
                            ::setresuid(limits.uid, limits.uid, limits.uid) != 0)) {
      ::_exit(122);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  if (pid < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
    return result;
  }
  // Read both pipes to their end; kill on the requested delay, and after ten minutes anyway.
  const auto deadline =
      started + (limits.killAfter ? *limits.killAfter : std::chrono::microseconds(std::chrono::minutes(10)));
  bool killed = false;
  struct pollfd fds[3] = {
      {outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}, {limits.watchSaysKill ? limits.watchFd : -1, POLLIN, 0}};
  int open = 2;
  while (open > 0) {
    int waitMs = -1;
    if (!killed) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) {
        ::kill(pid, SIGKILL);
        killed = true;
      } else {
        waitMs = static_cast<int>(left);
      }
    }
    if (::poll(fds, 3, waitMs) < 0 && errno != EINTR) break;
    if (fds[2].fd >= 0 && (fds[2].revents & POLLIN) && !killed && limits.watchSaysKill(fds[2].fd)) {
      std::this_thread::sleep_for(limits.afterWatch);
      ::kill(pid, SIGKILL);
      killed = true;
      fds[2].fd = -1;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[65536];
      ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.elapsed = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

// The log entries of sarnavel-cli (LF line ends).
inline std::string success(const fs::path& path) { return "成功: " + path.native() + "\n"; }
inline std::string failure(const fs::path& path, ResultCode code) {
  const char* reason = code == ResultCode::OutOfMemory   ? "エラー - メモリ不足。"
                       : code == ResultCode::CannotOpen  ? "エラー - ファイルが開けませんでした。"
                       : code == ResultCode::WriteFailed ? "エラー - ファイル書き込みに失敗。"
                                                         : "エラー - バックアップ作成に失敗。";
  return "失敗: " + path.native() + "\n" + reason + "\n";
}
inline std::string summary(int successes, int failures) {
  return std::to_string(successes) + "個の成功、" + std::to_string(failures) + "個の失敗。\n";
}

// ---- mounts -----------------------------------------------------------------------------

// Mounts made by a test live in a mount namespace of the test process's own where it can have
// one, so that none outlives the process; each is also undone when its object goes.
inline bool privateMountNamespace() {
  static const bool ok =
      ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  return ok;
}

class Mount {
 public:
  // A tmpfs of `size` (mount's syntax, e.g. "1m") on the folder.
  static Mount tmpfs(const fs::path& on, const std::string& size) {
    Mount m;
    privateMountNamespace();
    const std::string options = "size=" + size + ",mode=0755";
    if (::mount("tmpfs", on.c_str(), "tmpfs", 0, options.c_str()) == 0) {
      m.target_ = on;
    } else {
      m.error_ = std::string("tmpfs mount: ") + std::strerror(errno);
    }
    return m;
  }
  // The folder `from` again at `on`, read-only.
  static Mount readOnlyBind(const fs::path& from, const fs::path& on) {
    Mount m;
    privateMountNamespace();
    if (::mount(from.c_str(), on.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      m.error_ = std::string("bind mount: ") + std::strerror(errno);
      return m;
    }
    m.target_ = on;
    if (::mount(nullptr, on.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
      m.error_ = std::string("read-only remount: ") + std::strerror(errno);
    }
    return m;
  }
  Mount(Mount&& other) noexcept : target_(std::move(other.target_)), error_(std::move(other.error_)) {
    other.target_.clear();
  }
  Mount(const Mount&) = delete;
  Mount& operator=(const Mount&) = delete;
  ~Mount() {
    if (!target_.empty()) ::umount2(target_.c_str(), MNT_DETACH);
  }
  bool ok() const { return !target_.empty() && error_.empty(); }
  const std::string& error() const { return error_; }

 private:
  Mount() = default;
  fs::path target_;
  std::string error_;
};

}  // namespace sarnavel::fault
