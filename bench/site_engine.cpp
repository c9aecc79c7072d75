// The engine alone, in memory, on the files of a generated site (bench/site_generate.py):
// Shift_JIS -> UTF-8 of every page, sheet and script with the engine operation of its kind
// (convertHtml / convertCss / convertJavaScript, as the command-line program calls them, the
// page folder being the real one so that the loaded files are looked up), against the byte
// converter alone (convertText with the options of the UTF-8 target) and against ICU's
// windows-31j -> UTF-8 (ucnv_convertEx) on the same bytes. No file is written.
// With a target of shift_jis or euc-jp, the folder is a UTF-8 site converted into that target,
// against ICU's UTF-8 -> windows-31j or EUC-JP (the byte converter alone has no row then).
//
// The three are run interleaved, one repetition each in turn, on one thread; the table gives
// the median MB/s of input bytes and the ratios to ICU, and the engine's fastest repetition.
//
// Usage: site_engine [FOLDER] [megabytes=64] [repetitions=7] [utf-8|shift_jis|euc-jp]
// FOLDER is the Shift_JIS site (the UTF-8 one for the other targets); its .html, .css and .js files are read in path order until
// `megabytes` are loaded. Without a folder, a page is built from the Japanese catalogs of the
// machine (see japanese_corpus.h) and the page operation alone is timed.
#include <unicode/ucnv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "run/conversion_options.h"
#include "engine/converter.h"
#include "engine/converter_options.h"
#include "engine/css_conversion.h"
#include "engine/html_conversion.h"
#include "engine/javascript_conversion.h"
#include "engine/target_options.h"
#include "japanese_corpus.h"
#include "run/reference_files.h"

