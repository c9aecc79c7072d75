// Throughput of the byte converter against ICU and glibc iconv on the same bytes.
//
// The input is an HTML-like page built by repeating real Japanese prose (see
// japanese_corpus.h) with ASCII markup around each message: elements, attributes, line
// breaks. Three cases, each timed several times in one run with the three converters
// interleaved, reporting the median in MB/s of input bytes:
//   a. Shift_JIS -> UTF-8    ours "-w -w80 -x"; ICU windows-31j -> UTF-8; iconv CP932 -> UTF-8
//   b. UTF-8 -> Shift_JIS    ours: the UTF-8 preparation with HTML escaping, then "-s -x";
//                            ICU UTF-8 -> windows-31j; iconv UTF-8 -> CP932 (the peers do not
//                            escape: every character of this page fits code page 932)
//   c. Shift_JIS -> EUC-JP   ours "-e -x"; ICU windows-31j -> EUC-JP; iconv CP932 -> EUC-JP-MS
// Ours also detects the input encoding (the peers are told it); the time of the detection
// alone is printed too.
//
// Usage: converter_throughput [megabytes=32] [repetitions=7]   (the size of the UTF-8 page;
// the Shift_JIS page is about a sixth smaller)
#include <iconv.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/converter.h"
#include "engine/converter_options.h"
#include "engine/encoding_detection.h"
#include "engine/escaping.h"
#include "japanese_corpus.h"

namespace {

using Convert = std::function<std::string(std::string_view)>;

// ---- peers ----

class IcuPair {
 public:
  IcuPair(const char* from, const char* to) {
    UErrorCode err = U_ZERO_ERROR;
    from_ = ucnv_open(from, &err);
    to_ = ucnv_open(to, &err);
    if (U_FAILURE(err)) {
      std::fprintf(stderr, "ICU cannot open %s -> %s: %s\n", from, to, u_errorName(err));
      std::exit(1);
    }
  }
  IcuPair(const IcuPair&) = delete;
  IcuPair& operator=(const IcuPair&) = delete;
  ~IcuPair() {
    ucnv_close(from_);
    ucnv_close(to_);
  }
  std::string operator()(std::string_view in, std::size_t capacity) {
    ucnv_resetToUnicode(from_);
    ucnv_resetFromUnicode(to_);
    std::string out(capacity, '\0');
    char* target = out.data();
    const char* source = in.data();
    UChar* pivotSource = pivot_;
    UChar* pivotTarget = pivot_;
    UErrorCode err = U_ZERO_ERROR;
    ucnv_convertEx(to_, from_, &target, out.data() + out.size(), &source, in.data() + in.size(), pivot_, &pivotSource,
                   &pivotTarget, pivot_ + kPivot, true, true, &err);
    if (U_FAILURE(err)) {
      std::fprintf(stderr, "ICU conversion failed: %s\n", u_errorName(err));
      std::exit(1);
    }
    out.resize(static_cast<std::size_t>(target - out.data()));
    return out;
  }

 private:
  static constexpr int kPivot = 16384;
  UConverter* from_ = nullptr;
  UConverter* to_ = nullptr;
  UChar pivot_[kPivot];
};

class IconvPair {
 public:
  IconvPair(const char* from, const char* to) : name_(std::string(from) + " -> " + to) {
    cd_ = iconv_open(to, from);
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      std::fprintf(stderr, "iconv cannot open %s\n", name_.c_str());
      std::exit(1);
    }
  }
  IconvPair(const IconvPair&) = delete;
  IconvPair& operator=(const IconvPair&) = delete;
  ~IconvPair() { iconv_close(cd_); }
  std::string operator()(std::string_view in, std::size_t capacity) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out(capacity, '\0');
    char* source = const_cast<char*>(in.data());
    std::size_t sourceLeft = in.size();
    char* target = out.data();
    std::size_t targetLeft = out.size();
    if (iconv(cd_, &source, &sourceLeft, &target, &targetLeft) == static_cast<std::size_t>(-1) ||
        iconv(cd_, nullptr, nullptr, &target, &targetLeft) == static_cast<std::size_t>(-1)) {
      // Keep what was converted; the agreement check shows where it stopped.
      std::fprintf(stderr, "iconv %s stopped at input byte %zu: %s\n", name_.c_str(),
                   static_cast<std::size_t>(source - in.data()), std::strerror(errno));
    }
    out.resize(out.size() - targetLeft);
    return out;
  }

 private:
  std::string name_;
  iconv_t cd_;
};

