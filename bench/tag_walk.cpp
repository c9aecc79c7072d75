// The tag walk alone, in memory, over the pages of a site: what a converted page costs the
// walk of page_walk.h (head landmarks, references and marks in one pass), the reference
// collection alone, the plain TagWalk handing over every tag with its attributes, and the `document.write` test with the script-written tags, each
// against the floor of any walk over the same bytes: one memchr pass counting every `<`.
//
// The five are run interleaved, one repetition each in turn, on one thread; the table gives
// the median and fastest MB/s of page bytes and each one's ratio to the memchr pass (medians
// of the ratios of each repetition). Build this file against two commits and run both in
// turn to compare them: the ratios are what the machine's load moves least.
//
// Usage: tag_walk FOLDER [megabytes=64] [repetitions=9]
// FOLDER's .html and .htm files are read in path order until `megabytes` are loaded.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "html/page_walk.h"
#include "html/references.h"
#include "html/script_written_tags.h"
#include "html/tag_scanner.h"

namespace {

namespace fs = std::filesystem;
using namespace sarnavel;

std::vector<std::string> loadPages(const fs::path& root, std::size_t limit) {
  std::vector<fs::path> paths;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const auto extension = entry.path().extension();
    if (entry.is_regular_file() && (extension == ".html" || extension == ".htm")) paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<std::string> pages;
  std::size_t total = 0;
  for (const fs::path& path : paths) {
    if (total >= limit) break;
    std::ifstream in(path, std::ios::binary);
    pages.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    total += pages.back().size();
  }
  return pages;
}

double medianOf(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Every result is folded into this so that no work is optimised away.
std::size_t sink = 0;

std::size_t countOpeners(std::string_view page) {
  std::size_t count = 0;
  for (const char *p = page.data(), *end = p + page.size();
       (p = static_cast<const char*>(std::memchr(p, '<', static_cast<std::size_t>(end - p)))) != nullptr; ++p)
    ++count;
  return count;
}

std::size_t walkEveryTag(std::string_view page) {
  TagWalk walk(page);
  ScannedTag tag;
  std::size_t count = 0;
  while (walk.next(tag)) count += tag.name.size();
  return count;
}

std::size_t referencesOnly(std::string_view page) {
  PARSE2INFO references;
  collectReferences(page, references);
  return references.elements.size();
}

std::size_t walkWhole(std::string_view page) {
  PARSE1INFO head;
  PARSE2INFO references;
  std::size_t marks = 0;
  const PageMarkSink count = [&](PageMark&&) { ++marks; };
  walkPage(page, head, references, &count);
  return references.elements.size() + marks + head.metaDeclarations.size();
}

std::size_t scriptWritten(std::string_view page) { return scriptTagsWrittenByScripts(page).size(); }

struct Row {
  const char* name;
  std::size_t (*run)(std::string_view);
  std::vector<double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tag_walk FOLDER [megabytes=64] [repetitions=9]\n");
    return 2;
  }
  const std::size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 64;
  const int repetitions = argc > 3 ? std::max(1, std::atoi(argv[3])) : 9;
  const std::vector<std::string> pages = loadPages(argv[1], megabytes << 20);
  std::size_t bytes = 0;
  for (const std::string& page : pages) bytes += page.size();
  if (bytes == 0) {
    std::fprintf(stderr, "no pages under %s\n", argv[1]);
    return 1;
  }
  std::vector<Row> rows = {{"memchr '<' (floor)", countOpeners, {}},
                           {"TagWalk, every tag, every attribute", walkEveryTag, {}},
                           {"collectReferences", referencesOnly, {}},
                           {"walkPage (head, references, marks)", walkWhole, {}},
                           {"scriptTagsWrittenByScripts", scriptWritten, {}}};
  for (int r = 0; r < repetitions; ++r) {
    for (Row& row : rows) {
      const auto start = std::chrono::steady_clock::now();
      for (const std::string& page : pages) sink += row.run(page);
      row.seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
  }
  const double mb = static_cast<double>(bytes) / 1e6;
  std::printf("%zu pages, %.1f MB, %d repetitions\n", pages.size(), mb, repetitions);
  std::printf("%-36s %10s %10s %14s\n", "", "median MB/s", "best MB/s", "time / floor");
  for (const Row& row : rows) {
    std::vector<double> ratios;
    for (int r = 0; r < repetitions; ++r) ratios.push_back(row.seconds[r] / rows[0].seconds[r]);
    std::printf("%-36s %10.0f %10.0f %14.2f\n", row.name, mb / medianOf(row.seconds),
                mb / *std::min_element(row.seconds.begin(), row.seconds.end()), medianOf(ratios));
  }
  return sink == 42 ? 1 : 0;
}