namespace {

namespace fs = std::filesystem;

enum class Kind { Page, Sheet, Script };

struct Document {
  fs::path folder;
  Kind kind;
  std::string bytes;
};

double medianOf(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

std::vector<Document> loadSite(const fs::path& root, std::size_t limit) {
  std::vector<fs::path> paths;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const auto ext = entry.path().extension();
    if (ext == ".html" || ext == ".css" || ext == ".js") paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<Document> docs;
  std::size_t total = 0;
  for (const fs::path& p : paths) {
    if (total >= limit) break;
    std::ifstream in(p, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto ext = p.extension();
    Kind kind = ext == ".html" ? Kind::Page : ext == ".css" ? Kind::Sheet : Kind::Script;
    total += bytes.size();
    docs.push_back({fs::absolute(p).parent_path(), kind, std::move(bytes)});
  }
  return docs;
}

// A page of about `limit` bytes of Shift_JIS prose in markup, built from the catalogs
// (messages that code page 932 cannot hold are left out).
std::vector<Document> builtPage(std::size_t limit) {
  const auto messages = bench::allMessages(bench::loadJapaneseCatalogs());
  bench::IcuCodec sjis("windows-31j");
  std::vector<std::string> encoded;
  for (const auto& m : messages) {
    if (auto bytes = sjis.encode(m)) encoded.push_back(std::move(*bytes));
  }
  std::string page =
      "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">"
      "<title>bench</title></head><body>\n";
  for (std::size_t k = 0; !encoded.empty() && page.size() < limit; ++k) {
    page += "<p><a href=\"#m" + std::to_string(k) + "\">" + encoded[k % encoded.size()] + "</a></p>\n";
  }
  page += "</body></html>\n";
  if (encoded.empty()) return {};
  return {{fs::current_path(), Kind::Page, std::move(page)}};
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : "";
  const std::size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 64;
  const int repetitions = argc > 3 ? std::max(1, std::atoi(argv[3])) : 7;
  const std::string targetName = argc > 4 ? argv[4] : "utf-8";
  const bool intoUtf8 = targetName == "utf-8";
  if (!intoUtf8 && targetName != "shift_jis" && targetName != "euc-jp") {
    std::fprintf(stderr, "site_engine: the target is utf-8, shift_jis or euc-jp\n");
    return 2;
  }
  const char* sourceName = intoUtf8 ? "windows-31j" : "UTF-8";
  const char* targetIcuName = intoUtf8 ? "UTF-8" : targetName == "shift_jis" ? "windows-31j" : "EUC-JP";

  std::vector<Document> docs = folder.empty() ? builtPage(megabytes << 20) : loadSite(folder, megabytes << 20);
  std::size_t total = 0, pages = 0, sheets = 0, scripts = 0;
  for (const Document& d : docs) {
    total += d.bytes.size();
    (d.kind == Kind::Page ? pages : d.kind == Kind::Sheet ? sheets : scripts) += 1;
  }
  if (total == 0) {
    std::printf("site_engine: nothing to convert (no Japanese catalogs, or an empty folder)\n");
    return 0;
  }

  sarnavel::ConversionOptions options;
  options.targetEncoding = intoUtf8                    ? sarnavel::TargetEncoding::Utf8
                           : targetName == "shift_jis" ? sarnavel::TargetEncoding::ShiftJis
                                                       : sarnavel::TargetEncoding::EucJp;
  options.makeBackup = false;
  sarnavel::ConverterOptions converterOptions;
  sarnavel::applyTargetEncoding(converterOptions, options.targetEncoding, options.lineEnding);

  UErrorCode err = U_ZERO_ERROR;
  UConverter* from = ucnv_open(sourceName, &err);
  UConverter* to = ucnv_open(targetIcuName, &err);
  if (U_FAILURE(err)) {
    std::fprintf(stderr, "ICU: %s\n", u_errorName(err));
    return 1;
  }
  UChar pivot[1024];

  std::size_t sink = 0;
  auto engine = [&] {
    for (const Document& d : docs) {
      std::string text = d.bytes;
      sarnavel::DocumentResult result;
      switch (d.kind) {
        case Kind::Page: result = sarnavel::convertHtml(text, options, sarnavel::FileSystemResolver(d.folder)); break;
        case Kind::Sheet: result = sarnavel::convertCss(text, options); break;
        case Kind::Script: result = sarnavel::convertJavaScript(text, options); break;
      }
      sink += result.escaped.size();
      sink += text.size();
    }
  };
  auto converter = [&] {
    for (const Document& d : docs) sink += sarnavel::convertText(converterOptions, d.bytes).size();
  };
  auto icu = [&] {
    for (const Document& d : docs) {
      ucnv_resetToUnicode(from);
      ucnv_resetFromUnicode(to);
      std::string out(d.bytes.size() * 3 / 2 + 16, '\0');
      char* target = out.data();
      const char* source = d.bytes.data();
      UChar* ps = pivot;
      UChar* pt = pivot;
      UErrorCode e = U_ZERO_ERROR;
      ucnv_convertEx(to, from, &target, out.data() + out.size(), &source, d.bytes.data() + d.bytes.size(), pivot, &ps,
                     &pt, pivot + 1024, true, true, &e);
      out.resize(static_cast<std::size_t>(target - out.data()));
      sink += out.size();
    }
  };

  using Clock = std::chrono::steady_clock;
  auto timed = [](auto&& f) {
    auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
  };
  std::vector<double> tEngine, tConverter, tIcu;
  for (int r = 0; r < repetitions; ++r) {
    tEngine.push_back(timed(engine));
    if (intoUtf8) tConverter.push_back(timed(converter));
    tIcu.push_back(timed(icu));
  }
  ucnv_close(from);
  ucnv_close(to);

  const double mb = static_cast<double>(total) / 1e6;
  const double e = medianOf(tEngine), c = medianOf(tConverter), i = medianOf(tIcu);
  std::printf("input: %.1f MB of %s in %zu files (%zu pages, %zu sheets, %zu scripts), %d repetitions, medians\n", mb,
              intoUtf8 ? "Shift_JIS" : "UTF-8", docs.size(), pages, sheets, scripts, repetitions);
  const std::string direction = intoUtf8 ? "Shift_JIS -> UTF-8" : "UTF-8 -> " + targetName;
  std::printf("| %s, one thread | ms | MB/s | / ICU |\n|---|---:|---:|---:|\n", direction.c_str());
  std::printf("| engine (convertHtml/Css/JavaScript) | %.0f | %.0f | %.2f |\n", e * 1e3, mb / e, i / e);
  // The fastest repetition too: on a shared machine it moves least with the other work.
  const double fastest = *std::min_element(tEngine.begin(), tEngine.end());
  std::printf("| engine, fastest repetition | %.0f | %.0f | |\n", fastest * 1e3, mb / fastest);
  if (intoUtf8) std::printf("| byte converter alone (convertText) | %.0f | %.0f | %.2f |\n", c * 1e3, mb / c, i / c);
  std::printf("| ICU %s -> %s | %.0f | %.0f | 1.00 |\n", sourceName, targetIcuName, i * 1e3, mb / i);
  std::printf("(checksum %zu)\n", sink);
  return 0;
}