// ---- the page ----

std::string escapeMarkup(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '&') out += "&amp;";
    else if (c == '"') out += "&quot;";
    else out += c;
  }
  return out;
}

// The first few characters of a message, for a title attribute.
std::string prefixCharacters(std::string_view text, std::size_t characters) {
  std::size_t i = 0;
  for (std::size_t k = 0; k < characters && i < text.size(); ++k) {
    if (text[i] == '\n') break;
    bench::nextCodePoint(text, i);
  }
  return std::string(text.substr(0, i));
}

// A UTF-8 page of about `bytes` bytes: messages in paragraphs, list items and links.
std::string buildPage(const std::vector<std::string>& messages, std::size_t bytes) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"UTF-8\">\n"
      "<title>\xE3\x83\xA1\xE3\x83\x83\xE3\x82\xBB\xE3\x83\xBC\xE3\x82\xB8\xE4\xB8\x80\xE8\xA6\xA7</title>\n"
      "<link rel=\"stylesheet\" href=\"/css/site.css\" type=\"text/css\">\n</head>\n<body>\n";
  std::size_t n = 0;
  while (page.size() < bytes) {
    for (const auto& m : messages) {
      std::string text = escapeMarkup(m);
      std::string id = std::to_string(n);
      switch (n % 4) {
        case 0:
          page += "<div class=\"entry\" id=\"e" + id + "\">\n<h2><a href=\"/docs/entry" + id + ".html\">" +
                  escapeMarkup(prefixCharacters(m, 12)) + "</a></h2>\n";
          page += "<p class=\"body\">" + text + "</p>\n";
          break;
        case 1:
          page += "<p>" + text + "<br>\n<span class=\"note\">(" + id + ")</span></p>\n";
          break;
        case 2:
          page += "<ul>\n<li><a href=\"#e" + id + "\" title=\"" + escapeMarkup(prefixCharacters(m, 8)) + "\">" +
                  text + "</a></li>\n</ul>\n";
          break;
        default:
          page += "<p>" + text + "</p>\n</div>\n";
          break;
      }
      ++n;
      if (page.size() >= bytes) break;
    }
  }
  page += "</body>\n</html>\n";
  return page;
}

// ---- timing ----

double seconds(const std::function<void()>& f) {
  auto start = std::chrono::steady_clock::now();
  f();
  std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
  return d.count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// ---- agreement ----

std::string describe(std::string_view bytes) { return bytes.empty() ? "(nothing)" : bench::hexBytes(bytes); }

// Compares ours with a peer; on a difference, converts every distinct character of the page
// alone (one line each) and lists the characters on which the two differ.
void reportAgreement(const char* peerName, const std::string& ours, const std::string& peer, const std::string& charLines,
                     const std::vector<std::string>& charNames, const Convert& oursConvert, const Convert& peerConvert,
                     std::size_t prefixBytes) {
  if (ours == peer) {
    std::printf("    ours vs %-5s: outputs agree (%zu bytes)\n", peerName, ours.size());
    return;
  }
  std::size_t at = 0;
  while (at < ours.size() && at < peer.size() && ours[at] == peer[at]) ++at;
  std::size_t from = at >= 8 ? at - 8 : 0;
  std::printf("    ours vs %-5s: outputs DIFFER (ours %zu bytes, %s %zu bytes); first difference at output byte %zu\n",
              peerName, ours.size(), peerName, peer.size(), at);
  std::printf("      ours : %s\n", describe(std::string_view(ours).substr(from, 24)).c_str());
  std::printf("      %-5s: %s\n", peerName, describe(std::string_view(peer).substr(from, 24)).c_str());
  std::string oursLines = oursConvert(charLines);
  std::string peerLines = peerConvert(charLines);
  auto split = [](const std::string& s) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i; (i = s.find('\n', start)) != std::string::npos; start = i + 1) lines.push_back(s.substr(start, i - start));
    return lines;
  };
  std::vector<std::string> a = split(oursLines), b = split(peerLines);
  if (a.size() != b.size() || a.size() != charNames.size()) {
    std::printf("      (per-character check impossible: line counts %zu / %zu / %zu)\n", a.size(), b.size(), charNames.size());
    return;
  }
  std::size_t differing = 0;
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (a[k] == b[k]) continue;
    if (++differing <= 12) {
      std::printf("      %s: ours %s, %s %s\n", charNames[k].c_str(), describe(std::string_view(a[k]).substr(prefixBytes)).c_str(),
                  peerName, describe(std::string_view(b[k]).substr(std::min(prefixBytes, b[k].size()))).c_str());
    }
  }
  std::printf("      %zu of %zu distinct characters of the page convert differently\n", differing, charNames.size());
}

