// Throughput of the byte converter against ICU, glibc iconv and encoding_rs (Firefox's
// converter) on the same bytes, in every direction between Shift_JIS, EUC-JP and UTF-8.
//
// The text is either an HTML-like page built by repeating real Japanese prose (see
// japanese_corpus.h) inside ASCII markup, or the bytes of a file (--file: real pages, in
// UTF-8, Shift_JIS or EUC-JP). Characters that do not travel unchanged through both code page
// 932 and EUC-JP become decimal character references first, as a Shift_JIS page holds them,
// so that every converter can carry the whole text and the outputs can be compared byte for
// byte; the same text is then written in the three encodings (by ICU, strictly).
//
// Directions and converters:
//   Shift_JIS -> UTF-8, EUC-JP -> UTF-8, UTF-8 -> Shift_JIS, UTF-8 -> EUC-JP, Shift_JIS -> EUC-JP
//   ours, product path   what the engine does with a file's bytes when no markup is involved
//                        (convertJavaScript: the source-encoding decision with its detection,
//                        then the UTF-8 preparation or the converter), into a fresh string
//   ours, told           convertText told the input encoding (after escapeUtf8 for UTF-8 input)
//   ICU                  ucnv_convertEx, windows-31j / EUC-JP (JIS mapping) / UTF-8
//   iconv                CP932 / EUC-JP-MS / UTF-8
//   encoding_rs          decode_to_utf8 / encode_from_utf8 of the Debian-packaged crate, built
//                        by bench/encoding_rs/build as Firefox builds it and with its
//                        fast-kanji-encode feature (none for Shift_JIS -> EUC-JP)
// The peers write into a buffer kept from one repetition to the next (their best case); ours
// returns a new string, as the product does. The converters take turns, the order rotated
// every repetition; the table gives MB/s of input bytes (1 MB = 10^6 bytes), medians, and ours
// against the fastest peer.
//
// Checks: ours told must write the same bytes as ours on the product path, and each peer the
// same bytes as ours; where a peer differs, every distinct character of the text is converted
// alone to list those that differ, each marked as one of our deliberate mappings (with why)
// or as unexpected. A table of probes (the characters and codes on which converters are known
// to part) shows what each converter does with them.
//
// Usage: converter_throughput [--file PATH] [--megabytes 32] [--repetitions 7]
//                             [--encoding-rs DIR] [--json PATH] [--no-probes]
//   (the old form `converter_throughput MEGABYTES REPETITIONS` still works)
//   --encoding-rs DIR   where firefox.so and fast-kanji.so are (default: the folder
//                       encoding_rs beside this program)
//   --json PATH         also writes the table as JSON, for bench/site
#include <dlfcn.h>
#include <iconv.h>
#include <unicode/ucnv.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/target_options.h"
#include "engine/converter.h"
#include "engine/converter_options.h"
#include "engine/encoding_decision.h"
#include "engine/escaping.h"
#include "engine/javascript_conversion.h"
#include "japanese_corpus.h"

namespace {

namespace fs = std::filesystem;

// A converter: prepares (untimed, may be empty) and converts; nothing when it refuses the
// text. The view stays valid until the next call.
struct Converter {
  std::string name;
  std::function<void(std::string_view)> prepare;
  std::function<std::optional<std::string_view>(std::string_view)> convert;
  bool peer = true;

  std::optional<std::string_view> operator()(std::string_view in) const {
    if (prepare) prepare(in);
    return convert(in);
  }
};

// ---- peers ----

// A buffer a peer keeps: grown when needed, never shrunk, so that after the first call no
// repetition pays for fresh pages.
class PeerBuffer {
 public:
  char* reserve(std::size_t bytes) {
    if (buffer_.size() < bytes) buffer_.resize(bytes);
    return buffer_.data();
  }
  std::size_t size() const { return buffer_.size(); }

 private:
  std::vector<char> buffer_;
};

std::size_t capacityFor(std::size_t inputBytes) { return inputBytes * 3 + 64; }

class IcuPeer {
 public:
  IcuPeer(const char* from, const char* to) {
    UErrorCode err = U_ZERO_ERROR;
    from_ = ucnv_open(from, &err);
    to_ = ucnv_open(to, &err);
    if (U_FAILURE(err)) {
      std::fprintf(stderr, "ICU cannot open %s -> %s: %s\n", from, to, u_errorName(err));
      std::exit(1);
    }
  }
  IcuPeer(const IcuPeer&) = delete;
  IcuPeer& operator=(const IcuPeer&) = delete;
  ~IcuPeer() {
    ucnv_close(from_);
    ucnv_close(to_);
  }
  std::optional<std::string_view> operator()(std::string_view in) {
    ucnv_resetToUnicode(from_);
    ucnv_resetFromUnicode(to_);
    char* out = buffer_.reserve(capacityFor(in.size()));
    char* target = out;
    const char* source = in.data();
    UChar* pivotSource = pivot_;
    UChar* pivotTarget = pivot_;
    UErrorCode err = U_ZERO_ERROR;
    ucnv_convertEx(to_, from_, &target, out + buffer_.size(), &source, in.data() + in.size(), pivot_, &pivotSource,
                   &pivotTarget, pivot_ + kPivot, true, true, &err);
    if (U_FAILURE(err)) return std::nullopt;
    return std::string_view(out, static_cast<std::size_t>(target - out));
  }

