// The intake on real folders: which paths are taken, the order of a folder walk, links,
// folders that cannot be read, trees deeper than the open-file limit, and paths longer than
// the system's path limit.
#include "run/intake.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/limits.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

template <class Paths>
std::vector<std::string> texts(const Paths& paths) {
  std::vector<std::string> out;
  for (const auto& p : paths) out.push_back(fs::path(p).string());
  return out;
}

IntakeReport offer(const std::vector<fs::path>& paths) {
  IntakeReport report;
  for (const auto& p : paths) offerPath(p, report);
  return report;
}

// The files a walk of `folder` lists, relative to `base`.
std::vector<std::string> walked(const fs::path& folder, const fs::path& base) {
  std::vector<std::string> out;
  for (const auto& p : offer({folder}).files) {
    const std::string text(p), prefix = base.string() + "/";
    out.push_back(text.starts_with(prefix) ? text.substr(prefix.size()) : text);
  }
  return out;
}

// --- Single paths ------------------------------------------------------------------------------

TEST(Intake, OneFileOfferedIsTakenByTheKindOfItsName) {
  TempFolder folder;
  const fs::path t = folder.path();
  folder.put("index.HTML", "");
  folder.put("e.vbs", "");
  folder.put("sub/g.js", "");
  folder.put("real.txt", "");
  folder.put("real.js", "");
  fs::create_symlink("real.txt", t / "link.js");  // taken by the name offered, listed under it
  fs::create_symlink("real.js", t / "link.txt");
  fs::create_symlink("nowhere.css", t / "dangling.css");
  folder.put("other/h.css", "");
  folder.put("h.css", "");
  fs::create_directory(t / "other/deep");
  fs::create_directory_symlink("other/deep", t / "deep");
  const struct {
    std::string offered;
    std::vector<std::string> files, missing, otherKinds;
    std::vector<std::string> foldersWithNoFile = {};
  } cases[] = {
      {"index.HTML", {"index.HTML"}, {}, {}},
      {"e.vbs", {}, {}, {"e.vbs"}},
      {"absent.html", {}, {"absent.html"}, {}},
      {"dangling.css", {}, {"dangling.css"}, {}},
      {"sub/../sub/./g.js", {"sub/g.js"}, {}, {}},  // "." and ".." resolved by their text
      // ...but a ".." after a link to a folder leads where the system takes it: the parent of
      // the link's target, not the folder the link lies in
      {"deep/../h.css", {"other/h.css"}, {}, {}},
      {"deep/..", {"other/h.css"}, {}, {}},
      {"link.js", {"link.js"}, {}, {}},
      {"link.txt", {}, {}, {"link.txt"}},
      {"sub", {"sub/g.js"}, {}, {}, {}},
      {"other/deep", {}, {}, {}, {"other/deep"}},  // a folder with nothing of the kinds taken
      // A NUL (a dropped URL's %00) ends the name for the system: "index.HTML" is no sheet.
      {std::string("index.HTML\0.css", 15), {}, {std::string("index.HTML\0.css", 15)}, {}},
  };
  for (const auto& c : cases) {
    IntakeReport report = offer({t / c.offered});
    auto under = [&](const std::vector<std::string>& names) {
      std::vector<std::string> out;
      for (const auto& n : names) out.push_back((t / n).string());
      return out;
    };
    EXPECT_EQ(texts(report.files), under(c.files)) << c.offered;
    EXPECT_EQ(texts(report.missing), under(c.missing)) << c.offered;
    EXPECT_EQ(texts(report.otherKinds), under(c.otherKinds)) << c.offered;
    EXPECT_EQ(texts(report.foldersWithNoFile), under(c.foldersWithNoFile)) << c.offered;
  }
}

TEST(Intake, RelativePathsBecomeFullPathsAndDuplicatesStay) {
  TempFolder folder;
  fs::path file = folder.put("site/a.css", "");
  const fs::path cwd = fs::current_path();
  const fs::path relative = fs::relative(file, cwd);
  ASSERT_TRUE(relative.is_relative());
  IntakeReport report = offer({relative, relative, fs::relative(folder / "site", cwd)});
  EXPECT_EQ(texts(report.files), (std::vector<std::string>{file.string(), file.string(), file.string()}));
  EXPECT_EQ(fs::current_path(), cwd);
}

// --- The folder walk ------------------------------------------------------------------------

