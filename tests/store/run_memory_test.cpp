// The run's memory: what a run records is what a later run finds, by the file's path or its
// inode and then its exact bytes; the folder is the user's alone, bounded, and read tolerantly.
#include "store/run_memory.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <memory>
#include <string>

#include "support/killed_in_place_write.h"
#include "support/temp_folder.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

std::unique_ptr<RunMemory> opened(const fs::path& folder, std::optional<MemoryState> expected = MemoryState::Ready) {
  auto memory = std::make_unique<RunMemory>();
  const MemoryState state = memory->open(folder);
  if (expected) {
    EXPECT_EQ(state, *expected);
  }
  return memory;
}

// A record of `bytes` written to `path` in `target`, as a run makes it.
WriteRecord wrote(const fs::path& path, std::string_view bytes, TargetEncoding target) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  WriteRecord record;
  record.path = path.native();
  record.device = info.st_dev;
  record.inode = info.st_ino;
  record.size = bytes.size();
  record.hash = hashOf(bytes);
  record.target = target;
  record.site = SourceEncoding::EucJp;
  record.lends = SourceEncoding::EucJp;
  record.loads = {{(path.parent_path() / "a.js").native(), "euc-jp"}};
  return record;
}

std::optional<RememberedWrite> lookUp(const RunMemory& memory, const fs::path& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  const std::string bytes = TempFolder::read(path);
  return memory.wrote(path.native(), info.st_dev, info.st_ino, bytes.size(), [&] { return hashOf(bytes); });
}

TEST(RunMemory, AFileHoldingExactlyWhatARunWroteIsFoundByItsNameOrItsInode) {
  TempFolder folder;
  const fs::path page = folder.put("site/p.html", "written"), other = folder.put("site/\xff.html", "also written");
  {
    RunMemory memory;
    memory.open(folder / "memory");
    ASSERT_TRUE(memory.startRecording({{page.native()}, TargetEncoding::Utf8}));
    ASSERT_TRUE(memory.durableThrough(memory.recordWrite(wrote(page, "written", TargetEncoding::ShiftJis))));
    ASSERT_TRUE(
        memory.durableThrough(memory.recordWrite(wrote(page, "written", TargetEncoding::Utf8))));  // the latest counts
    ASSERT_TRUE(memory.durableThrough(memory.recordWrite(wrote(other, "also written", TargetEncoding::EucJp))));
  }
  const struct {
    const char* what;
    void (*change)(const TempFolder& folder);
    const char* path;
    std::optional<TargetEncoding> found;
  } cases[] = {
      {"as written", [](const TempFolder&) {}, "site/p.html", TargetEncoding::Utf8},
      {"a name that is not UTF-8", [](const TempFolder&) {}, "site/\xff.html", TargetEncoding::EucJp},
      {"moved: by its inode", [](const TempFolder& f) { fs::rename(f / "site/p.html", f / "q.html"); }, "q.html",
       TargetEncoding::Utf8},
      {"saved anew with the same bytes: by its name",
       [](const TempFolder& f) { fs::remove(f / "site/p.html"), f.put("site/p.html", "written"); }, "site/p.html",
       TargetEncoding::Utf8},
      {"changed since, the same size", [](const TempFolder& f) { f.put("site/p.html", "WRITTEN"); }, "site/p.html",
       std::nullopt},
      {"another file", [](const TempFolder& f) { f.put("site/r.html", "written"); }, "site/r.html", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.change(folder);
    const std::unique_ptr<RunMemory> memory = opened(folder / "memory");
    const std::optional<RememberedWrite> found = lookUp(*memory, folder / c.path);
    ASSERT_EQ(found.has_value(), c.found.has_value());
    if (!found) continue;
    EXPECT_EQ(found->target, *c.found);
    EXPECT_EQ(found->site, SourceEncoding::EucJp);
    EXPECT_EQ(memory->claimOf(*found, (folder / "site/a.js").native()), std::optional<std::string>("euc-jp"));
  }
}

// A record with the written file's time trusts the same file, size and time without reading
// it; any other file is judged by its bytes.
TEST(RunMemory, AFileHoldsWhatWasWrittenByItsStampOrElseItsBytes) {
  struct Case {
    const char* name;
    bool timeRecorded;
    const char* bytesAfter;  // written in place; null: the file is removed
    bool timeKept;           // the recorded time put back after
    bool holds;
  };
  const Case cases[] = {
      {"as written", true, "written", true, true},
      {"other bytes of the size under the recorded time", true, "WRITTEN", true, true},
      {"other bytes of the size, a new time", true, "WRITTEN", false, false},
      {"the same bytes, a new time", true, "written", false, true},
      {"a record without the time", false, "written", false, true},
      {"another size", true, "written!", true, false},
      {"gone", true, nullptr, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const fs::path file = folder.put("a.js", "written");
    const timespec then{1000000000, 5};
    const timespec times[2] = {then, then};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    WriteRecord record = wrote(file, "written", TargetEncoding::Utf8);
    if (c.timeRecorded) record.modified = then;
    if (!c.bytesAfter) fs::remove(file);
    else std::ofstream(file, std::ios::binary | std::ios::in | std::ios::trunc) << c.bytesAfter;
    const timespec later[2] = {{0, UTIME_OMIT}, {then.tv_sec + 60, 0}};
    if (c.bytesAfter) {
      ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), c.timeKept ? times : later, 0), 0);
    }
    EXPECT_EQ(holdsWhatWasWritten(record), c.holds);
  }
}

