// The per-file drivers on real files: the read, the backup, the write (or none), and which
// files a page's references reach.
#include "engine/document_reading.h"
#include "run/file_drivers.h"
#include "run/file_kind.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <set>
#include <string>

#include "run/reference_files.h"
#include "support/bytes.h"
#include "support/site_documents.h"
#include "support/targets.h"
#include "support/temp_folder.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::optionsFor;
using testing::sameBytes;
using testing::TempFolder;

using testing::kLeMark;
using testing::utf16le;

// Runs the driver of the path's kind.
FileReport driverReport(FileKind kind, const fs::path& path, const ConversionOptions& options,
                        WriteMode mode = WriteMode::Write) {
  switch (kind) {
    case FileKind::Html: return convertHtmlFile(path, options, mode);
    case FileKind::Css: return convertCssFile(path, options, mode);
    default: return convertJsFile(path, options, mode);
  }
}

std::string nameFor(FileKind kind) {
  return kind == FileKind::Html ? "page.html" : kind == FileKind::Css ? "sheet.css" : "script.js";
}

// --- Whole files -------------------------------------------------------------------------------

// A script, byte content or UTF-16, reaches the engine whole and is written back, with its
// backup, unless the conversion gives it back unchanged; how UTF-16 is read is
// DocumentReading's to test, what the engine makes of it the engine's.
TEST(FileDrivers, WholeFilesFromEveryReading) {
  const struct {
    const char* what;
    std::string in;
    int target;
    std::string out;
  } cases[] = {
      {"UTF-16LE with mark", kLeMark + utf16le(u"var s = '\u00E9\u65E5\u672C';\n"), 0,
       "var s = '\\u00E9\x93\xFA\x96\x7B';\n"},
      {"Shift_JIS to UTF-8", "var s = '\x93\xFA\x96\x7B';\n", 3, "var s = '\xE6\x97\xA5\xE6\x9C\xAC';\n"},
      {"empty", "", 3, ""},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    const fs::path file = folder.put("script.js", c.in);
    const FileReport report = convertJsFile(file, optionsFor(c.target));
    EXPECT_EQ(report.result, ResultCode::Success) << c.what;
    EXPECT_TRUE(sameBytes(TempFolder::read(file), c.out)) << c.what;
    EXPECT_EQ(report.backup, c.in != c.out ? fs::path(file.string() + ".bak") : fs::path()) << c.what;
    EXPECT_EQ(fs::exists(file.string() + ".bak"), c.in != c.out) << c.what;
    if (c.in != c.out) {
      EXPECT_TRUE(sameBytes(TempFolder::read(file.string() + ".bak"), c.in)) << c.what;
    }
  }
}

// --- Pages and their references ------------------------------------------------------------

// The paths of the files a page loads, by kind.
std::vector<std::string> loaded(const FileReport& report, LoadedKind kind) {
  std::vector<std::string> paths;
  for (const FoundReference& file : report.document->references) {
    if (file.status == ReferenceStatus::Followable && file.kind == kind) paths.push_back(file.path);
  }
  return paths;
}

// Without backups the file is written and no other name appears; a dry run writes nothing,
// not even the file's time, and still gathers a page's references. (Every kind's driver goes
// through the same convertFile.)
TEST(FileDrivers, WithoutBackupsAndInADryRun) {
  const std::string in = "<html><head><link rel=\"stylesheet\" href=\"a.css\"></head><body>\x93\xFA</body></html>\n";
  for (bool dryRun : {false, true}) {
    SCOPED_TRACE(dryRun ? "dry run" : "no backup");
    TempFolder folder;
    const fs::path file = folder.put("page.html", in), sheet = folder.put("a.css", "p{}");
    const timespec past[2] = {{1000000000, 5}, {1000000000, 5}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), past, 0), 0);
    const FileReport report =
        convertHtmlFile(file, optionsFor(3, dryRun), dryRun ? WriteMode::DryRun : WriteMode::Write);
    EXPECT_EQ(report.result, ResultCode::Success);
    EXPECT_EQ(TempFolder::read(file) == in, dryRun);
    EXPECT_EQ(TempFolder::namesIn(folder.path()), (std::set<std::string>{"page.html", "a.css"}));
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec == 1000000000 && info.st_mtim.tv_nsec == 5, dryRun);
    EXPECT_EQ(loaded(report, LoadedKind::StyleSheet), std::vector<std::string>{sheet.string()});
  }
}