struct Case {
  const char* name;
  std::string input;
  Convert ours, icu, iconv;
  // Every distinct character of the page, one per line after a fixed prefix, in the input
  // encoding; and the names of the characters ("U+xxxx c").
  std::string charLines;
  std::vector<std::string> charNames;
  std::size_t prefixBytes;  // bytes of the prefix in the output
  // A stage of ours timed alone as well (none when empty).
  const char* stageName = nullptr;
  Convert stage = nullptr;
};

struct Row {
  const char* name;
  double mbOurs, mbIcu, mbIconv, mbDetect;
};

}  // namespace

int main(int argc, char** argv) {
  const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 32;
  const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;

  std::vector<bench::Catalog> catalogs = bench::loadJapaneseCatalogs();
  if (catalogs.empty()) {
    bench::reportMissingCorpus();
    return 0;
  }
  // Only messages that code page 932 holds, so that all converters can agree.
  bench::IcuCodec sjisCodec("windows-31j");
  std::vector<std::string> messages;
  std::size_t dropped = 0;
  for (const auto& m : bench::allMessages(catalogs)) {
    if (sjisCodec.encode(m)) messages.push_back(m);
    else ++dropped;
  }
  const std::string utf8Page = buildPage(messages, megabytes * 1000 * 1000);
  const std::string sjisPage = *sjisCodec.encode(utf8Page);
  std::size_t high = static_cast<std::size_t>(std::count_if(sjisPage.begin(), sjisPage.end(), [](char c) { return c & 0x80; }));
  std::printf("Corpus: %zu catalogs, %zu messages (%zu dropped: not in code page 932)\n", catalogs.size(), messages.size(), dropped);
  std::printf("Page: %.1f MB as Shift_JIS (%.0f%% of its bytes >= 0x80), %.1f MB as UTF-8; %d repetitions each\n\n",
              static_cast<double>(sjisPage.size()) / 1e6, 100.0 * static_cast<double>(high) / static_cast<double>(sjisPage.size()),
              static_cast<double>(utf8Page.size()) / 1e6, repetitions);

  // The distinct characters of the page, for the per-character check.
  std::set<char32_t> distinct;
  for (std::size_t i = 0; i < utf8Page.size();) {
    char32_t c = bench::nextCodePoint(utf8Page, i);
    if (c != '\n') distinct.insert(c);
  }
  std::vector<std::string> charNames;
  std::string utf8Lines, sjisLines;
  const std::string prefixUtf8 = "\xE3\x81\x82";  // a hiragana A in front of each character keeps detection sure
  for (char32_t c : distinct) {
    std::string one;
    std::u16string wide;
    if (c > 0xFFFF) continue;
    wide.push_back(static_cast<char16_t>(c));
    one = bench::utf16ToUtf8(wide);
    char name[32];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(c));
    charNames.push_back(std::string(name) + " " + (c < 0x20 ? std::string("(control)") : one));
    utf8Lines += prefixUtf8 + one + "\n";
  }
  sjisLines = *sjisCodec.encode(utf8Lines);

  IcuPair icuSjisUtf8("windows-31j", "UTF-8"), icuUtf8Sjis("UTF-8", "windows-31j"), icuSjisEuc("windows-31j", "EUC-JP");
  IconvPair iconvSjisUtf8("CP932", "UTF-8"), iconvUtf8Sjis("UTF-8", "CP932"), iconvSjisEuc("CP932", "EUC-JP-MS");
  const auto toUtf8 = sarnavel::parseConverterOptions("-w -w80 -x");
  const auto toSjis = sarnavel::parseConverterOptions("-s -x");
  const auto toEuc = sarnavel::parseConverterOptions("-e -x");

  std::vector<Case> cases;
  cases.push_back({"a. Shift_JIS -> UTF-8", sjisPage, [&](std::string_view in) { return sarnavel::convertText(toUtf8, in); },
                   [&](std::string_view in) { return icuSjisUtf8(in, in.size() * 3 / 2 + 16); },
                   [&](std::string_view in) { return iconvSjisUtf8(in, in.size() * 3 / 2 + 16); }, sjisLines, charNames, 3});
  cases.push_back({"b. UTF-8 -> Shift_JIS", utf8Page,
                   [&](std::string_view in) {
                     std::string t(in);
                     sarnavel::prepareUtf8Text(t, sarnavel::EscapeLanguage::Html);
                     return sarnavel::convertText(toSjis, t);
                   },
                   [&](std::string_view in) { return icuUtf8Sjis(in, in.size() + 16); },
                   [&](std::string_view in) { return iconvUtf8Sjis(in, in.size() + 16); }, utf8Lines, charNames, 2,
                   "UTF-8 preparation",
                   [&](std::string_view in) {
                     std::string t(in);
                     sarnavel::prepareUtf8Text(t, sarnavel::EscapeLanguage::Html);
                     return t;
                   }});
  cases.push_back({"c. Shift_JIS -> EUC-JP", sjisPage, [&](std::string_view in) { return sarnavel::convertText(toEuc, in); },
                   [&](std::string_view in) { return icuSjisEuc(in, in.size() * 2 + 16); },
                   [&](std::string_view in) { return iconvSjisEuc(in, in.size() * 2 + 16); }, sjisLines, charNames, 2});

  std::vector<Row> rows;
  for (const Case& c : cases) {
    std::printf("%s\n", c.name);
    std::string ours = c.ours(c.input), icu = c.icu(c.input), conv = c.iconv(c.input);  // warm-up and check
    reportAgreement("ICU", ours, icu, c.charLines, c.charNames, c.ours, c.icu, c.prefixBytes);
    reportAgreement("iconv", ours, conv, c.charLines, c.charNames, c.ours, c.iconv, c.prefixBytes);
    ours.clear(), ours.shrink_to_fit(), icu.clear(), icu.shrink_to_fit(), conv.clear(), conv.shrink_to_fit();

    std::vector<double> tOurs, tIcu, tIconv, tDetect, tStage;
    std::size_t sink = 0;
    // For case b the detection runs on the prepared (code page 932) text, as in the pipeline.
    std::string detectInput = c.input;
    sarnavel::prepareUtf8Text(detectInput, sarnavel::EscapeLanguage::Html);
    for (int r = 0; r < repetitions; ++r) {
      tOurs.push_back(seconds([&] { sink += c.ours(c.input).size(); }));
      tIcu.push_back(seconds([&] { sink += c.icu(c.input).size(); }));
      tIconv.push_back(seconds([&] { sink += c.iconv(c.input).size(); }));
      tDetect.push_back(seconds([&] { sink += static_cast<std::size_t>(sarnavel::detectInputEncoding(detectInput)); }));
      if (c.stage) tStage.push_back(seconds([&] { sink += c.stage(c.input).size(); }));
    }
    double mb = static_cast<double>(c.input.size()) / 1e6;
    rows.push_back({c.name, mb / median(tOurs), mb / median(tIcu), mb / median(tIconv), mb / median(tDetect)});
    std::printf("    medians: ours %.1f ms (of which, timed alone: detection %.1f ms", median(tOurs) * 1e3, median(tDetect) * 1e3);
    if (c.stage) std::printf(", %s %.1f ms", c.stageName, median(tStage) * 1e3);
    std::printf("), ICU %.1f ms, iconv %.1f ms   [checksum %zu]\n\n", median(tIcu) * 1e3, median(tIconv) * 1e3, sink);
  }

  std::printf("| case | ours MB/s | ICU MB/s | iconv MB/s | ours/ICU | ours/iconv | detection alone MB/s |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
  for (const Row& r : rows) {
    std::printf("| %s | %.0f | %.0f | %.0f | %.2f | %.2f | %.0f |\n", r.name, r.mbOurs, r.mbIcu, r.mbIconv, r.mbOurs / r.mbIcu,
                r.mbOurs / r.mbIconv, r.mbDetect);
  }
  std::printf("\nMB/s are of input bytes (1 MB = 10^6 bytes), median of %d repetitions.\n", repetitions);
  return 0;
}
