// What rewriting a site in place costs when nothing is converted: the floor under any run of
// sarnavel-cli, to set beside `cp -r` of the same tree. Every .html/.htm/.css/.js file of the
// folder, in path order, is read and replaced by its own bytes (stretched by --grow, so the
// bytes written match what a conversion writes: Shift_JIS → UTF-8 makes a page about a quarter
// longer), workers taking the files in turn as the run does.
//
//   raw     the fewest system calls that replace a file safely from a crash's point of view
//           but for the flush: open, fstat, read, close; a temporary file made beside it,
//           written, closed, renamed over it. What a plain in-place tool (sed -i) does.
//   store   sarnavel's own file store: readFile, then replaceFile given the read's
//           identity (the file checked against the read, owner, mode and attributes carried,
//           data flushed, folders flushed once per batch), one WriteSession per worker.
//
// Usage: rewrite_floor [--store] [--grow F] [--threads N] FOLDER
// FOLDER is changed: give it a fresh copy of the tree each time (bench/site does).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "store/file_identity.h"
#include "store/file_store.h"
#include "store/folder_flushes.h"

namespace {

namespace fs = std::filesystem;

bool isDocument(const fs::path& path) {
  const std::string ext = path.extension().string();
  return ext == ".html" || ext == ".htm" || ext == ".css" || ext == ".js";
}

// The bytes to write for a file that read `bytes`: them, then their start again up to `grow`
// (their start alone when `grow` is below 1: UTF-8 → Shift_JIS makes a page shorter).
void stretch(std::string& bytes, double grow) {
  if (grow < 1.0) {
    bytes.resize(static_cast<std::size_t>(static_cast<double>(bytes.size()) * grow));
    return;
  }
  const auto extra = static_cast<std::size_t>(static_cast<double>(bytes.size()) * (grow - 1.0));
  const std::size_t size = bytes.size();
  bytes.reserve(size + extra);
  for (std::size_t added = 0; added < extra;) {
    const std::size_t n = std::min(extra - added, size);
    bytes.append(bytes.data(), n);
    added += n;
  }
}

bool rewriteRaw(const fs::path& path, double grow, std::string& bytes) {
  const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  if (::fstat(in, &st) != 0) {
    ::close(in);
    return false;
  }
  bytes.resize(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(in, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(in);
  bytes.resize(done);
  stretch(bytes, grow);
  fs::path temp = path;
  temp += ".floor-tmp";
  const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
  if (out < 0) return false;
  bool ok = true;
  for (done = 0; ok && done < bytes.size();) {
    const ssize_t n = ::write(out, bytes.data() + done, bytes.size() - done);
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  ok = ::close(out) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool rewriteByStore(const fs::path& path, double grow, std::string& bytes, sarnavel::FolderFlushes& flushes,
                    sarnavel::WriteSession& session) {
  sarnavel::FileIdentity read;
  session.beginFile();
  if (sarnavel::readFile({path}, bytes, &read) != sarnavel::ResultCode::Success) return false;
  stretch(bytes, grow);
  const std::string_view piece = bytes;
  if (!sarnavel::replaceFile({path, {&piece, 1}, &read, false, false, &flushes}, &session).ok()) return false;
  flushes.durableFor(path.native());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool store = false;
  double grow = 1.0;
  unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  const char* folder = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--store") {
      store = true;
    } else if (arg == "--grow" && i + 1 < argc) {
      grow = std::atof(argv[++i]);
    } else if (arg == "--threads" && i + 1 < argc) {
      threads = static_cast<unsigned>(std::max(1, std::atoi(argv[++i])));
    } else if (!arg.empty() && arg[0] != '-' && folder == nullptr) {
      folder = argv[i];
    } else {
      std::fprintf(stderr, "usage: rewrite_floor [--store] [--grow F] [--threads N] FOLDER\n");
      return 2;
    }
  }
  if (folder == nullptr || !(grow > 0.0)) {
    std::fprintf(stderr, "usage: rewrite_floor [--store] [--grow F>0] [--threads N] FOLDER\n");
    return 2;
  }

  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file() && isDocument(entry.path())) files.push_back(entry.path());
  std::sort(files.begin(), files.end());

  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> failed{0};
  sarnavel::FolderFlushes flushes;
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      std::string bytes;
      sarnavel::WriteSession session;
      for (std::size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < files.size();) {
        const bool ok =
            store ? rewriteByStore(files[i], grow, bytes, flushes, session) : rewriteRaw(files[i], grow, bytes);
        if (!ok) failed.fetch_add(1, std::memory_order_relaxed);
      }
    });
  }
  for (auto& worker : workers) worker.join();
  if (failed.load() != 0) {
    std::fprintf(stderr, "rewrite_floor: %zu of %zu files not rewritten\n", failed.load(), files.size());
    return 1;
  }
  return 0;
}