 private:
  static constexpr int kPivot = 16384;
  UConverter* from_ = nullptr;
  UConverter* to_ = nullptr;
  UChar pivot_[kPivot];
  PeerBuffer buffer_;
};

class IconvPeer {
 public:
  IconvPeer(const char* from, const char* to) {
    cd_ = iconv_open(to, from);
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      std::fprintf(stderr, "iconv cannot open %s -> %s\n", from, to);
      std::exit(1);
    }
  }
  IconvPeer(const IconvPeer&) = delete;
  IconvPeer& operator=(const IconvPeer&) = delete;
  ~IconvPeer() { iconv_close(cd_); }
  // Nothing when iconv stops at a character it cannot convert.
  std::optional<std::string_view> operator()(std::string_view in) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* out = buffer_.reserve(capacityFor(in.size()));
    char* source = const_cast<char*>(in.data());
    std::size_t sourceLeft = in.size();
    char* target = out;
    std::size_t targetLeft = buffer_.size();
    if (iconv(cd_, &source, &sourceLeft, &target, &targetLeft) == static_cast<std::size_t>(-1) ||
        iconv(cd_, nullptr, nullptr, &target, &targetLeft) == static_cast<std::size_t>(-1)) {
      return std::nullopt;
    }
    return std::string_view(out, static_cast<std::size_t>(target - out));
  }

 private:
  iconv_t cd_;
  PeerBuffer buffer_;
};

// One build of the encoding_rs library (bench/encoding_rs), loaded with dlopen.
class EncodingRsLibrary {
 public:
  using Function = long (*)(const char*, const unsigned char*, std::size_t, unsigned char*, std::size_t, int*);

  static std::shared_ptr<EncodingRsLibrary> open(const fs::path& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return nullptr;
    auto library = std::shared_ptr<EncodingRsLibrary>(new EncodingRsLibrary(handle));
    library->decode_ = reinterpret_cast<Function>(dlsym(handle, "sarnavel_bench_decode_to_utf8"));
    library->encode_ = reinterpret_cast<Function>(dlsym(handle, "sarnavel_bench_encode_from_utf8"));
    if (!library->decode_ || !library->encode_) return nullptr;
    return library;
  }
  EncodingRsLibrary(const EncodingRsLibrary&) = delete;
  EncodingRsLibrary& operator=(const EncodingRsLibrary&) = delete;
  ~EncodingRsLibrary() { dlclose(handle_); }
  Function decode() const { return decode_; }
  Function encode() const { return encode_; }

 private:
  explicit EncodingRsLibrary(void* handle) : handle_(handle) {}
  void* handle_;
  Function decode_ = nullptr;
  Function encode_ = nullptr;
};

class EncodingRsPeer {
 public:
  EncodingRsPeer(std::shared_ptr<EncodingRsLibrary> library, std::string label, bool encode)
      : library_(std::move(library)), label_(std::move(label)), encode_(encode) {}
  std::optional<std::string_view> operator()(std::string_view in) {
    char* out = buffer_.reserve(capacityFor(in.size()));
    int replaced = 0;
    long n = (encode_ ? library_->encode() : library_->decode())(
        label_.c_str(), reinterpret_cast<const unsigned char*>(in.data()), in.size(),
        reinterpret_cast<unsigned char*>(out), buffer_.size(), &replaced);
    if (n < 0) return std::nullopt;
    return std::string_view(out, static_cast<std::size_t>(n));
  }

 private:
  std::shared_ptr<EncodingRsLibrary> library_;
  std::string label_;
  bool encode_;
  PeerBuffer buffer_;
};

template <typename Peer, typename... Args>
Converter peer(std::string name, Args&&... args) {
  auto p = std::make_shared<Peer>(std::forward<Args>(args)...);
  return {std::move(name), nullptr, [p](std::string_view in) { return (*p)(in); }, true};
}

// ---- ours ----

enum class Encoding { ShiftJis, EucJp, Utf8 };

const char* nameOf(Encoding e) {
  return e == Encoding::ShiftJis ? "Shift_JIS" : e == Encoding::EucJp ? "EUC-JP" : "UTF-8";
}

// The engine's target for a file conversion.
sarnavel::TargetChoice productOptions(Encoding target) {
  sarnavel::TargetChoice options;
  options.targetEncoding = target == Encoding::ShiftJis ? sarnavel::TargetEncoding::ShiftJis
                           : target == Encoding::EucJp  ? sarnavel::TargetEncoding::EucJp
                                                        : sarnavel::TargetEncoding::Utf8;
  return options;
}

