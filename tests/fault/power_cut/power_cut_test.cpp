// A power cut at any moment of a run: sarnavel-cli converts a small site (pages, a sheet and a
// script in subfolders, a page alone in its folder, backups on, a former backup to push along,
// a file with two hard links that is written in place, another user's file when run as root,
// a file with an extended attribute; the backups of files replaced by new ones are the former
// files themselves, those of files written in place copies) under fs_trace_shim, which
// records every change and flush of the file system. The record is then replayed, and after
// every call each tree a disk may hold (power_cut_disk.h) is checked:
//  - every file of the site is there with its old or its new bytes, whole, and its owner,
//    group, mode and attributes; or, for a file written in place, holds anything while a whole
//    recovery copy holding its old bytes lies beside it (the next run puts them back);
//  - a document with its new bytes has its old ones in one of its backups; every backup holds
//    bytes its file had, with the file's mode, owner, group and attributes; no former backup
//    is lost; every recovery copy is whole; no other name appears but our hidden temporaries;
//  - once the log says 成功 for a file, a power cut no longer takes its new content back;
//  - once the run has ended, a power cut takes nothing back.
// The same run with the shim dropping the flushes of files (or of folders) must fail those
// checks: the test can see a missing flush.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "power_cut/power_cut_disk.h"
#include "support/refuse_unnamed_files.h"
#include "support/temp_folder.h"

#ifndef SARNAVEL_CLI
#error "SARNAVEL_CLI must name the sarnavel-cli program"
#endif
#ifndef SARNAVEL_FS_TRACE_SHIM
#error "SARNAVEL_FS_TRACE_SHIM must name the preloaded library"
#endif

namespace sarnavel::powercut {
namespace {

namespace fs = std::filesystem;
using sarnavel::testing::TempFolder;

// Shift_JIS words.
const std::string kNihongo = "\x93\xfa\x96\x7b\x8c\xea";                               // 日本語
const std::string kPage = "\x82\xcc\x83\x79\x81\x5b\x83\x57\x82\xc5\x82\xb7\x81\x42";  // のページです。
const std::string kAbout = "\x82\xc9\x82\xc2\x82\xa2\x82\xc4";                         // について
const std::string kLink = "\x83\x8a\x83\x93\x83\x4e";                                  // リンク
const std::string kColour = "\x90\x46";                                                // 色

constexpr uid_t kOtherUser = 65534;

void put(const fs::path& path, const std::string& bytes, mode_t mode) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
  ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

// The site, in Shift_JIS. Returns false when the file system takes no user attributes.
bool makeSite(const fs::path& root) {
  const std::string head =
      "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\r\n";
  put(root / "index.html",
      head + "<link rel=\"stylesheet\" href=\"css/site.css\"><script src=\"js/app.js\"></script>\r\n<title>" +
          kNihongo + "</title></head><body><p>" + kNihongo + kPage + "</p></body></html>\r\n",
      0666);
  put(root / "about.html", head + "<title>" + kAbout + "</title></head><body>" + kAbout + kPage + "</body></html>\r\n",
      0640);
  put(root / "about.html.bak", head + "<title>" + kAbout + "</title></head></html>\r\n", 0640);
  put(root / "linked.html", head + "<title>" + kLink + "</title></head><body>" + kLink + kPage + "</body></html>\r\n",
      0644);
  EXPECT_EQ(link((root / "linked.html").c_str(), (root / "linked-name.txt").c_str()), 0);
  put(root / "css/site.css", "@charset \"Shift_JIS\";\r\np:before { content: \"" + kColour + "\"; }\r\n", 0664);
  if (geteuid() == 0) {
    EXPECT_EQ(chown((root / "css/site.css").c_str(), kOtherUser, kOtherUser), 0);
  }
  put(root / "js/app.js", "var s = \"" + kNihongo + "\";\r\n", 0644);
  // Alone in its folder: nothing after its rename flushes the folder but the store itself.
  put(root / "news/today.html", head + "<title>" + kNihongo + "</title></head><body>" + kPage + "</body></html>\r\n",
      0644);
  return setxattr((root / "js/app.js").c_str(), "user.origin", "site", 4, 0) == 0;
}

struct RunRecord {
  int status = -1;
  std::vector<std::string> trace;
};

// sarnavel-cli -t utf-8 ROOT under the shim, which drops the flushes `drop` names (or none);
// with `namedOnly`, as on a file system without unnamed temporary files.
RunRecord runUnderShim(const fs::path& root, const fs::path& scratch, const std::string& drop, bool namedOnly) {
  const fs::path trace = scratch / "trace", log = scratch / "log";
  const pid_t child = fork();
  if (child == 0) {
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || dup2(out, STDOUT_FILENO) < 0) _exit(126);
    setenv("SARNAVEL_FS_TRACE", trace.c_str(), 1);
    if (!drop.empty()) setenv("SARNAVEL_FS_TRACE_DROP", drop.c_str(), 1);
    setenv("LD_PRELOAD", SARNAVEL_FS_TRACE_SHIM, 1);
    // AddressSanitizer wants its library first; the shim only passes calls on to it.
    const char* asan = getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":verify_asan_link_order=0").c_str(), 1);
    if (namedOnly && !sarnavel::testing::refuseUnnamedFiles()) _exit(125);
    execl(SARNAVEL_CLI, SARNAVEL_CLI, "-t", "utf-8", root.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  RunRecord run;
  if (child < 0 || waitpid(child, &run.status, 0) != child) return run;
  std::ifstream in(trace);
  for (std::string line; std::getline(in, line);) run.trace.push_back(line);
  return run;
}

bool isFolderOrLink(const Entry& entry) { return entry.kind != Entry::Kind::File; }
bool sameMetadata(const Entry& a, const Entry& b) {
  return a.mode == b.mode && a.owner == b.owner && a.group == b.group && a.attributes == b.attributes;
}
std::string folderOf(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string::npos ? "" : name.substr(0, slash + 1);
}
std::string leafOf(const std::string& name) { return name.substr(folderOf(name).size()); }

// Our hidden temporary files and recovery copies: ".NAME.sarnavel-XXXXXX.tmp" and
// ".NAME.sarnavel-XXXXXX.recovery.tmp".
const std::regex kTemporary(R"(\..+\.sarnavel-[A-Za-z0-9]{6}\.tmp)");
const std::regex kRecovery(R"(\..+\.sarnavel-[A-Za-z0-9]{6}\.recovery\.tmp)");

// What every tree a power cut leaves must keep, from the site before and after the run.
class Promises {
 public:
  Promises(Tree before, Tree after) : before_(std::move(before)), after_(std::move(after)) {}