std::vector<std::string> relativeTo(const PathList& paths, const fs::path& base) {
  std::vector<std::string> out;
  for (const auto& p : paths) out.push_back(fs::path(p).lexically_relative(base).string());
  return out;
}

TEST(Intake, AFoldersOwnFilesFirstThenItsSubfoldersDepthFirstByName) {
  TempFolder folder;
  const fs::path root = folder / "root";
  for (const char* name : {"root/b.htm",
                           "root/d.js",
                           "root/a.html",
                           "root/e.vbs",
                           "root/f.png",
                           "root/c.css",
                           "root/Z.html",
                           "root/.hidden.css",
                           "root/notes.txt",
                           "root/noext",
                           "root/dir.css/inner.js",
                           "root/sub2/x.js",
                           "root/sub1/y.css",
                           "root/sub1/deeper/z.html",
                           "root/sub1/a.JS",
                           "root/.git/h.js",
                           "root/B/k.css",
                           "root/empty/nothing.txt",
                           "root/\xC3\xA9t\xC3\xA9/p.htm",
                           "root/sub1/q.XHTML",
                           "root/index.php"}) {
    folder.put(name, "");
  }
  ASSERT_EQ(mkfifo((root / "r.shtml").c_str(), 0644), 0);  // no regular file: never to be read
  EXPECT_EQ(walked(root, root),
            (std::vector<std::string>{
                ".hidden.css", "Z.html", "a.html", "b.htm", "c.css", "d.js",  // own files by bytes
                ".git/h.js", "B/k.css", "dir.css/inner.js",                   // subfolders by name
                "sub1/a.JS", "sub1/y.css", "sub1/deeper/z.html", "sub2/x.js", "\xC3\xA9t\xC3\xA9/p.htm"}));
  IntakeReport report = offer({root});
  EXPECT_TRUE(report.missing.empty());
  EXPECT_TRUE(report.otherKinds.empty()) << "other kinds inside a folder are passed over without a word";
  EXPECT_EQ(relativeTo(report.untakenPages, root), (std::vector<std::string>{"index.php", "sub1/q.XHTML"}));
  // a folder offered with a trailing slash or through dots lists the same full paths
  EXPECT_EQ(texts(offer({folder.path().string() + "/root/"}).files), texts(report.files));
  EXPECT_EQ(texts(offer({root / "sub1" / ".."}).files), texts(report.files));
  // A stopped intake (a cancelled drop) walks no further.
  const std::atomic<bool> stop{true};
  IntakeReport stopped;
  offerPaths({root, root / "a.html"}, stopped, KindSet::defaults(), &stop);
  EXPECT_TRUE(stopped.files.empty() && stopped.notices.empty() && stopped.untakenPages.empty());
}

// The kinds asked for are what a walk takes and a file named must be; the pages of kinds not
// taken are the untaken ones, whatever the set.
TEST(Intake, TakesTheKindsAskedFor) {
  TempFolder folder;
  for (const char* name : {"a.html", "b.xhtml", "c.shtml", "d.php", "e.xml", "f.txt", "g.css", "h.aspx"})
    folder.put(name, "");
  const struct {
    std::string kinds;
    std::vector<std::string> files, untaken;
  } cases[] = {
      {"+", {"a.html", "g.css"}, {"b.xhtml", "c.shtml", "d.php", "h.aspx"}},
      {"+xhtml,xml", {"a.html", "b.xhtml", "e.xml", "g.css"}, {"c.shtml", "d.php", "h.aspx"}},
      {"shtml,php,txt", {"c.shtml", "d.php", "f.txt"}, {"a.html", "b.xhtml", "h.aspx"}},
  };
  for (const auto& c : cases) {
    const KindSet kinds = parseKindList(c.kinds).kinds;
    IntakeReport walk;
    offerPaths({folder.path()}, walk, kinds);
    EXPECT_EQ(relativeTo(walk.files, folder.path()), c.files) << c.kinds;
    std::vector<std::string> untaken = relativeTo(walk.untakenPages, folder.path());  // in the listing's order
    std::sort(untaken.begin(), untaken.end());
    EXPECT_EQ(untaken, c.untaken) << c.kinds;
    IntakeReport named;
    offerPaths({folder / "b.xhtml", folder / "f.txt"}, named, kinds);
    EXPECT_EQ(named.files.size() + named.otherKinds.size(), 2u) << c.kinds;
    EXPECT_EQ(named.files.size(), std::size_t{kinds.has(FileKind::Xhtml)} + kinds.has(FileKind::PlainText)) << c.kinds;
  }
}