// What the engine does with a file's bytes when no markup is involved. The copy of the input
// (the file's bytes as read) is made before the clock starts.
Converter oursProduct(Encoding target) {
  struct State {
    sarnavel::TargetChoice options;
    std::string text;
  };
  auto s = std::make_shared<State>();
  s->options = productOptions(target);
  return {"ours, product path", [s](std::string_view in) { s->text.assign(in); },
          [s](std::string_view) -> std::optional<std::string_view> {
            (void)sarnavel::convertJavaScript(s->text, s->options);
            return std::string_view(s->text);
          },
          false};
}

// The converter told what the input is.
Converter oursTold(Encoding source, Encoding target) {
  struct State {
    sarnavel::ConverterOptions options;
    std::string result;
    bool utf8Input = false;
  };
  auto s = std::make_shared<State>();
  s->options = sarnavel::parseConverterOptions(target == Encoding::ShiftJis ? "-s -x"
                                               : target == Encoding::EucJp  ? "-e -x"
                                                                            : "-w -w80 -x");
  s->options.escapeLanguage = sarnavel::EscapeLanguage::Html;
  s->options.inputEncoding =
      source == Encoding::EucJp ? sarnavel::InputEncoding::EucJp : sarnavel::InputEncoding::ShiftJis;
  s->utf8Input = source == Encoding::Utf8;
  return {"ours, told", nullptr,
          [s](std::string_view in) -> std::optional<std::string_view> {
            s->result = s->utf8Input ? sarnavel::convertText(s->options,
                                                             sarnavel::escapeUtf8(sarnavel::EscapeLanguage::Html, in))
                                     : sarnavel::convertText(s->options, in);
            return std::string_view(s->result);
          },
          false};
}

// ---- the text ----

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
        case 1: page += "<p>" + text + "<br>\n<span class=\"note\">(" + id + ")</span></p>\n"; break;
        case 2:
          page += "<ul>\n<li><a href=\"#e" + id + "\" title=\"" + escapeMarkup(prefixCharacters(m, 8)) + "\">" + text +
                  "</a></li>\n</ul>\n";
          break;
        default: page += "<p>" + text + "</p>\n</div>\n"; break;
      }
      ++n;
      if (page.size() >= bytes) break;
    }
  }
  page += "</body>\n</html>\n";
  return page;
}

bool isValidUtf8(std::string_view s) {
  UErrorCode err = U_ZERO_ERROR;
  int32_t length = 0;
  u_strFromUTF8(nullptr, 0, &length, s.data(), static_cast<int32_t>(s.size()), &err);
  return err == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(err);
}

// The text of bytes in an ICU encoding, or nothing when a byte forms no character.
std::optional<std::string> decodeStrictly(const char* encoding, std::string_view bytes) {
  UErrorCode err = U_ZERO_ERROR;
  UConverter* c = ucnv_open(encoding, &err);
  ucnv_setToUCallBack(c, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  std::u16string wide(bytes.size() + 16, u'\0');
  int32_t n = ucnv_toUChars(c, wide.data(), static_cast<int32_t>(wide.size()), bytes.data(),
                            static_cast<int32_t>(bytes.size()), &err);
  ucnv_close(c);
  if (U_FAILURE(err)) return std::nullopt;
  wide.resize(static_cast<std::size_t>(n));
  return bench::utf16ToUtf8(wide);
}

// The file's text as UTF-8: the file is taken as UTF-8, else Shift_JIS, else EUC-JP.
std::optional<std::string> readTextFile(const fs::path& path, std::string& encodingFound) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (isValidUtf8(bytes)) {
    encodingFound = "UTF-8";
    return bytes;
  }
  for (const char* e : {"windows-31j", "EUC-JP"}) {
    if (auto text = decodeStrictly(e, bytes)) {
      encodingFound = e;
      return text;
    }
  }
  return std::nullopt;
}

// Characters that travel unchanged through both code page 932 and EUC-JP stay; the others
// (and UTF-8 BOMs, control characters but TAB, LF and CR) become decimal references.
std::string commonText(std::string_view utf8, bench::IcuCodec& sjis, bench::IcuCodec& euc, std::size_t& replaced) {
  std::unordered_map<char32_t, bool> keeps;
  std::string out;
  out.reserve(utf8.size());
  replaced = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t start = i;
    const char32_t c = bench::nextCodePoint(utf8, i);
    if (c < 0x80) {
      bool control = (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
      if (!control) {
        out += static_cast<char>(c);
        continue;
      }
    }
    auto [it, fresh] = keeps.try_emplace(c, false);
    if (fresh) {
      std::string one(utf8.substr(start, i - start));
      // A round trip, not just an encoding: ICU drops default-ignorable characters (U+00AD,
      // U+200E) without a word.
      auto travels = [&](bench::IcuCodec& codec) {
        auto encoded = codec.encode(one);
        return encoded && !encoded->empty() && codec.decode(*encoded) == one;
      };
      it->second = c >= 0x80 && c != 0xFEFF && travels(sjis) && travels(euc);
    }
    if (it->second) {
      out.append(utf8.substr(start, i - start));
    } else {
      out += "&#" + std::to_string(static_cast<unsigned long>(c)) + ";";
      ++replaced;
    }
  }
  return out;
}