  // The promises `tree` breaks, one sentence each.
  std::vector<std::string> brokenBy(const Tree& tree) const {
    std::vector<std::string> broken;
    for (const auto& [name, was] : before_) {
      if (isBackupName(name)) continue;  // checked with its document below
      const auto now = tree.find(name);
      if (now == tree.end()) {
        broken.push_back(name + " is missing");
        continue;
      }
      if (isFolderOrLink(was)) {
        if (now->second.kind != was.kind) broken.push_back(name + " changed its kind");
        continue;
      }
      const Entry& entry = now->second;
      const bool whole = entry.bytes == was.bytes || entry.bytes == after_.at(name).bytes;
      if (!whole && !recoverable(tree, name, was.bytes))
        broken.push_back(name + " holds neither its old nor its new bytes");
      if (whole && !sameMetadata(entry, was)) broken.push_back(name + " lost its owner, group, mode or attributes");
      if (entry.bytes != was.bytes && hasBackups(name) && !backupHolds(tree, name, was.bytes)) {
        broken.push_back(name + " was replaced before its old bytes were safe in a backup");
      }
    }
    for (const auto& [name, entry] : tree) {
      if (before_.count(name) && !isBackupName(name)) continue;
      const std::string leaf = leafOf(name);
      if (std::regex_match(leaf, kRecovery)) {
        if (entry.bytes.empty() || entry.bytes != entry.renamedWith)
          broken.push_back("the recovery copy " + name + " is not whole");
      } else if (!std::regex_match(leaf, kTemporary)) {
        const std::string document = documentOfBackup(name);
        if (document.empty()) broken.push_back(name + " should not be there");
        else checkBackup(name, document, entry, broken);
      }
    }
    for (const auto& [name, entry] : before_) {
      if (isBackupName(name) && !backupHolds(tree, documentOfBackup(name), entry.bytes))
        broken.push_back("the former backup " + name + " is lost");
    }
    return broken;
  }

 private:
  bool isBackupName(const std::string& name) const { return !documentOfBackup(name).empty(); }

  // "a.html" for "a.html.bak", "a.html.bak.bak", ... when a.html is a file of the site.
  std::string documentOfBackup(std::string name) const {
    if (!name.ends_with(".bak")) return {};
    while (name.ends_with(".bak")) name.erase(name.size() - 4);
    const auto document = before_.find(name);
    return document != before_.end() && !isFolderOrLink(document->second) ? name : std::string();
  }