// "KIND relative/path" for each notice, with the error's name for a folder that could not be read.
std::vector<std::string> notices(const IntakeReport& report, const fs::path& base) {
  std::vector<std::string> out;
  for (const IntakeNotice& n : report.notices) {
    const char* kinds[] = {"unreadable", "moved", "folder-link", "link-outside", "loop"};
    std::string line = std::string(kinds[static_cast<int>(n.kind)]) + " " + n.path.lexically_relative(base).string();
    if (n.error != 0)
      line += std::string(" ") + (n.error == EACCES   ? "EACCES"
                                  : n.error == EMFILE ? "EMFILE"
                                                      : std::to_string(n.error));
    out.push_back(line);
  }
  return out;
}

// The walk stays inside the tree it was given: `ln -s .. site/up` must not take it to the
// siblings of site. Links to folders are passed over with a notice; a link to a file is
// taken when the file lies inside what was named.
TEST(Intake, TheWalkStaysInsideTheTreeItWasGiven) {
  TempFolder folder;
  const fs::path site = folder / "site";
  folder.put("site/index.html", "");
  folder.put("site/a/y.html", "");
  folder.put("site/b/z.css", "");
  folder.put("sibling/other.html", "");
  folder.put("outside.js", "");
  fs::create_directory_symlink("..", site / "up");
  fs::create_directory_symlink(".", site / "a/self");
  fs::create_directory_symlink("../b", site / "a/side");
  fs::create_symlink("../b/z.css", site / "a/inside.css");
  fs::create_symlink("../../outside.js", site / "a/outside.js");
  fs::create_symlink("missing.js", site / "a/gone.js");  // leads nowhere: the run names it
  fs::create_directory_symlink(site, folder / "entry");
  const std::vector<std::string> inside = {"index.html", "a/gone.js", "a/inside.css", "a/y.html", "b/z.css"};

  IntakeReport report = offer({site});
  EXPECT_EQ(relativeTo(report.files, site), inside);
  EXPECT_EQ(notices(report, site), (std::vector<std::string>{"folder-link up", "folder-link a/self",
                                                             "folder-link a/side", "link-outside a/outside.js"}));
  // What the run reads each file by: the links it follows (a link named, or of the walk leading
  // inside; not one leading nowhere), and the folder of the file each name reaches.
  const auto id = [](const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0);
    return FolderId{info.st_dev, info.st_ino};
  };
  EXPECT_EQ(report.followedLinks, PathSet{(site / "a/inside.css").string()});
  EXPECT_TRUE(report.folders ==
              (std::deque<FolderId>{id(site), id(site / "a"), id(site / "b"), id(site / "a"), id(site / "b")}));
  IntakeReport named = offer({site / "a/outside.js"});
  EXPECT_EQ(named.followedLinks, PathSet{(site / "a/outside.js").string()});
  EXPECT_TRUE(named.folders == std::deque<FolderId>{id(folder.path())});

  const struct {
    std::vector<fs::path> named;
    std::vector<std::string> files;  // relative to the folder
  } cases[] = {
      // a link named is followed, folder or file
      {{folder / "entry"},
       {"entry/index.html", "entry/a/gone.js", "entry/a/inside.css", "entry/a/y.html", "entry/b/z.css"}},
      {{site / "a/outside.js"}, {"site/a/outside.js"}},
      // a file named beside the tree lets its links in, whatever the order
      {{folder / "outside.js", site},
       {"outside.js", "site/index.html", "site/a/gone.js", "site/a/inside.css", "site/a/outside.js", "site/a/y.html",
        "site/b/z.css"}},
      {{site, folder / "outside.js"},
       {"site/index.html", "site/a/gone.js", "site/a/inside.css", "site/a/outside.js", "site/a/y.html", "site/b/z.css",
        "outside.js"}},
  };
  for (const auto& c : cases) {
    IntakeReport r;
    offerPaths(c.named, r);
    EXPECT_EQ(relativeTo(r.files, folder.path()), c.files) << c.named.front();
  }
}