// With an encoding named for every file (-f), each file is read in it, whatever it declares; one
// whose bytes are not all characters of it is left as it was, in a dry run too, with a note
// naming the first such byte.
TEST(FileDrivers, ANamedEncodingReadsEveryFileOrLeavesIt) {
  const std::string hyoEuc = "\xC9\xBD", hyoUtf8 = "\xE8\xA1\xA8", nichiSjis = "\x93\xFA";
  const struct {
    FileKind kind;
    std::string before, after;  // after: empty when the file is left
  } cases[] = {
      {FileKind::JavaScript, "var s = '" + hyoEuc + "';\n", "var s = '" + hyoUtf8 + "';\n"},
      {FileKind::Html, "<meta charset=\"utf-8\"><p>" + hyoEuc + "</p>",
       "<meta charset=\"UTF-8\"><p>" + hyoUtf8 + "</p>"},
      {FileKind::JavaScript, "var s = '\n" + nichiSjis + "';\n", ""},
  };
  for (const auto& c : cases) {
    for (WriteMode mode : {WriteMode::Write, WriteMode::DryRun}) {
      SCOPED_TRACE(c.before);
      TempFolder folder;
      const fs::path file = folder.put(nameFor(c.kind), c.before);
      ConversionOptions options = optionsFor(3);
      options.sourceEncoding = SourceEncoding::EucJp;
      const FileReport report = driverReport(c.kind, file, options, mode);
      EXPECT_EQ(report.result, c.after.empty() ? ResultCode::WriteFailed : ResultCode::Success);
      EXPECT_EQ(TempFolder::read(file), c.after.empty() || mode == WriteMode::DryRun ? c.before : c.after);
      ASSERT_EQ(report.notes.size(), c.after.empty() ? 1u : 0u);
      if (c.after.empty()) {
        EXPECT_EQ(report.notes[0].values, (std::vector<std::string>{"EUC-JP", "2", "2", "1"}));
      }
    }
  }
}

// Only a regular file of the kind its element loads, and no binary, is followed; the others
// keep their element as it was and are named under the page's line.
TEST(ReferenceFiles, OnlyFilesOfTheLoadedKindAreFollowed) {
  TempFolder folder;
  folder.put("site/a.css", "p{}");
  folder.put("site/a.js", "x;");
  folder.put("site/u16.css", "\xFF\xFEp\0{\0}\0"s);
  folder.put("site/elf.js",
             "\x7F"
             "ELF\x02\x01\x01");
  folder.put("site/zero.css", "p{}\0\0\0\0\0\0"s);
  folder.put("passwd", "root:x:0:0::/root:/bin/bash\n");
  fs::create_directories(folder / "site/dir.css");
  fs::create_symlink(folder / "passwd", folder / "site/link.css");
  ASSERT_EQ(mkfifo((folder / "site/fifo.js").c_str(), 0644), 0);
  const FileSystemResolver resolver(folder / "site");
  const struct {
    const char* reference;
    LoadedKind kind;
    ReferenceStatus status;
  } cases[] = {
      {"a.css", LoadedKind::StyleSheet, ReferenceStatus::Followable},
      {"a.js", LoadedKind::Script, ReferenceStatus::Followable},
      {"u16.css", LoadedKind::StyleSheet, ReferenceStatus::Followable},  // UTF-16 text holds zero bytes
      {"a.js", LoadedKind::StyleSheet, ReferenceStatus::WrongKind},
      {"../passwd", LoadedKind::StyleSheet, ReferenceStatus::WrongKind},
      {"dir.css", LoadedKind::StyleSheet, ReferenceStatus::WrongKind},
      {"link.css", LoadedKind::StyleSheet, ReferenceStatus::WrongKind},  // the file it reaches is no sheet
      {"fifo.js", LoadedKind::Script, ReferenceStatus::WrongKind},
      {"elf.js", LoadedKind::Script, ReferenceStatus::Binary},
      {"zero.css", LoadedKind::StyleSheet, ReferenceStatus::Binary},
      {"none.css", LoadedKind::StyleSheet, ReferenceStatus::Missing},
  };
  for (const auto& c : cases) EXPECT_EQ(resolver.resolve(c.reference, c.kind).status, c.status) << c.reference;
  EXPECT_EQ(resolver.resolve((folder / "site/a.css").string(), LoadedKind::StyleSheet).path,
            (folder / "site/a.css").string());
  // The run's memo gives the same answers, the first time and again, for each kind of element
  // apart (a.js is in the table for two); a name missing for one page is looked for again by the
  // next, so a file made in between is found.
  ReferenceProbes probes;
  const FileSystemResolver remembering(folder / "site", &probes);
  for (int round = 0; round < 2; ++round) {
    for (const auto& c : cases)
      EXPECT_EQ(remembering.resolve(c.reference, c.kind).status, c.status) << c.reference << " round " << round;
  }
  folder.put("site/none.css", "p{}");
  EXPECT_EQ(remembering.resolve("none.css", LoadedKind::StyleSheet).status, ReferenceStatus::Followable);
}

}  // namespace
}  // namespace sarnavel
