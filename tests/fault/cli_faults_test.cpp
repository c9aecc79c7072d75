// sarnavel-cli under faults the operating system really raises: each line builds a tree of
// Shift_JIS documents, breaks something, runs the program on it (to UTF-8, with backups) and
// checks the log names each file with its outcome and the reason, and that every document is
// converted or byte for byte as it was (with no new backup), every backup holds the former
// bytes and nothing else changed.
#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <fstream>
#include <functional>
#include <map>

#include "fault/scratch_mounts.h"
#include "support/cli_process.h"
#include "support/folder_state.h"
#include "support/site_documents.h"
#include "support/temp_folder.h"

namespace sarnavel::testing {
namespace {

namespace fs = std::filesystem;

struct File {
  std::string name;
  std::size_t size;         // 0: the fault makes the file itself, and it must end as it was
  int code;                 // 100 converted, else the failure's message number
  std::string reason = {};  // what the line under the failure says, when it says why
};

// Leaves `room` bytes free on the file system of `root` by filling the rest.
void leaveRoom(const fs::path& root, std::size_t room) {
  struct statvfs info {};
  ASSERT_EQ(statvfs(root.c_str(), &info), 0);
  const std::size_t free = info.f_bavail * info.f_frsize;
  ASSERT_GT(free, room + 8192);
  std::ofstream(root / "ballast.bin", std::ios::binary) << std::string(free - room, 'x');
}

// A small file system of its own holding a script of 300 KB, with `room` bytes left free.
auto fullFileSystem(std::size_t room) {
  return [room](const fs::path& root, std::vector<ScratchMount>& mounts) {
    mounts.push_back(ScratchMount::tmpfs(root, "2m"));
    if (!mounts.back().ok()) return false;
    std::ofstream(root / "a.js", std::ios::binary) << sjisDocument(FileKind::JavaScript, 300 << 10, 0);
    leaveRoom(root, room);
    return true;
  };
}

TEST(CliFault, EachFaultFailsItsFileAloneAndLosesNothing) {
  constexpr uid_t kNobody = 65534;
  const struct {
    const char* what;
    std::vector<File> files;
    // Makes the fault once the files are there; false when this machine cannot.
    std::function<bool(const fs::path& root, std::vector<ScratchMount>& mounts)> fault;
    std::function<void()> inChild;
  } cases[] = {
    {"a file-size limit: the write fails, or the backup",
     {{"small.js", 500, 100}, {"grows.css", 6000, 103, "EFBIG"}, {"big.html", 12000, 104, "EFBIG"}},
     [](const fs::path&, auto&) { return true; },
     underLimit(RLIMIT_FSIZE, 8192)},
    {"a full file system with room for the backup only",
     {{"a.js", 300 << 10, 103, "ENOSPC"}},
     fullFileSystem((300 << 10) * 13 / 10),
     {}},
    {"a full file system without room for the backup",
     {{"a.js", 300 << 10, 104, "ENOSPC"}},
     fullFileSystem((300 << 10) / 2),
     {}},
    {"a read-only folder",
     {{"a.js", 400, 100}, {"ro/b.js", 400, 104}},
     [](const fs::path& root, auto& mounts) {
       mounts.push_back(ScratchMount::readOnly(root / "ro"));
       return mounts.back().ok();
     },
     {}},
    {"permission bits bind an ordinary user: unreadable, unwritable",
     {{"ok.js", 400, 100}, {"secret.js", 400, 102}, {"locked.css", 400, 103, "権限"}},
     [](const fs::path& root, auto&) {
       for (const auto& item : fs::recursive_directory_iterator(root))
         (void)lchown(item.path().c_str(), kNobody, kNobody);
       (void)chown(root.c_str(), kNobody, kNobody);
       (void)chown((root / "secret.js").c_str(), 0, 0);
       (void)chmod((root / "secret.js").c_str(), 0600);
       (void)chown((root / "locked.css").c_str(), 0, 0);
       return chmod((root / "locked.css").c_str(), 0644) == 0;
     },
     asUser(kNobody)},
    {"a name with no room for its backup's",
     {{std::string(249, 'n') + ".js", 400, 104}},
     [](const fs::path&, auto&) { return true; },
     {}},
#if !defined(__SANITIZE_ADDRESS__)
    {"a file too large for the memory the program may take",
     {{"a.css", 400, 100}, {"big.js", 0, 101}},
     [](const fs::path& root, auto&) {
       std::ofstream(root / "big.js").close();
       fs::resize_file(root / "big.js", 300 << 20);  // sparse zeros, untouched after (checked by the state)
       return true;
     },
     underLimit(RLIMIT_AS, rlim_t{512} << 20)},
    {"a page whose escapes outgrow the memory the program may take",
     {{"a.css", 400, 100}, {"bad.html", 0, 101}},
     [](const fs::path& root, auto&) {
       std::string page = "<meta charset=\"Shift_JIS\"><p>";
       for (int k = 0; k < 6'000'000; ++k) page += "\x81\xFF\xA0\xFD";  // each byte a "&#65533;"
       std::ofstream(root / "bad.html", std::ios::binary) << page;
       return true;
     },
     underLimit(RLIMIT_AS, rlim_t{128} << 20)},  // 24 MB read, 144 MB written
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder temp;
    ASSERT_EQ(chmod(temp.path().c_str(), 0755), 0);
    const fs::path root = temp / "tree";
    fs::create_directories(root / "ro");
    Documents documents;
    int seed = 0;
    for (const File& f : c.files) {
      if (f.size == 0) continue;
      const std::string bytes = sjisDocument(classifyExtension((root / f.name).native()), f.size, seed++);
      temp.put("tree/" + f.name, bytes);
      documents[f.name] = {bytes, convertedContent(root / f.name, bytes),
                           f.code == 100 ? Outcome::Converted : Outcome::Untouched};
    }
    std::vector<ScratchMount> mounts;
    if (!c.fault(root, mounts)) {
      std::printf("not possible here: %s\n", c.what);
      continue;
    }
    const FolderState before = snapshot(root);
    // The log's reasons read in Japanese.
    const CliResult r = runCli({"-t", "utf-8", root.native()}, {}, [&] {
      inJapanese();
      if (c.inChild) c.inChild();
    });
    if (r.status == 122) continue;  // no such limit or user here
    int failures = 0;
    for (const File& f : c.files) {
      failures += f.code != 100;
      const std::string line = f.code == 100 ? success(root / f.name) : failure(root / f.name, f.code);
      const std::size_t at = r.out.find(line);
      EXPECT_NE(at, std::string::npos) << f.code << " " << shown(f.name) << "\n" << r.out;
      if (!f.reason.empty() && at != std::string::npos) {
        const std::size_t next = r.out.find("\n", at + line.size());
        EXPECT_NE(r.out.substr(at + line.size(), next - at - line.size()).find(f.reason), std::string::npos) << r.out;
      }
    }
    EXPECT_EQ(r.status, failures ? 1 : 0) << r.err;
    EXPECT_NE(r.out.find(finished(static_cast<int>(c.files.size()) - failures, failures)), std::string::npos) << r.out;
    expectOldOrNew(before, snapshot(root), documents, true);
  }
}

}  // namespace
}  // namespace sarnavel::testing