// Runs `body` in a forked child after `prepare` (which gives a reason to skip, or ""), and
// gives back the lines the body returns. The child has descriptors 0 to 3 open and no other.
std::vector<std::string> inChild(const std::function<std::string()>& prepare,
                                 const std::function<std::vector<std::string>()>& body) {
  int channel[2];
  if (pipe(channel) != 0) return {"pipe failed"};
  std::fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    if (dup2(channel[1], 3) != 3) _exit(4);
    close_range(4, ~0u, 0);
    std::string out = prepare();
    if (out.empty()) {
      for (const auto& line : body()) out += line + "\n";
    } else {
      out = "skip: " + out + "\n";
    }
    if (write(3, out.data(), out.size()) != static_cast<ssize_t>(out.size())) _exit(4);
    _exit(0);
  }
  close(channel[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {"child failed: " + std::to_string(status)};
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

// Gives up root's right to read every folder.
std::string becomeNobody() {
  return geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0) ? "" : "cannot become an unprivileged user";
}

TEST(Intake, AFolderThatCannotBeReadIsNamedAndTheWalkGoesOn) {
  TempFolder folder;
  const fs::path root = folder / "root";
  folder.put("root/a.css", "");
  folder.put("root/locked/hidden.css", "");
  folder.put("root/locked/deeper/deep.js", "");
  folder.put("root/open/o.css", "");
  folder.put("root/z.js", "");
  fs::permissions(folder.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(root / "locked", fs::perms::none);
  auto walk = [&](const fs::path& named) {
    return inChild(becomeNobody, [&] {
      IntakeReport report = offer({named});
      std::vector<std::string> lines = relativeTo(report.files, root);
      for (const std::string& n : notices(report, root)) lines.push_back(n);
      return lines;
    });
  };
  std::vector<std::string> walked = walk(root), named = walk(root / "locked");
  fs::permissions(root / "locked", fs::perms::owner_all);
  if (!walked.empty() && walked[0].starts_with("skip: ")) GTEST_SKIP() << walked[0];
  EXPECT_EQ(walked, (std::vector<std::string>{"a.css", "z.js", "open/o.css", "unreadable locked EACCES"}));
  EXPECT_EQ(named, (std::vector<std::string>{"unreadable locked EACCES"}));
}

// --- Long paths ---------------------------------------------------------------------------------

// A chain of `levels` nested folders below `base`, made with descriptors so that no path handed
// to the system is longer than one name, each holding one page; the pages' paths. (The
// TempFolder removes it: std::filesystem::remove_all goes by descriptors too.)
std::vector<std::string> deepFolders(const fs::path& base, int levels, std::size_t nameLength) {
  const std::string name(nameLength, 'd');
  std::vector<std::string> pages;
  std::string path = base.string();
  for (int fd = open(base.c_str(), O_RDONLY | O_DIRECTORY), level = 0; fd >= 0; ++level) {
    const int next =
        level < levels && mkdirat(fd, name.c_str(), 0755) == 0 ? openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY) : -1;
    close(fd);
    if ((fd = next) < 0) break;
    path += "/" + name;
    close(openat(fd, "p.html", O_WRONLY | O_CREAT | O_TRUNC, 0644));
    pages.push_back(path + "/p.html");
  }
  return pages;
}

// Folders are opened relative to their parent, so pages near and beyond the system's path
// limit (4096 bytes) are listed too, whole and never cut.
TEST(Intake, PathsNearAndBeyondTheSystemLimitAreListedWhole) {
  for (int levels : {18, 24}) {
    TempFolder folder;
    const std::vector<std::string> pages = deepFolders(folder.path(), levels, 200);
    ASSERT_EQ(pages.size(), static_cast<std::size_t>(levels));
    EXPECT_TRUE(texts(offer({folder.path()}).files) == pages) << levels << " levels";
  }
}

// The walk needs a few descriptors whatever the depth: a tree of 60 levels is walked whole by a
// process that may open only 6 more files than it has open.
TEST(Intake, ATreeDeeperThanTheOpenFileLimitIsWalkedWhole) {
  TempFolder folder;
  const std::vector<std::string> pages = deepFolders(folder.path(), 60, 8);
  ASSERT_EQ(pages.size(), 60u);
  std::vector<std::string> lines = inChild(
      [] {
        const rlimit limit{4 + 6, 4 + 6};
        return setrlimit(RLIMIT_NOFILE, &limit) == 0 ? "" : "cannot lower the open-file limit";
      },
      [&] {
        IntakeReport report = offer({folder.path()});
        std::vector<std::string> lines = texts(report.files);
        for (const std::string& n : notices(report, folder.path())) lines.push_back(n);
        return lines;
      });
  EXPECT_EQ(lines, pages);
}

}  // namespace
}  // namespace sarnavel
