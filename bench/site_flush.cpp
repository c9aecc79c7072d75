// What flushing costs when a whole site is rewritten in place, and which safe scheme is
// cheapest: each file of a folder tree (its .html, .css and .js files, read into memory
// first) is replaced by its own bytes the way sarnavel-cli replaces a file (a temporary file
// in the same folder, written, flushed, renamed over the original), with the flushing done in
// different ways. No conversion is done, so only the writing and flushing are timed.
//
// Schemes (every one but "no flush" flushes each file before it replaces the original):
//   per file, T threads   temp, write, fsync, close, rename, fsync of the folder; T workers
//                         take the files in turn (sarnavel-cli today: one worker per core)
//   folders once, T thr.  the same without the folder fsync per file; each folder that had a
//                         rename is flushed once at the end (a crash before that leaves the
//                         old or the new file, each whole)
//   started early, T thr. per group of 64 files of a worker: write every temp and start its
//                         write-back (sync_file_range), then fsync, close and rename each;
//                         folders once at the end
//   no flush, 2 threads   temp, write, close, rename (unsafe; the lower bound)
// The schemes are run in turn, several rounds, with a `sync` before each; medians.
//
// Usage: site_flush FOLDER [files=2000] [rounds=3]
// FOLDER is on the file system to measure (the ordinary disk: on tmpfs fsync costs nothing).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct File {
  fs::path path;
  std::string bytes;
};

enum class Flush { PerFile, FoldersOnce, StartedEarly, None };

struct Scheme {
  const char* name;
  Flush flush;
  int threads;
};

bool writeAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void syncFolder(const fs::path& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

fs::path tempOf(const File& f) {
  return f.path.parent_path() / ("." + f.path.filename().native() + ".flush-bench.tmp");
}

int openTemp(const File& f) { return ::open(tempOf(f).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644); }

bool finish(const File& f, int fd, bool flush) {
  bool ok = (!flush || ::fsync(fd) == 0);
  ok = ::close(fd) == 0 && ok;
  return ok && ::rename(tempOf(f).c_str(), f.path.c_str()) == 0;
}

// Runs one scheme over all files; returns false when a file could not be replaced.
bool runScheme(const Scheme& scheme, const std::vector<File>& files) {
  std::atomic<std::size_t> next{0};
  std::atomic<bool> ok{true};
  constexpr std::size_t kGroup = 64;
  auto worker = [&] {
    if (scheme.flush == Flush::StartedEarly) {
      for (;;) {
        const std::size_t first = next.fetch_add(kGroup);
        if (first >= files.size()) return;
        const std::size_t last = std::min(files.size(), first + kGroup);
        std::vector<int> fds;
        for (std::size_t i = first; i < last; ++i) {
          int fd = openTemp(files[i]);
          if (fd < 0 || !writeAll(fd, files[i].bytes)) ok = false;
          if (fd >= 0) ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
          fds.push_back(fd);
        }
        for (std::size_t i = first; i < last; ++i) {
          int fd = fds[i - first];
          if (fd < 0 || !finish(files[i], fd, true)) ok = false;
        }
      }
    }
    for (;;) {
      const std::size_t i = next.fetch_add(1);
      if (i >= files.size()) return;
      const File& f = files[i];
      int fd = openTemp(f);
      if (fd < 0 || !writeAll(fd, f.bytes)) ok = false;
      if (fd < 0 || !finish(f, fd, scheme.flush != Flush::None)) ok = false;
      if (scheme.flush == Flush::PerFile) syncFolder(f.path.parent_path());
    }
  };
  std::vector<std::thread> pool;
  for (int t = 0; t < scheme.threads; ++t) pool.emplace_back(worker);
  for (auto& t : pool) t.join();
  if (scheme.flush == Flush::FoldersOnce || scheme.flush == Flush::StartedEarly) {
    std::set<fs::path> folders;
    for (const File& f : files) folders.insert(f.path.parent_path());
    for (const fs::path& folder : folders) syncFolder(folder);
  }
  return ok;
}

double medianOf(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: site_flush FOLDER [files=2000] [rounds=3]\n");
    return 0;
  }
  const fs::path root = argv[1];
  const std::size_t limit = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 2000;
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;

  std::vector<fs::path> paths;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const auto ext = entry.path().extension();
    if (entry.is_regular_file() && (ext == ".html" || ext == ".css" || ext == ".js")) paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  // An even spread over the tree when only part of it is used.
  std::vector<File> files;
  const std::size_t step = std::max<std::size_t>(1, paths.size() / std::max<std::size_t>(1, limit));
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < paths.size() && files.size() < limit; i += step) {
    std::ifstream in(paths[i], std::ios::binary);
    files.push_back({paths[i], std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>())});
    bytes += files.back().bytes.size();
  }
  if (files.empty()) {
    std::printf("site_flush: no .html, .css or .js file under %s\n", root.c_str());
    return 0;
  }

  const std::vector<Scheme> schemes = {
      {"per file, 1 thread", Flush::PerFile, 1},
      {"per file, 2 threads (cli today)", Flush::PerFile, 2},
      {"per file, 8 threads", Flush::PerFile, 8},
      {"per file, 32 threads", Flush::PerFile, 32},
      {"folders once, 2 threads", Flush::FoldersOnce, 2},
      {"folders once, 8 threads", Flush::FoldersOnce, 8},
      {"started early, 2 threads", Flush::StartedEarly, 2},
      {"no flush, 2 threads (unsafe)", Flush::None, 2},
  };
  std::vector<std::vector<double>> times(schemes.size());
  using Clock = std::chrono::steady_clock;
  for (int r = 0; r < rounds; ++r) {
    for (std::size_t k = 0; k < schemes.size(); ++k) {
      const std::size_t s = (k + static_cast<std::size_t>(r)) % schemes.size();
      ::sync();
      auto t0 = Clock::now();
      if (!runScheme(schemes[s], files)) {
        std::printf("site_flush: %s: a file could not be replaced\n", schemes[s].name);
        return 1;
      }
      times[s].push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
  }
  const double none = medianOf(times.back());
  std::printf("%zu files, %.1f MB, under %s; %d rounds, medians\n", files.size(), bytes / 1e6, root.c_str(), rounds);
  std::printf("| scheme | s | ms/file | x no flush |\n|---|---:|---:|---:|\n");
  for (std::size_t s = 0; s < schemes.size(); ++s) {
    const double t = medianOf(times[s]);
    std::printf("| %s | %.2f | %.2f | %.1f |\n", schemes[s].name, t, t / files.size() * 1e3, t / none);
  }
  return 0;
}