// ---- timing ----

double seconds(const std::function<void()>& f) {
  auto start = std::chrono::steady_clock::now();
  f();
  std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
  return d.count();
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// ---- deliberate differences ----

// Characters on which our mapping parts from some peer on purpose, with why. Going to EUC-JP
// ours passes through the code page 932 table too, so the same holds there.
const char* deliberateReason(char32_t c) {
  if (c == 0xA5 || c == 0x203E)
    return "code page 932 has no place for it (5C and 7E are the backslash and the tilde): ours escapes it rather than "
           "write another character";
  if (c >= 0xE000 && c <= 0xE757)
    return "user-defined: ours keeps F040-F9FC <-> U+E000-U+E757 both ways in Shift_JIS; EUC-JP has no place for them "
           "(escaped)";
  switch (c) {
    case 0x2212:
      return "code page 932 has only the look-alike U+FF0D: ours escapes it rather than write another character";
    case 0x301C:
      return "code page 932 has only the look-alike U+FF5E: ours escapes it rather than write another character";
    case 0x2016:
      return "code page 932 has only the look-alike U+2225: ours escapes it rather than write another character";
    case 0x00AC:
      return "code page 932 has only the look-alike U+FFE2: ours escapes it rather than write another character";
    case 0x2014:
      return "code page 932 has only the look-alike U+2015: ours escapes it rather than write another character";
    case 0x00A2:
      return "code page 932 has only the look-alike U+FFE0: ours escapes it rather than write another character";
    case 0x00A3:
      return "code page 932 has only the look-alike U+FFE1: ours escapes it rather than write another character";
    default: return nullptr;
  }
}

std::string codePointName(char32_t c) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(c));
  return name;
}

std::string utf8Of(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// Bytes for a reader: UTF-8 as code points, other bytes in hex, ASCII text as it is.
std::string show(std::optional<std::string_view> bytes, Encoding encoding) {
  if (!bytes) return "(refused)";
  if (bytes->empty()) return "(nothing)";
  bool printable = std::all_of(bytes->begin(), bytes->end(), [](char c) { return c >= 0x20 && c < 0x7F; });
  if (printable) return "`" + std::string(*bytes) + "`";
  if (encoding == Encoding::Utf8 && isValidUtf8(*bytes)) {
    std::string out;
    for (std::size_t i = 0; i < bytes->size();) {
      if (!out.empty()) out += ' ';
      out += codePointName(bench::nextCodePoint(*bytes, i));
    }
    return out;
  }
  return bench::hexBytes(*bytes);
}

// ---- directions ----

struct Direction {
  Encoding from, to;
  std::vector<Converter> converters;  // ours first, then the peers
  std::string name() const { return std::string(nameOf(from)) + " -> " + nameOf(to); }
};

struct Texts {
  std::string utf8, sjis, euc;
  const std::string& in(Encoding e) const { return e == Encoding::Utf8 ? utf8 : e == Encoding::ShiftJis ? sjis : euc; }
};

struct Libraries {
  std::shared_ptr<EncodingRsLibrary> firefox, fastKanji;
};

const char* icuName(Encoding e) {
  return e == Encoding::ShiftJis ? "windows-31j" : e == Encoding::EucJp ? "EUC-JP" : "UTF-8";
}
const char* iconvName(Encoding e) {
  return e == Encoding::ShiftJis ? "CP932" : e == Encoding::EucJp ? "EUC-JP-MS" : "UTF-8";
}

std::vector<Direction> directions(const Libraries& libraries) {
  const std::pair<Encoding, Encoding> pairs[] = {{Encoding::ShiftJis, Encoding::Utf8},
                                                 {Encoding::EucJp, Encoding::Utf8},
                                                 {Encoding::Utf8, Encoding::ShiftJis},
                                                 {Encoding::Utf8, Encoding::EucJp},
                                                 {Encoding::ShiftJis, Encoding::EucJp}};
  std::vector<Direction> out;
  for (auto [from, to] : pairs) {
    Direction d{from, to, {}};
    d.converters.push_back(oursProduct(to));
    d.converters.push_back(oursTold(from, to));
    d.converters.push_back(peer<IcuPeer>("ICU", icuName(from), icuName(to)));
    d.converters.push_back(peer<IconvPeer>("iconv", iconvName(from), iconvName(to)));
    const bool decode = to == Encoding::Utf8, encode = from == Encoding::Utf8;
    if (decode || encode) {
      const char* label = nameOf(decode ? from : to);
      if (libraries.firefox)
        d.converters.push_back(peer<EncodingRsPeer>("encoding_rs", libraries.firefox, label, encode));
      if (libraries.fastKanji)
        d.converters.push_back(peer<EncodingRsPeer>("encoding_rs fast-kanji", libraries.fastKanji, label, encode));
    }
    out.push_back(std::move(d));
  }
  return out;
}

// The distinct characters of the text (but LF), each alone on a line after a prefix of plain
// Japanese that keeps the detection sure, in UTF-8.
struct CharacterLines {
  std::vector<char32_t> characters;
  std::string utf8;
};
const std::string kPrefix = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x96\x87\xE5\xAD\x97";  // 日本語の文字

CharacterLines characterLines(const std::string& utf8) {
  std::set<char32_t> distinct;
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t c = bench::nextCodePoint(utf8, i);
    if (c != '\n' && c != '\r') distinct.insert(c);
  }
  CharacterLines lines;
  for (char32_t c : distinct) {
    lines.characters.push_back(c);
    lines.utf8 += kPrefix + utf8Of(c) + "\n";
  }
  return lines;
}

