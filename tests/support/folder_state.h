// What a folder tree holds, taken whole before and after a run, and the promise every run
// keeps about it: each document old or new bytes exactly, each backup the former bytes,
// nothing else changed, no temporary file of the tool left.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace sarnavel::testing {

struct Entry {
  enum Type { File, Folder, Link, Other } type = Other;
  std::string content;  // a file's bytes, a link's target
  mode_t mode = 0;
  ino_t inode = 0;
  timespec modified{};
  // A folder's own time changes whenever a name in it does: it is compared by what it holds.
  bool operator==(const Entry& o) const {
    return type == o.type && content == o.content && mode == o.mode &&
           (type == Folder || (modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec));
  }
};

// Every name below `root`, links not followed, by path relative to root (raw bytes).
using FolderState = std::map<std::string, Entry>;

inline std::string fileBytes(const std::filesystem::path& path) {
  std::string bytes;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  char buffer[65536];
  for (ssize_t n; fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0;)
    bytes.append(buffer, static_cast<std::size_t>(n));
  if (fd >= 0) close(fd);
  return bytes;
}

inline FolderState snapshot(const std::filesystem::path& root) {
  FolderState result;
  std::vector<std::filesystem::path> folders{root};
  while (!folders.empty()) {
    const std::filesystem::path folder = folders.back();
    folders.pop_back();
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
      struct stat info {};
      if (lstat(item.path().c_str(), &info) != 0) continue;
      Entry entry{Entry::Other, {}, info.st_mode & 07777, info.st_ino, info.st_mtim};
      if (S_ISREG(info.st_mode)) {
        entry.type = Entry::File;
        entry.content = fileBytes(item.path());
      } else if (S_ISDIR(info.st_mode)) {
        entry.type = Entry::Folder;
        folders.push_back(item.path());
      } else if (S_ISLNK(info.st_mode)) {
        entry.type = Entry::Link;
        entry.content = std::filesystem::read_symlink(item.path()).native();
      }
      result[item.path().lexically_relative(root).native()] = std::move(entry);
    }
  }
  return result;
}

// Sets every modification time below a folder (and the folder's own) to one moment in the
// past, so that any later write shows.
inline void ageEverything(const std::filesystem::path& folder) {
  const timespec past[2] = {{1000000000, 123456789}, {1000000000, 123456789}};
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    utimensat(AT_FDCWD, entry.path().c_str(), past, AT_SYMLINK_NOFOLLOW);
  utimensat(AT_FDCWD, folder.c_str(), past, 0);
}

// Printable form of a raw name.
inline std::string shown(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : std::string(hex);
  }
  return out;
}

inline bool isToolTemporary(std::string_view name) {
  const std::size_t slash = name.rfind('/');
  const std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
  return base.starts_with(".") && base.find(".sarnavel-") != std::string_view::npos && base.ends_with(".tmp");
}

// The tree below `root` holds what `before` held: the same names, each of the same type, bytes
// and mode, and with `times` a file's modification time (a file put back keeps its backup's).
inline void expectSameTree(const FolderState& before, const std::filesystem::path& root, bool times = true) {
  const FolderState after = snapshot(root);
  for (const auto& [name, entry] : after) EXPECT_TRUE(before.count(name)) << shown(name) << " was not there before";
  for (const auto& [name, was] : before) {
    const auto is = after.find(name);
    if (is == after.end()) {
      ADD_FAILURE() << shown(name) << " is gone";
      continue;
    }
    EXPECT_TRUE(was.type == is->second.type && was.mode == is->second.mode && was.content == is->second.content)
        << shown(name) << " does not hold its former bytes and mode";
    if (times && was.type == Entry::File) {
      EXPECT_TRUE(was.modified.tv_sec == is->second.modified.tv_sec &&
                  was.modified.tv_nsec == is->second.modified.tv_nsec)
          << shown(name) << " has another modification time";
    }
  }
}

// A document of a run: its bytes before, the bytes a complete conversion gives, and what the
// test expects of it.
enum class Outcome { Converted, Untouched, Either };
struct Document {
  std::string before, after;
  Outcome outcome = Outcome::Either;
};
using Documents = std::map<std::string, Document>;  // by path relative to the root

inline void expectOldOrNew(const FolderState& before, const FolderState& after, const Documents& documents,
                           bool backups) {
  for (const auto& [name, document] : documents) {
    SCOPED_TRACE("document " + shown(name));
    ASSERT_TRUE(after.count(name)) << "a document is gone";
    const std::string& bytes = after.at(name).content;
    const bool isNew = bytes == document.after, isOld = bytes == document.before;
    EXPECT_TRUE(isNew || isOld) << "neither the old nor the converted bytes";
    if (document.outcome == Outcome::Converted) {
      EXPECT_TRUE(isNew) << "not converted";
    }
    if (document.outcome == Outcome::Untouched) {
      EXPECT_TRUE(isOld) << "changed";
    }
    const bool backedUp = after.count(name + ".bak") && !before.count(name + ".bak");
    if (backedUp) {
      EXPECT_TRUE(after.at(name + ".bak").content == document.before) << "the backup is not the former bytes";
    }
    const bool wanted = backups && document.before != document.after && document.outcome == Outcome::Converted;
    if (document.outcome != Outcome::Either) {
      EXPECT_EQ(backedUp, wanted) << "backup made or missing";
    }
  }
  for (const auto& [name, entry] : after) {
    if (documents.count(name) || (name.ends_with(".bak") && documents.count(name.substr(0, name.size() - 4)))) continue;
    EXPECT_FALSE(isToolTemporary(name)) << "temporary file left: " << shown(name);
    EXPECT_TRUE(before.count(name) && before.at(name) == entry) << "new or changed: " << shown(name);
  }
  for (const auto& [name, entry] : before) EXPECT_TRUE(after.count(name)) << "vanished: " << shown(name);
}

}  // namespace sarnavel::testing