// Damaged records are no evidence and say so; a folder someone else could write into is no
// memory at all; old runs go, but never one that is being written.
// A record that cannot be written (past the file-size limit here, as on a full disk) still
// gets a number, one that is never durable: whoever waits for it learns it is not on disk.
// So does every record after it.
TEST(RunMemory, ARecordThatCannotBeWrittenIsNeverDurable) {
  TempFolder folder;
  const fs::path page = folder.put("site/p.html", "written");
  EXPECT_TRUE(testing::inChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    RunMemory memory;
    memory.open(folder / "memory");
    if (!memory.startRecording({{page.native()}, TargetEncoding::Utf8})) return false;
    const rlimit small{1024, 1024};
    if (setrlimit(RLIMIT_FSIZE, &small) != 0) return false;
    std::uint64_t number = 0;
    for (int k = 0; k < 100; ++k) {  // until the record passes the limit
      number = memory.recordWrite(wrote(page, "written", TargetEncoding::Utf8));
      if (number == 0 || !memory.durableThrough(number)) break;
    }
    return number != 0 && !memory.durableThrough(number) &&
           !memory.durableThrough(memory.recordWrite(wrote(page, "written", TargetEncoding::Utf8)));
  }));
}

TEST(RunMemory, TheFolderIsTheUsersAloneBoundedAndReadTolerantly) {
  TempFolder folder;
  const fs::path page = folder.put("p.html", "written"), memoryFolder = folder / "memory";
  {
    RunMemory memory;
    memory.open(memoryFolder);
    ASSERT_TRUE(memory.startRecording({}));
    ASSERT_TRUE(memory.durableThrough(memory.recordWrite(wrote(page, "written", TargetEncoding::Utf8))));
  }
  std::ofstream(memoryFolder / "00000000T000000.000000000Z-1.jsonl") << "{\"wrote\":{\"path\":\n";
  EXPECT_TRUE(lookUp(*opened(memoryFolder, MemoryState::Damaged), page));

  std::optional<RunMemory> live(std::in_place);  // a run still under way, the oldest of all
  live->open(memoryFolder);
  ASSERT_TRUE(live->startRecording({}));
  fs::rename(memoryFolder / (live->runId() + ".jsonl"), memoryFolder / "00000000T000000.000000000Z-0.jsonl");
  // Bytes an undo kept that no record names: one under way may not have recorded them yet.
  const fs::path kept = folder.put("memory/kept/feed", "kept");
  for (std::size_t k = 0; k <= kKeptRuns; ++k) opened(memoryFolder, std::nullopt)->startRecording({});
  EXPECT_TRUE(fs::exists(kept));
  std::size_t runs = 0;
  for (const auto& entry : fs::directory_iterator(memoryFolder)) runs += entry.path().extension() == ".jsonl";
  EXPECT_EQ(runs, kKeptRuns);
  EXPECT_TRUE(fs::exists(memoryFolder / "00000000T000000.000000000Z-0.jsonl"));
  EXPECT_FALSE(lookUp(*opened(memoryFolder), page));  // dropped with its run, as was the damaged one
  EXPECT_EQ(fs::status(memoryFolder).permissions() & fs::perms::all, fs::perms::owner_all);
  live.reset();
  opened(memoryFolder, std::nullopt)->startRecording({});
  EXPECT_FALSE(fs::exists(kept));

  ASSERT_EQ(::chown(memoryFolder.c_str(), 65534, 65534), 0);
  EXPECT_FALSE(opened(memoryFolder, MemoryState::Unavailable)->startRecording({}));
}

}  // namespace
}  // namespace sarnavel
