// What the intake's folder walk costs against a plain recursive listing of the same tree.
//
// The walk (offerPath) lists a tree's pages, style sheets and scripts in its order, looks at
// every entry without following links, and goes down and back up by descriptor (openat, then
// ".." checked against the parent's device and inode) so that it holds four descriptors
// whatever the depth. The peer is std::filesystem::recursive_directory_iterator with the same
// extension filter, which keeps one descriptor per level and does not sort. Both walk the same
// generated tree (FOLDERS folders in chains of DEPTH, FILES files each, half of them of an
// accepted kind), alternately, ROUNDS times after one warm-up each; the medians and their
// ratio are printed. Compare the ratio, not the times: the machine may be busy.
//
// Usage: folder_walk [folders=4000] [files per folder=12] [depth=8] [rounds=7]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run/file_kind.h"
#include "run/intake.h"

namespace fs = std::filesystem;

namespace {

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

template <class Walk>
double millisecondsOf(Walk&& walk, std::size_t& listed) {
  const auto start = std::chrono::steady_clock::now();
  listed = walk();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int folders = argc > 1 ? std::atoi(argv[1]) : 4000;
  const int files = argc > 2 ? std::atoi(argv[2]) : 12;
  const int depth = argc > 3 ? std::atoi(argv[3]) : 8;
  const int rounds = argc > 4 ? std::atoi(argv[4]) : 7;

  std::string pattern = (fs::temp_directory_path() / "sarnavel-walk-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  const fs::path root = pattern;
  const char* extensions[] = {".html", ".css", ".js", ".txt", ".png", ".bak"};
  for (int f = 0; f < folders; ++f) {
    fs::path folder = root / ("chain" + std::to_string(f / depth));
    for (int level = 0; level <= f % depth; ++level) folder /= "level" + std::to_string(level);
    fs::create_directories(folder);
    for (int k = 0; k < files; ++k) std::ofstream(folder / ("file" + std::to_string(k) + extensions[k % 6]));
  }

  auto intake = [&] {
    sarnavel::IntakeReport report;
    sarnavel::offerPath(root, report);
    return report.files.size();
  };
  auto peer = [&] {
    std::size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (!entry.is_directory() && sarnavel::isAcceptedKind(sarnavel::classifyExtension(entry.path().native()))) ++count;
    }
    return count;
  };
  std::size_t ours = 0, theirs = 0;
  millisecondsOf(intake, ours);
  millisecondsOf(peer, theirs);
  std::vector<double> intakeTimes, peerTimes;
  for (int round = 0; round < rounds; ++round) {
    intakeTimes.push_back(millisecondsOf(intake, ours));
    peerTimes.push_back(millisecondsOf(peer, theirs));
  }
  std::printf("tree: %d folders (chains of %d), %d files each; listed: intake %zu, peer %zu\n", folders, depth, files,
              ours, theirs);
  std::printf("intake walk  %8.1f ms\nrecursive_directory_iterator %8.1f ms\nratio intake / peer: %.2f\n",
              median(intakeTimes), median(peerTimes), median(intakeTimes) / median(peerTimes));
  fs::remove_all(root);
  return ours == theirs ? 0 : 2;
}
