// A run whose record of what it writes cannot be written (past the file-size limit here, as on
// a full disk) still converts, and tells the user once that it was not recorded: a later undo
// could not take those files back. A conversion and a redo alike.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <atomic>
#include <functional>

#include "run/intake.h"
#include "run/undo_run.h"
#include "store/run_memory.h"
#include "support/killed_in_place_write.h"
#include "support/site_documents.h"
#include "support/temp_folder.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// Whether `step`, run in a child whose files may grow to `limit` bytes, returns true.
bool underFileSizeLimit(rlim_t limit, const std::function<bool()>& step) {
  return testing::inChild(
      [limit] {
        signal(SIGXFSZ, SIG_IGN);  // as the shells have it
        const rlimit small{limit, limit};
        return setrlimit(RLIMIT_FSIZE, &small) == 0;
      },
      step);
}

// Each outcome counted, and the memory's notices.
struct Told {
  int successes = 0, failures = 0, notRecorded = 0;
  RunObserver observer() {
    RunObserver observer;
    observer.fileDone = [this](const FileOutcome& file) {
      ++(file.result == ResultCode::Success ? successes : failures);
    };
    observer.memoryNotice = [this](MemoryNotice notice, const fs::path&) {
      if (notice == MemoryNotice::NotRecorded) ++notRecorded;
    };
    return observer;
  }
};

Told convert(const fs::path& tree, const fs::path& memory) {
  IntakeReport intake;
  offerPaths({tree}, intake);
  RunRequest request{testing::toUtf8(), std::move(intake.files)};
  request.listedFolders = std::move(intake.folders);
  request.namedPaths = {tree};
  request.memoryFolder = memory;
  Told told;
  std::atomic<bool> cancel{false};
  conversionWorker(request, told.observer(), cancel);
  return told;
}

Told undo(const fs::path& memory, const std::string& run = {}) {
  Told told;
  std::atomic<bool> cancel{false};
  undoWorker({memory, run}, told.observer(), cancel);
  return told;
}

constexpr int kPages = 12;
constexpr rlim_t kLimit = 2048;  // above every page and backup, below the run's record

void writePages(const TempFolder& tree) {
  for (int k = 0; k < kPages; ++k)
    tree.put("site/p" + std::to_string(k) + ".html", testing::sjisDocument(FileKind::Html, 300, k));
}

bool toldOnceAndConverted(const Told& told) {
  return told.notRecorded == 1 && told.successes == kPages && told.failures == 0;
}

TEST(RunRecord, AConversionWhoseRecordCannotBeWrittenSaysSoOnce) {
  TempFolder tree, memory;
  writePages(tree);
  EXPECT_TRUE(underFileSizeLimit(kLimit, [&] { return toldOnceAndConverted(convert(tree.path(), memory / "state")); }));
}

TEST(RunRecord, ARedoWhoseRecordCannotBeWrittenSaysSoOnce) {
  TempFolder tree, memory;
  const fs::path state = memory / "state";
  writePages(tree);
  ASSERT_EQ(convert(tree.path(), state).notRecorded, 0);
  ASSERT_EQ(undo(state).successes, kPages);
  const std::string undoId = rememberedRuns(state).back().id;
  EXPECT_TRUE(underFileSizeLimit(kLimit, [&] { return toldOnceAndConverted(undo(state, undoId)); }));
}

}  // namespace
}  // namespace sarnavel
