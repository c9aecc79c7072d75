// A folder of 100,000 files: the run logs 100,000 successes, a sample of the files holds the
// converted bytes, and no temporary file is left. On a tmpfs of its own where one can be
// mounted (no disk flushes), otherwise in the temporary folder; without backups.
#include <gtest/gtest.h>

#include "fault/scratch_mounts.h"
#include "support/cli_process.h"
#include "support/folder_state.h"
#include "support/site_documents.h"
#include "support/temp_folder.h"

namespace sarnavel::testing {
namespace {

namespace fs = std::filesystem;

TEST(ManyFiles, HundredThousandFilesInOneFolder) {
  constexpr int kFiles = 100'000;
  TempFolder temp;
  const fs::path folder = temp / "many";
  fs::create_directories(folder);
  const ScratchMount mount = ScratchMount::tmpfs(folder, "1g");
  const std::string names[] = {"x.html", "x.css", "x.js"};
  std::string before[3], after[3];
  for (int k = 0; k < 3; ++k) {
    before[k] = sjisDocument(classifyExtension(names[k]), 10, k);
    after[k] = convertedContent(folder / names[k], before[k], toUtf8(false));
  }
  auto nameOf = [&](int i) { return "f" + std::to_string(i) + names[i % 3].substr(1); };
  for (int i = 0; i < kFiles; ++i) std::ofstream(folder / nameOf(i), std::ios::binary) << before[i % 3];

  const CliResult r = runCli({"-t", "utf-8", "--no-backup", folder.native()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.ends_with(finished(kFiles, 0)))
      << r.out.substr(r.out.size() - std::min<std::size_t>(300, r.out.size()));
  for (int i = 0; i < kFiles; i += 997) EXPECT_TRUE(TempFolder::read(folder / nameOf(i)) == after[i % 3]) << nameOf(i);
  std::size_t count = 0;
  for (const auto& item : fs::directory_iterator(folder)) {
    ++count;
    EXPECT_FALSE(isToolTemporary(item.path().native())) << item.path();
  }
  EXPECT_EQ(count, static_cast<std::size_t>(kFiles));
}

}  // namespace
}  // namespace sarnavel::testing
