// The per-file drivers, end to end on real files: read, UTF-16 recognition, the kind's
// escapes, the engine, the backup, the write, and the result codes with their log messages.
#include "engine/document_reading.h"
#include "run/file_drivers.h"
#include "run/file_kind.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include "engine/javascript_conversion.h"
#include "run/reference_files.h"
#include "run/run_messages.h"
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
using testing::utf16be;
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

// --- Messages ------------------------------------------------------------------------------

TEST(ResultMessages, WordedAsTheStringTableHasThem) {
  const struct {
    ResultCode code;
    int id;
    std::string message;
  } cases[] = {
      {ResultCode::Success, 100, "成功: /s/a.html\r\n"},
      {ResultCode::OutOfMemory, 101, "失敗: /s/a.html\r\nエラー - メモリ不足。\r\n"},
      {ResultCode::CannotOpen, 102, "失敗: /s/a.html\r\nエラー - ファイルが開けませんでした。\r\n"},
      {ResultCode::WriteFailed, 103, "失敗: /s/a.html\r\nエラー - ファイル書き込みに失敗。\r\n"},
      {ResultCode::BackupFailed, 104, "失敗: /s/a.html\r\nエラー - バックアップ作成に失敗。\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(static_cast<int>(c.code), c.id);
    EXPECT_EQ(fileMessage(c.code, "/s/a.html"), c.message) << c.id;
  }
  EXPECT_EQ(summaryMessage(12, 3), "\r\n---\r\n12個の成功、3個の失敗。\r\n変換処理を終了しました。\r\n");
  EXPECT_EQ(plainMessage(MessageId::Started), "変換を開始しました。\r\n---\r\n");
  EXPECT_EQ(plainMessage(MessageId::Cancelled), "\r\n---\r\n変換はキャンセルされました。\r\n");
  EXPECT_EQ(withUnixLineEnds("a\r\nb\rc\n\r\n"), "a\nb\rc\n\n");
}

// --- Whole files -------------------------------------------------------------------------------

struct FileCase {
  const char* what;
  FileKind kind;
  std::string in;
  int target;
  std::string out;
};

void expectConversions(const std::vector<FileCase>& cases) {
  for (const auto& c : cases) {
    TempFolder folder;
    fs::path file = folder.put(nameFor(c.kind), c.in);
    const FileReport report = driverReport(c.kind, file, optionsFor(c.target));
    EXPECT_EQ(report.result, ResultCode::Success) << c.what;
    EXPECT_TRUE(sameBytes(TempFolder::read(file), c.out)) << c.what;
    // A file the conversion gives back unchanged is neither written nor backed up.
    EXPECT_EQ(report.backedUp, c.in != c.out) << c.what;
    if (c.in == c.out) {
      EXPECT_FALSE(fs::exists(file.string() + ".bak")) << c.what;
    } else {
      EXPECT_TRUE(sameBytes(TempFolder::read(file.string() + ".bak"), c.in)) << c.what;
    }
  }
}

// Each kind's file, byte content or UTF-16, reaches the engine whole (zero bytes kept where
// they stand) and is written back; how UTF-16 is read is DocumentReading's to test.
TEST(FileDrivers, WholeFilesFromEveryReading) {
  const std::u16string text = u"var s = '\u00E9\u65E5\u672C';\n";  // é日本
  const std::string sjis = "var s = '\\u00E9\x93\xFA\x96\x7B';\n";
  expectConversions({
      {"UTF-16LE with mark", FileKind::JavaScript, kLeMark + utf16le(text), 0, sjis},
      {"Shift_JIS to UTF-8", FileKind::JavaScript, "var s = '\x93\xFA\x96\x7B';\n", 3,
       "var s = '\xE6\x97\xA5\xE6\x9C\xAC';\n"},
      {"empty", FileKind::JavaScript, "", 3, ""},
      {"sheet, UTF-16BE without mark", FileKind::Css, utf16be(u"p{}\r\n"), 1, "@charset \"euc-jp\";\r\np{}\r\n"},
      {"page, UTF-16LE with mark", FileKind::Html,
       kLeMark + utf16le(u"<html><head><title>\u00E9\u65E5</title></head></html>"), 3,
       "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\" />"
       "<title>&#233;\xE6\x97\xA5</title></head></html>"},
      {"zero byte in a Shift_JIS script", FileKind::JavaScript, "a='\x93\xFA';\0b='\x96\x7B';\0"s, 3,
       "a='\xE6\x97\xA5';\0b='\xE6\x9C\xAC';\0"s},
      {"zero byte before a page's head", FileKind::Html,
       "<!DOCTYPE html>\0<html><head></head><body>\x93\xFA</body></html>"s, 3,
       "<!DOCTYPE html>\0<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\" />"
       "</head><body>\xE6\x97\xA5</body></html>"s},
  });
}

// Byte content that the UTF-16 rules pass over goes to the engine exactly as read.
TEST(FileDrivers, ByteContentGoesToTheEngineAsRead) {
  const std::string cases[] = {"\xFF\xFE", "\xFE\xFF", "\xE5\x65\x2C\x67", "A"};
  for (const std::string& bytes : cases) {
    TempFolder folder;
    fs::path file = folder.put("a.js", bytes);
    std::string expected = bytes;
    (void)convertJavaScript(expected, optionsFor(3));
    EXPECT_EQ(convertJsFile(file, optionsFor(3)).result, ResultCode::Success);
    EXPECT_TRUE(sameBytes(TempFolder::read(file), expected)) << ::testing::PrintToString(bytes);
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

TEST(FileDrivers, APagesReferencesResolveAgainstItsOwnFolder) {
  TempFolder folder;
  fs::path page = folder.put("site/sub/page.html",
                             "<html><head><link rel=\"stylesheet\" href=\"a.css\"><script src=\"../b.js\"></script>"
                             "<link rel=\"stylesheet\" href=\"missing.css\"></head><body></body></html>");
  folder.put("site/sub/a.css", "p{}");
  folder.put("site/b.js", "x;");
  folder.put("a.css", "p{}");  // a sheet of the same name elsewhere is not the one
  const fs::path before = fs::current_path();
  const FileReport references = convertHtmlFile(page, optionsFor(3));
  EXPECT_EQ(references.result, ResultCode::Success);
  EXPECT_EQ(loaded(references, LoadedKind::StyleSheet), std::vector<std::string>{(folder / "site/sub/a.css").string()});
  EXPECT_EQ(loaded(references, LoadedKind::Script), std::vector<std::string>{(folder / "site/b.js").string()});
  EXPECT_EQ(fs::current_path(), before);
  const std::string converted = TempFolder::read(page);
  EXPECT_EQ(
      converted,
      "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\" />"
      "<link charset=\"UTF-8\" href=\"a.css\" rel=\"stylesheet\"><script charset=\"UTF-8\" src=\"../b.js\"></script>"
      "<link rel=\"stylesheet\" href=\"missing.css\"></head><body></body></html>");
  // the files themselves are converted by the run, not by the page's driver
  EXPECT_EQ(TempFolder::read(folder / "site/sub/a.css"), "p{}");

  // the same page named by a path relative to the current folder
  ASSERT_EQ(TempFolder::read(page.string() + ".bak").substr(0, 6), "<html>");
  fs::rename(page.string() + ".bak", page);
  const FileReport again = convertHtmlFile(fs::relative(page), optionsFor(3, false));
  EXPECT_EQ(again.result, ResultCode::Success);
  EXPECT_EQ(loaded(again, LoadedKind::StyleSheet), loaded(references, LoadedKind::StyleSheet));
  EXPECT_EQ(loaded(again, LoadedKind::Script), loaded(references, LoadedKind::Script));
  EXPECT_EQ(TempFolder::read(page), converted);
}

// Without backups the file is written and no other name appears; a dry run writes nothing,
// not even the file's time, and still gathers a page's references.
TEST(FileDrivers, WithoutBackupsAndInADryRun) {
  const std::string in = "<html><head><link rel=\"stylesheet\" href=\"a.css\"></head><body>\x93\xFA</body></html>\n";
  for (FileKind kind : {FileKind::Html, FileKind::Css, FileKind::JavaScript}) {
    for (bool dryRun : {false, true}) {
      SCOPED_TRACE(nameFor(kind) + (dryRun ? ", dry run" : ", no backup"));
      TempFolder folder;
      const fs::path file = folder.put(nameFor(kind), in), sheet = folder.put("a.css", "p{}");
      const timespec past[2] = {{1000000000, 5}, {1000000000, 5}};
      ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), past, 0), 0);
      const FileReport report =
          driverReport(kind, file, optionsFor(3, dryRun), dryRun ? WriteMode::DryRun : WriteMode::Write);
      EXPECT_EQ(report.result, ResultCode::Success);
      EXPECT_EQ(TempFolder::read(file) == in, dryRun);
      EXPECT_EQ(TempFolder::namesIn(folder.path()), (std::set<std::string>{nameFor(kind), "a.css"}));
      struct stat info {};
      ASSERT_EQ(stat(file.c_str(), &info), 0);
      EXPECT_EQ(info.st_mtim.tv_sec == 1000000000 && info.st_mtim.tv_nsec == 5, dryRun);
      if (kind == FileKind::Html) {
        EXPECT_EQ(loaded(report, LoadedKind::StyleSheet), std::vector<std::string>{sheet.string()});
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
  // The run's memo gives the same answers, the first time and again.
  ReferenceProbes probes;
  const FileSystemResolver remembering(folder / "site", &probes);
  for (int round = 0; round < 2; ++round) {
    for (const auto& c : cases)
      EXPECT_EQ(remembering.resolve(c.reference, c.kind).status, c.status) << c.reference << " round " << round;
  }
}

// A loaded file that changes after a page looked into it is looked into again for the next
// page, even when its size and inode stay the same.
TEST(ReferenceFiles, AChangedFileIsLookedIntoAgain) {
  TempFolder folder;
  folder.put("site/a.js", "x=1;");
  ReferenceProbes probes;
  const FileSystemResolver resolver(folder / "site", &probes);
  EXPECT_EQ(resolver.resolve("a.js", LoadedKind::Script).status, ReferenceStatus::Followable);
  {
    std::fstream file(folder / "site/a.js", std::ios::in | std::ios::out | std::ios::binary);
    file << "\x7F" "ELF";
  }
  EXPECT_EQ(resolver.resolve("a.js", LoadedKind::Script).status, ReferenceStatus::Binary);
}

}  // namespace
}  // namespace sarnavel