std::vector<std::string_view> splitLines(std::string_view s) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (std::size_t i; (i = s.find('\n', start)) != std::string_view::npos; start = i + 1)
    out.push_back(s.substr(start, i - start));
  return out;
}

struct Agreement {
  bool same = true;
  std::size_t deliberate = 0, unexpected = 0;
};

// Compares a peer's output with ours; on a difference lists the characters that differ.
Agreement compare(const Direction& d, const Converter& ours, const Converter& other, std::string_view oursOut,
                  std::optional<std::string_view> otherOut, const CharacterLines& lines, const std::string& linesIn,
                  const std::string& prefixIn) {
  Agreement a;
  if (otherOut && *otherOut == oursOut) {
    std::printf("    %-24s same bytes as ours (%zu)\n", other.name.c_str(), oursOut.size());
    return a;
  }
  a.same = false;
  if (!otherOut) {
    std::printf("    %-24s refused the text\n", other.name.c_str());
  } else {
    std::size_t at = 0;
    while (at < oursOut.size() && at < otherOut->size() && oursOut[at] == (*otherOut)[at]) ++at;
    std::printf("    %-24s DIFFERENT bytes (ours %zu, %zu); first difference at output byte %zu\n", other.name.c_str(),
                oursOut.size(), otherOut->size(), at);
  }
  std::string oursLines(ours(linesIn).value_or(""));
  std::optional<std::string_view> otherLinesView = other(linesIn);
  std::string otherLines(otherLinesView.value_or(""));
  auto a1 = splitLines(oursLines), b1 = splitLines(otherLines);
  if (a1.size() != lines.characters.size() || b1.size() != lines.characters.size()) {
    std::printf("      (no per-character list: %zu / %zu lines for %zu characters)\n", a1.size(), b1.size(),
                lines.characters.size());
    a.unexpected = 1;
    return a;
  }
  const std::size_t prefixOut = ours(prefixIn).value_or("").size();
  for (std::size_t k = 0; k < a1.size(); ++k) {
    if (a1[k] == b1[k]) continue;
    const char32_t c = lines.characters[k];
    const char* why = deliberateReason(c);
    (why ? a.deliberate : a.unexpected) += 1;
    if (a.deliberate + a.unexpected <= 16) {
      std::printf("      %s %s: ours %s, %s %s  [%s]\n", codePointName(c).c_str(), utf8Of(c).c_str(),
                  show(a1[k].substr(std::min(prefixOut, a1[k].size())), d.to).c_str(), other.name.c_str(),
                  show(b1[k].substr(std::min(prefixOut, b1[k].size())), d.to).c_str(), why ? why : "UNEXPECTED");
    }
  }
  std::printf("      %zu of %zu distinct characters differ: %zu deliberate, %zu unexpected\n",
              a.deliberate + a.unexpected, lines.characters.size(), a.deliberate, a.unexpected);
  return a;
}

struct Row {
  std::string direction;
  double megabytes = 0;
  std::vector<std::pair<std::string, double>> mbps;  // converter name, MB/s (0: refused)
  bool agree = true;
  std::size_t unexpected = 0;
  std::string fastestPeer;
  double fastest = 0, product = 0, told = 0;
};

// ---- probes ----

struct Probe {
  std::string input;  // in the direction's input encoding
  std::string label;  // what a reader sees in the table
  const char* note;   // ours on purpose, or nothing
};

std::string bytes(std::initializer_list<unsigned> values) {
  std::string out;
  for (unsigned v : values) out += static_cast<char>(v);
  return out;
}