  bool hasBackups(const std::string& document) const { return after_.count(document + ".bak") > 0; }

  // Whether one of the document's backups holds the bytes (mid-shift, a generation may have
  // left its name before the next one takes it: the chain may have a gap).
  bool backupHolds(const Tree& tree, const std::string& document, const std::string& bytes) const {
    for (const auto& [name, entry] : tree) {
      if (entry.bytes == bytes && documentOfBackup(name) == document) return true;
    }
    return false;
  }

  // A backup holds bytes its file had (old, new, or a former backup's), with their metadata.
  void checkBackup(const std::string& name, const std::string& document, const Entry& entry,
                   std::vector<std::string>& broken) const {
    std::vector<const Entry*> sources = {&before_.at(document)};
    for (std::string former = document + ".bak"; before_.count(former); former += ".bak")
      sources.push_back(&before_.at(former));
    for (const Entry* source : sources) {
      if (entry.bytes == source->bytes || (source == sources.front() && entry.bytes == after_.at(document).bytes)) {
        if (!sameMetadata(entry, *source))
          broken.push_back("the backup " + name + " lacks its file's owner, group, mode or attributes");
        return;
      }
    }
    broken.push_back("the backup " + name + " is not whole");
  }

  // A whole recovery copy beside the file holds its old bytes: the next run puts them back.
  bool recoverable(const Tree& tree, const std::string& name, const std::string& old) const {
    const std::string folder = folderOf(name);
    for (const auto& [other, entry] : tree) {
      if (folderOf(other) == folder && std::regex_match(leafOf(other), kRecovery) && !entry.bytes.empty() &&
          entry.bytes == entry.renamedWith && entry.bytes.ends_with(old)) {
        return true;
      }
    }
    return false;
  }

