// A folder of 100,000 files: the run completes with 100,000 successes and a sample of the
// files holds exactly the converted bytes. On a tmpfs of its own where one can be mounted
// (no disk flushes), otherwise in the temporary folder; without backups.
#include "fault/fault_support.h"

namespace sarnavel::fault {
namespace {

TEST(ManyFiles, HundredThousandFilesInOneFolder) {
  constexpr int kFiles = 100'000;
  TempFolder temp;
  const fs::path folder = temp.path() / "many";
  fs::create_directories(folder);
  Mount mount = Mount::tmpfs(folder, "1g");
  if (!mount.ok()) std::printf("many files: no tmpfs (%s); using the temporary folder\n", mount.error().c_str());

  const std::string kinds[] = {".html", ".css", ".js"};
  std::vector<std::string> contents;
  for (int k = 0; k < 3; ++k) {
    const std::string extension = kinds[k];
    const FileKind kind = classifyExtension("x" + extension);
    contents.push_back(kind == FileKind::Html  ? "<html><head></head><body>" + sjis(u"日本語") + "</body></html>"
                       : kind == FileKind::Css ? "p{content:\"" + sjis(u"日本") + "\"}"
                                               : "var s=\"" + sjis(u"日本") + "\";");
  }
  std::vector<std::string> expected;
  for (int k = 0; k < 3; ++k) {
    ConversionOptions options = toUtf8();
    options.makeBackup = false;
    expected.push_back(convertedContent(folder / ("x" + kinds[k]), contents[k], options));
  }
  auto nameOf = [&](int i) { return "f" + std::to_string(i) + kinds[i % 3]; };
  for (int i = 0; i < kFiles; ++i) putFile(folder / nameOf(i), contents[i % 3]);

  const auto started = std::chrono::steady_clock::now();
  CliResult result = runCli({"-t", "utf-8", "--no-backup", folder.native()});
  const auto seconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count() /
      1000.0;
  std::printf("many files: %d files converted in %.1f s\n", kFiles, seconds);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find(summary(kFiles, 0)), std::string::npos)
      << result.out.substr(result.out.size() > 300 ? result.out.size() - 300 : 0);
  std::size_t entries = 0;
  for (std::size_t at = 0; (at = result.out.find("成功: ", at)) != std::string::npos; at += 1) ++entries;
  EXPECT_EQ(entries, static_cast<std::size_t>(kFiles));
  for (int i = 0; i < kFiles; i += 997) {
    EXPECT_TRUE(readFile(folder / nameOf(i)) == expected[i % 3]) << nameOf(i);
  }
  std::size_t names = 0;
  for (const auto& item : fs::directory_iterator(folder)) {
    ++names;
    EXPECT_FALSE(isToolTemporary(item.path().native())) << item.path();
  }
  EXPECT_EQ(names, static_cast<std::size_t>(kFiles));
}

}  // namespace
}  // namespace sarnavel::fault