std::vector<Probe> probesFor(Encoding from) {
  std::vector<Probe> out;
  if (from == Encoding::Utf8) {
    for (char32_t c :
         {0x5CU, 0x7EU,   0xA5U,   0x203EU, 0x2212U, 0xFF0DU, 0xFF5EU, 0x301CU, 0x2225U, 0x2016U, 0xACU,   0xFFE2U,
          0xA2U, 0xFFE0U, 0x2014U, 0x2015U, 0x2460U, 0x2170U, 0x7E8AU, 0xE000U, 0xE757U, 0x20ACU, 0x1F600U}) {
      out.push_back({utf8Of(c), codePointName(c) + " " + utf8Of(c), deliberateReason(c)});
    }
    return out;
  }
  if (from == Encoding::ShiftJis) {
    const char* pua = "user-defined: ours reads F040-F9FC as U+E000-U+E757 and writes them back";
    const char* broken = "bytes that form no character: ours writes the escape of U+FFFD in the document's language";
    out = {{bytes({0x5C}), "5C", nullptr},
           {bytes({0x7E}), "7E", nullptr},
           {bytes({0x81, 0x5C}), "81 5C", nullptr},
           {bytes({0x81, 0x60}), "81 60", nullptr},
           {bytes({0x81, 0x61}), "81 61", nullptr},
           {bytes({0x81, 0x7C}), "81 7C", nullptr},
           {bytes({0x81, 0xCA}), "81 CA", nullptr},
           {bytes({0x87, 0x40}), "87 40 (NEC row 13)", nullptr},
           {bytes({0x87, 0x90}), "87 90 (NEC duplicate)", nullptr},
           {bytes({0xED, 0x40}), "ED 40 (NEC-selected IBM)", nullptr},
           {bytes({0xFA, 0x40}), "FA 40 (IBM)", nullptr},
           {bytes({0xFA, 0x5C}), "FA 5C (IBM)", nullptr},
           {bytes({0xF0, 0x40}), "F0 40", pua},
           {bytes({0xF9, 0xFC}), "F9 FC", pua},
           {bytes({0xA0}), "A0", broken},
           {bytes({0xFD}), "FD", broken},
           {bytes({0x81, 0x20}), "81 20 (broken pair)", broken}};
    return out;
  }
  const char* broken = "bytes that form no character: ours writes the escape of U+FFFD in the document's language";
  const char* lacks = "going to UTF-8 ours escapes what code page 932 lacks: the page shows the same character";
  out = {{bytes({0x5C}), "5C", nullptr},
         {bytes({0x7E}), "7E", nullptr},
         {bytes({0xA1, 0xC1}), "A1 C1", nullptr},
         {bytes({0xA1, 0xC2}), "A1 C2", nullptr},
         {bytes({0xA1, 0xDD}), "A1 DD", nullptr},
         {bytes({0xA2, 0xCC}), "A2 CC", nullptr},
         {bytes({0xA1, 0xBD}), "A1 BD", nullptr},
         {bytes({0xAD, 0xA1}), "AD A1 (NEC row 13)", nullptr},
         {bytes({0x8E, 0xB1}), "8E B1 (half-width)", nullptr},
         {bytes({0x8F, 0xA2, 0xB7}), "8F A2 B7 (JIS X 0212)", nullptr},
         {bytes({0x8F, 0xB0, 0xA1}), "8F B0 A1 (JIS X 0212)", lacks},
         {bytes({0xF5, 0xA1}), "F5 A1 (user-defined)", broken},
         {bytes({0xA9, 0xA1}), "A9 A1 (unassigned)", broken},
         {bytes({0x8E, 0x20}), "8E 20 (broken pair)", broken}};
  return out;
}

void printProbes(std::vector<Direction>& ds, bench::IcuCodec& sjis, bench::IcuCodec& euc) {
  std::printf("\nProbes: what each converter writes for characters and codes on which converters part\n");
  std::printf("(each probe converted alone after %s; ours told the encoding, with the escapes of a page)\n\n",
              "\"日本語の文字\"");
  for (Direction& d : ds) {
    if (d.from == Encoding::ShiftJis && d.to == Encoding::EucJp) continue;
    std::printf("%s\n\n| input |", d.name().c_str());
    std::vector<const Converter*> shown;
    for (const Converter& c : d.converters) {
      if (c.name == "ours, product path") continue;
      shown.push_back(&c);
      std::printf(" %s |", c.name == "ours, told" ? "ours" : c.name.c_str());
    }
    std::printf(" note |\n|---|");
    for (std::size_t k = 0; k < shown.size(); ++k) std::printf("---|");
    std::printf("---|\n");
    const std::string prefix = d.from == Encoding::Utf8       ? kPrefix
                               : d.from == Encoding::ShiftJis ? *sjis.encode(kPrefix)
                                                              : *euc.encode(kPrefix);
    std::string prefixOut(shown[0]->operator()(prefix).value_or(""));
    for (const Probe& p : probesFor(d.from)) {
      std::printf("| %s |", p.label.c_str());
      std::optional<std::string> oursOut;
      std::vector<std::string> differs;
      for (const Converter* c : shown) {
        auto out = (*c)(prefix + p.input + "\n");
        std::optional<std::string> text;
        if (out) text = std::string(*out);
        if (text && text->size() >= prefixOut.size() + 1 && text->compare(0, prefixOut.size(), prefixOut) == 0) {
          *text = text->substr(prefixOut.size(), text->size() - prefixOut.size() - 1);
        }
        if (c == shown[0]) oursOut = text;
        else if (text != oursOut) differs.push_back(c->name);
        std::printf(" %s |", show(text ? std::optional<std::string_view>(*text) : std::nullopt, d.to).c_str());
      }
      std::string verdict = differs.empty() ? "all agree" : "differs: ";
      for (std::size_t k = 0; k < differs.size(); ++k) verdict += (k ? ", " : "") + differs[k];
      if (p.note && !differs.empty()) verdict += std::string("; ours on purpose: ") + p.note;
      std::printf(" %s |\n", verdict.c_str());
    }
    std::printf("\n");
  }
}