  Tree before_, after_;
};

// Replays the trace; returns each broken promise once, with the first call after which a
// power cut breaks it.
struct Replay {
  std::map<std::string, std::string> broken;  // promise -> where first broken
  std::vector<std::string> modelErrors;
  Tree endStrict, endCurrent;
  bool madeRecoveryCopy = false;
};

// The files a write of the log names as converted ("成功: PATH" lines), relative to `root`.
std::vector<std::string> loggedAsConverted(const std::string& line, const fs::path& root) {
  std::vector<std::string> names;
  if (!line.starts_with("write ")) return names;
  std::istringstream words(line);
  std::string op, object, offset, hex;
  words >> op >> object >> offset >> hex;
  const std::string bytes = fromHex(hex).value_or(std::string());
  const std::string mark = "成功: " + root.string() + "/";
  for (std::size_t at = bytes.find(mark); at != std::string::npos; at = bytes.find(mark, at + 1)) {
    const std::size_t start = at + mark.size();
    names.push_back(bytes.substr(start, bytes.find_first_of("\r\n", start) - start));
  }
  return names;
}

Replay replay(DiskModel model, const std::vector<std::string>& trace, const Promises& promises, const fs::path& root,
              const Tree& after) {
  Replay result;
  unsigned long checked = model.revision();
  for (std::size_t k = 0; k < trace.size(); ++k) {
    if (auto error = model.apply(trace[k])) result.modelErrors.push_back(*error);
    // The log says 成功 only of a file whose new content a power cut no longer takes back.
    for (const std::string& name : loggedAsConverted(trace[k], root)) {
      const Tree durable = model.crashStates().front().tree;
      const auto kept = durable.find(name);
      if (kept == durable.end() || kept->second.bytes != after.at(name).bytes) {
        result.broken.try_emplace("the log said 成功 for " + name + " before its new content was durable",
                                  "at call " + std::to_string(k + 1));
      }
    }
    if (trace[k].starts_with("rename ") && trace[k].find("2e7265636f766572792e746d70 ") != std::string::npos) {
      result.madeRecoveryCopy = true;  // hex of ".recovery.tmp" ending a rename's target
    }
    if (model.revision() == checked) continue;
    checked = model.revision();
    for (const CrashState& state : model.crashStates()) {
      for (const std::string& promise : promises.brokenBy(state.tree)) {
        result.broken.try_emplace(
            promise, "after call " + std::to_string(k + 1) + " (" + trace[k].substr(0, 60) + "), " + state.variant);
      }
    }
  }
  result.endStrict = model.crashStates().front().tree;
  result.endCurrent = model.current();
  return result;
}

struct PowerCutCase {
  const char* name;
  std::string drop;        // which flushes the shim drops
  bool promisesKept;       // whether every promise must hold
  bool namedOnly = false;  // no unnamed temporary files (O_TMPFILE refused)
};

void PrintTo(const PowerCutCase& c, std::ostream* out) { *out << c.name; }

class PowerCut : public ::testing::TestWithParam<PowerCutCase> {};

TEST_P(PowerCut, EveryFileOldOrNewWholeAtEveryMoment) {
  const PowerCutCase& c = GetParam();
  TempFolder scratch;
  const fs::path root = scratch / "site";
  const bool withAttribute = makeSite(root);
  const DiskModel start = DiskModel::scan(root);
  const Tree before = start.current();
  struct stat formerIndex;
  ASSERT_EQ(stat((root / "index.html").c_str(), &formerIndex), 0);

  const RunRecord run = runUnderShim(root, scratch.path(), c.drop, c.namedOnly);
  if (c.namedOnly && WIFEXITED(run.status) && WEXITSTATUS(run.status) == 125) GTEST_SKIP() << "no seccomp filter here";
  ASSERT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << "sarnavel-cli status " << run.status;
  ASSERT_FALSE(run.trace.empty()) << "the shim recorded nothing";
  const Tree after = DiskModel::scan(root).current();
  // The run did what the test is about: every document converted, backups made, one file
  // written in place.
  for (const char* document :
       {"index.html", "about.html", "linked.html", "css/site.css", "js/app.js", "news/today.html"}) {
    EXPECT_NE(after.at(document).bytes, before.at(document).bytes) << document;
    EXPECT_TRUE(after.count(std::string(document) + ".bak")) << document;
  }
  EXPECT_EQ(after.at("linked-name.txt").bytes, after.at("linked.html").bytes);
  // A file replaced by a new one keeps its former self as its backup: the replay covers the link.
  struct stat indexBackup;
  EXPECT_TRUE(stat((root / "index.html.bak").c_str(), &indexBackup) == 0 && indexBackup.st_ino == formerIndex.st_ino)
      << "index.html's backup is a copy";
  EXPECT_TRUE(!withAttribute || after.at("js/app.js").attributes.count("user.origin"));

  const Replay result = replay(start, run.trace, Promises(before, after), root, after);
  EXPECT_TRUE(result.madeRecoveryCopy) << "linked.html was not written in place";
  // The record accounts for everything the run did: replayed in full it gives the real tree.
  EXPECT_TRUE(result.modelErrors.empty()) << result.modelErrors.front();
  for (const auto& [name, entry] : after) {
    const auto replayed = result.endCurrent.find(name);
    EXPECT_TRUE(replayed != result.endCurrent.end() && replayed->second.bytes == entry.bytes &&
                sameMetadata(replayed->second, entry))
        << "the record does not account for " << name;
  }
  EXPECT_EQ(result.endCurrent.size(), after.size());

  // Once the run has ended, a power cut takes nothing back.
  std::vector<std::string> lostAtEnd;
  for (const auto& [name, entry] : after) {
    const auto kept = result.endStrict.find(name);
    if (kept == result.endStrict.end() || kept->second.bytes != entry.bytes) lostAtEnd.push_back(name);
  }

  std::string report;
  for (const auto& [promise, where] : result.broken) report += "\n  " + promise + ", " + where;
  for (const std::string& name : lostAtEnd) report += "\n  after the run, a power cut takes back " + name;
  const std::size_t count = result.broken.size() + lostAtEnd.size();
  if (c.promisesKept) {
    EXPECT_TRUE(result.broken.empty() && lostAtEnd.empty()) << "a power cut breaks promises:" << report;
  } else {
    EXPECT_FALSE(result.broken.empty() && lostAtEnd.empty())
        << "with the flushes dropped, no power cut broke a promise";
    std::cout << "with " << c.drop << " dropped, " << count
              << " broken promises, as expected; the first:" << report.substr(0, report.find('\n', 1)) << "\n";
  }
}

INSTANTIATE_TEST_SUITE_P(Flushes, PowerCut,
                         ::testing::Values(PowerCutCase{"AsBuilt", "", true},  // the program as it is
                                           PowerCutCase{"AsBuiltWithoutUnnamedFiles", "", true, true},
                                           // Without a file's or a folder's fsync: the test must see it.
                                           PowerCutCase{"WithoutFileFlushes", "file-flush", false},
                                           PowerCutCase{"WithoutFolderFlushes", "folder-flush", false}),
                         [](const ::testing::TestParamInfo<PowerCutCase>& info) { return info.param.name; });

}  // namespace
}  // namespace sarnavel::powercut