struct Arguments {
  std::string file;
  std::size_t megabytes = 32;
  int repetitions = 7;
  fs::path encodingRs;
  std::string json;
  bool probes = true;
};

Arguments parseArguments(int argc, char** argv) {
  Arguments a;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "converter_throughput: %s needs a value\n", arg.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--file") a.file = value();
    else if (arg == "--megabytes") a.megabytes = std::strtoul(value().c_str(), nullptr, 10);
    else if (arg == "--repetitions") a.repetitions = std::max(1, std::atoi(value().c_str()));
    else if (arg == "--encoding-rs") a.encodingRs = value();
    else if (arg == "--json") a.json = value();
    else if (arg == "--no-probes") a.probes = false;
    else if (!arg.starts_with("--")) positional.push_back(arg);
    else {
      std::fprintf(stderr, "converter_throughput: unknown option %s\n", arg.c_str());
      std::exit(2);
    }
  }
  if (positional.size() > 0) a.megabytes = std::strtoul(positional[0].c_str(), nullptr, 10);
  if (positional.size() > 1) a.repetitions = std::max(1, std::atoi(positional[1].c_str()));
  if (a.encodingRs.empty()) {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) a.encodingRs = fs::path(std::string(self, static_cast<std::size_t>(n))).parent_path() / "encoding_rs";
  }
  return a;
}

std::string jsonString(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  const Arguments args = parseArguments(argc, argv);
  bench::IcuCodec sjisCodec("windows-31j"), eucCodec("EUC-JP");

  std::string source, origin;
  if (!args.file.empty()) {
    std::string found;
    auto text = readTextFile(args.file, found);
    if (!text) {
      std::fprintf(stderr, "converter_throughput: %s is neither UTF-8, Shift_JIS nor EUC-JP\n", args.file.c_str());
      return 1;
    }
    source = std::move(*text);
    origin = args.file + " (" + found + ")";
  } else {
    std::vector<bench::Catalog> catalogs = bench::loadJapaneseCatalogs();
    if (catalogs.empty()) {
      bench::reportMissingCorpus();
      return 0;
    }
    source = buildPage(bench::allMessages(catalogs), args.megabytes * 1000 * 1000);
    origin = "a page of " + std::to_string(catalogs.size()) + " Japanese catalogs";
  }
  Texts texts;
  std::size_t replaced = 0;
  texts.utf8 = commonText(source, sjisCodec, eucCodec, replaced);
  source.clear();
  source.shrink_to_fit();
  texts.sjis = *sjisCodec.encode(texts.utf8);
  texts.euc = *eucCodec.encode(texts.utf8);
  const auto high =
      static_cast<std::size_t>(std::count_if(texts.sjis.begin(), texts.sjis.end(), [](char c) { return c & 0x80; }));
  std::printf("Text: %s; %zu characters that code page 932 or EUC-JP cannot hold written as references\n",
              origin.c_str(), replaced);
  std::printf(
      "      %.1f MB as UTF-8, %.1f MB as Shift_JIS (%.0f%% of its bytes >= 0x80), %.1f MB as EUC-JP; %d repetitions\n",
      static_cast<double>(texts.utf8.size()) / 1e6, static_cast<double>(texts.sjis.size()) / 1e6,
      100.0 * static_cast<double>(high) / static_cast<double>(std::max<std::size_t>(1, texts.sjis.size())),
      static_cast<double>(texts.euc.size()) / 1e6, args.repetitions);

  Libraries libraries{EncodingRsLibrary::open(args.encodingRs / "firefox.so"),
                      EncodingRsLibrary::open(args.encodingRs / "fast-kanji.so")};
  std::printf("encoding_rs: %s\n\n", libraries.firefox
                                         ? (args.encodingRs.string() + "/{firefox,fast-kanji}.so").c_str()
                                         : "n/a (not built: bench/encoding_rs/build BUILD_DIR, needs cargo)");

  std::vector<Direction> ds = directions(libraries);
  const CharacterLines lines = characterLines(texts.utf8);
  const Texts lineTexts{lines.utf8, *sjisCodec.encode(lines.utf8), *eucCodec.encode(lines.utf8)};
  const Texts prefixes{kPrefix, *sjisCodec.encode(kPrefix), *eucCodec.encode(kPrefix)};
  std::vector<Row> rows;
  for (Direction& d : ds) {
    const std::string& input = texts.in(d.from);
    std::printf("%s\n", d.name().c_str());
    // Warm-up and checks.
    std::vector<std::optional<std::string>> outputs;
    for (const Converter& c : d.converters) {
      auto out = c(input);
      outputs.push_back(out ? std::optional<std::string>(*out) : std::nullopt);
    }
    Row row{d.name(), static_cast<double>(input.size()) / 1e6, {}, true, 0, "", 0, 0, 0};
    const std::string oursOut = outputs[0].value_or("");
    for (std::size_t k = 1; k < d.converters.size(); ++k) {
      Agreement a = compare(d, d.converters[0], d.converters[k], oursOut, outputs[k], lines, lineTexts.in(d.from),
                            prefixes.in(d.from));
      row.agree = row.agree && (a.unexpected == 0);
      row.unexpected += a.unexpected;
    }
    outputs.clear();

    std::vector<std::vector<double>> times(d.converters.size());
    std::vector<bool> refused(d.converters.size(), false);
    std::size_t sink = 0;
    for (int r = 0; r < args.repetitions; ++r) {
      for (std::size_t j = 0; j < d.converters.size(); ++j) {
        const std::size_t k = (j + static_cast<std::size_t>(r)) % d.converters.size();
        const Converter& c = d.converters[k];
        if (c.prepare) c.prepare(input);
        std::optional<std::string_view> out;
        times[k].push_back(seconds([&] { out = c.convert(input); }));
        if (out) sink += out->size();
        else refused[k] = true;
      }
    }
    std::printf("    medians (ms):");
    for (std::size_t k = 0; k < d.converters.size(); ++k) {
      const double t = median(times[k]);
      const double mbps = refused[k] ? 0 : row.megabytes / t;
      row.mbps.emplace_back(d.converters[k].name, mbps);
      std::printf(" %s %.1f%s;", d.converters[k].name.c_str(), t * 1e3, refused[k] ? " (refused)" : "");
      if (d.converters[k].peer && mbps > row.fastest) {
        row.fastest = mbps;
        row.fastestPeer = d.converters[k].name;
      }
    }
    row.product = row.mbps[0].second;
    row.told = row.mbps[1].second;
    std::printf("   [checksum %zu]\n\n", sink);
    rows.push_back(row);
  }

  std::printf(
      "| direction | input MB | ours, product path | ours, told | ICU | iconv | encoding_rs | encoding_rs fast-kanji | "
      "fastest peer | product / fastest | told / fastest | outputs |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---|---:|---:|---|\n");
  for (const Row& r : rows) {
    auto cell = [&](const char* name) {
      for (const auto& [n, v] : r.mbps) {
        if (n == name) return v > 0 ? std::to_string(static_cast<long>(v + 0.5)) : std::string("refused");
      }
      return std::string("n/a");
    };
    std::printf("| %s | %.1f | %s | %s | %s | %s | %s | %s | %s | %.2f | %.2f | %s |\n", r.direction.c_str(),
                r.megabytes, cell("ours, product path").c_str(), cell("ours, told").c_str(), cell("ICU").c_str(),
                cell("iconv").c_str(), cell("encoding_rs").c_str(), cell("encoding_rs fast-kanji").c_str(),
                r.fastestPeer.c_str(), r.product / r.fastest, r.told / r.fastest,
                r.agree ? "agree" : "UNEXPECTED differences");
  }
  std::printf(
      "\nMB/s of input bytes, medians of %d repetitions. \"outputs\": every converter wrote the same bytes as ours, "
      "or differs only where ours maps a character differently on purpose (listed above).\n",
      args.repetitions);

  if (args.probes) printProbes(ds, sjisCodec, eucCodec);

  if (!args.json.empty()) {
    std::ofstream out(args.json);
    out << "{\"text\": " << jsonString(origin) << ", \"encoding_rs\": " << (libraries.firefox ? "true" : "false")
        << ", \"repetitions\": " << args.repetitions << ", \"directions\": [";
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const Row& r = rows[i];
      out << (i ? ", " : "") << "{\"direction\": " << jsonString(r.direction) << ", \"megabytes\": " << r.megabytes
          << ", \"mbps\": {";
      for (std::size_t k = 0; k < r.mbps.size(); ++k)
        out << (k ? ", " : "") << jsonString(r.mbps[k].first) << ": " << r.mbps[k].second;
      out << "}, \"fastest_peer\": " << jsonString(r.fastestPeer) << ", \"product_ratio\": " << r.product / r.fastest
          << ", \"told_ratio\": " << r.told / r.fastest << ", \"agree\": " << (r.agree ? "true" : "false") << "}";
    }
    out << "]}\n";
  }
  return 0;
}
