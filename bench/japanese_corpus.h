// Real Japanese prose for the benchmarks: the Japanese translations of free software that
// Debian installs as gettext catalogs (/usr/share/locale/ja/LC_MESSAGES/*.mo).
//
// A .mo file starts with the magic 0x950412de (in the byte order of the file), a revision, the
// count N of messages, the offset of the table of originals and the offset of the table of
// translations. Each table entry is two 32-bit words, length and offset. Entry 0 is the
// catalog header and is skipped. A translation holds its plural forms separated by zero
// bytes; each form is taken as a message of its own.
//
// Kept are the translations that contain Japanese (hiragana, katakana or a CJK ideograph) and
// no control character other than line feed and tab; each distinct text is kept once, in the
// catalog where it is first met.
//
// Header-only; uses ICU's C API for the legacy encodings.
#pragma once

#include <unicode/ucnv.h>
#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace bench {

inline const char* const kCatalogDirectory = "/usr/share/locale/ja/LC_MESSAGES";

struct Catalog {
  std::string name;                   // file name, e.g. "apt.mo"
  std::vector<std::string> messages;  // UTF-8
};

// Decodes one code point of valid UTF-8 at s[i] and advances i.
inline char32_t nextCodePoint(std::string_view s, std::size_t& i) {
  auto b = static_cast<unsigned char>(s[i]);
  int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
  char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
  ++i;
  for (int k = 0; k < extra && i < s.size(); ++k, ++i) c = (c << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
  return c;
}

inline bool isJapaneseCodePoint(char32_t c) {
  return (c >= 0x3040 && c <= 0x30FF) ||  // hiragana, katakana
         (c >= 0x4E00 && c <= 0x9FFF) ||  // CJK unified ideographs
         (c >= 0xFF61 && c <= 0xFF9F);    // half-width katakana
}

inline bool isHalfWidthKatakana(char32_t c) { return c >= 0xFF61 && c <= 0xFF9F; }

// Valid UTF-8, some Japanese, and no control characters but LF and TAB.
inline bool isUsableMessage(std::string_view s) {
  if (s.empty()) return false;
  UErrorCode err = U_ZERO_ERROR;
  int32_t length = 0;
  u_strFromUTF8(nullptr, 0, &length, s.data(), static_cast<int32_t>(s.size()), &err);
  if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return false;
  bool japanese = false;
  for (std::size_t i = 0; i < s.size();) {
    char32_t c = nextCodePoint(s, i);
    if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F || (c >= 0x80 && c < 0xA0)) return false;
    if (isJapaneseCodePoint(c)) japanese = true;
  }
  return japanese;
}

namespace detail {

inline std::uint32_t word(const std::string& data, std::size_t at, bool swap) {
  if (at + 4 > data.size()) throw std::runtime_error("truncated .mo file");
  std::uint32_t w = 0;
  for (int k = 3; k >= 0; --k) w = (w << 8) | static_cast<unsigned char>(data[at + static_cast<std::size_t>(k)]);
  if (swap) w = (w >> 24) | ((w >> 8) & 0xFF00) | ((w << 8) & 0xFF0000) | (w << 24);
  return w;
}

// The translations of one .mo file (plural forms split), or nothing when it is not one.
inline std::optional<std::vector<std::string>> readMoTranslations(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  try {
    if (data.size() < 28) return std::nullopt;
    bool swap = false;
    std::uint32_t magic = word(data, 0, false);
    if (magic == 0xde120495u) swap = true;
    else if (magic != 0x950412deu) return std::nullopt;
    std::uint32_t count = word(data, 8, swap);
    std::uint32_t translations = word(data, 16, swap);
    std::vector<std::string> out;
    for (std::uint32_t n = 1; n < count; ++n) {  // entry 0 is the catalog header
      std::size_t entry = translations + static_cast<std::size_t>(n) * 8;
      std::uint32_t length = word(data, entry, swap);
      std::uint32_t offset = word(data, entry + 4, swap);
      if (static_cast<std::size_t>(offset) + length > data.size()) return std::nullopt;
      std::string_view text(data.data() + offset, length);
      std::size_t start = 0;
      while (start <= text.size()) {
        std::size_t stop = text.find('\0', start);
        if (stop == std::string_view::npos) stop = text.size();
        if (stop > start) out.emplace_back(text.substr(start, stop - start));
        start = stop + 1;
      }
    }
    return out;
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
}

}  // namespace detail

// All catalogs with at least one usable message, in file-name order. Empty when there are
// none (the directory is missing on this machine).
inline std::vector<Catalog> loadJapaneseCatalogs(const std::string& directory = kCatalogDirectory) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(directory, ec)) {
    if (entry.path().extension() == ".mo") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::unordered_set<std::string> seen;
  std::vector<Catalog> catalogs;
  for (const auto& file : files) {
    auto translations = detail::readMoTranslations(file);
    if (!translations) continue;
    Catalog catalog{file.filename().string(), {}};
    for (auto& text : *translations) {
      if (isUsableMessage(text) && seen.insert(text).second) catalog.messages.push_back(std::move(text));
    }
    if (!catalog.messages.empty()) catalogs.push_back(std::move(catalog));
  }
  return catalogs;
}

// The messages of all catalogs, in order.
inline std::vector<std::string> allMessages(const std::vector<Catalog>& catalogs) {
  std::vector<std::string> out;
  for (const auto& c : catalogs) out.insert(out.end(), c.messages.begin(), c.messages.end());
  return out;
}

// The messages joined by line feeds.
inline std::string joinMessages(const std::vector<std::string>& messages) {
  std::string out;
  for (const auto& m : messages) {
    out += m;
    out += '\n';
  }
  return out;
}

// The message printed when the catalogs are missing; the benchmarks then exit with 0.
inline void reportMissingCorpus() {
  std::printf("No Japanese gettext catalogs found in %s (package translations not installed?).\n", kCatalogDirectory);
  std::printf("Nothing to measure; install some packages with Japanese translations and run again.\n");
}

inline std::u16string utf8ToUtf16(std::string_view utf8) {
  UErrorCode err = U_ZERO_ERROR;
  int32_t length = 0;
  u_strFromUTF8(nullptr, 0, &length, utf8.data(), static_cast<int32_t>(utf8.size()), &err);
  std::u16string out(static_cast<std::size_t>(length), u'\0');
  err = U_ZERO_ERROR;
  u_strFromUTF8(out.data(), length, nullptr, utf8.data(), static_cast<int32_t>(utf8.size()), &err);
  if (U_FAILURE(err)) throw std::runtime_error("invalid UTF-8");
  return out;
}

inline std::string utf16ToUtf8(std::u16string_view text) {
  UErrorCode err = U_ZERO_ERROR;
  int32_t length = 0;
  u_strToUTF8(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), &err);
  std::string out(static_cast<std::size_t>(length), '\0');
  err = U_ZERO_ERROR;
  u_strToUTF8(out.data(), length, nullptr, text.data(), static_cast<int32_t>(text.size()), &err);
  if (U_FAILURE(err)) throw std::runtime_error("invalid UTF-16");
  return out;
}

// An ICU legacy encoding used strictly: encoding fails on a character the encoding cannot
// hold by round trip (no substitution, no best fit).
class IcuCodec {
 public:
  explicit IcuCodec(const char* name) {
    UErrorCode err = U_ZERO_ERROR;
    converter_ = ucnv_open(name, &err);
    if (U_FAILURE(err)) throw std::runtime_error(std::string("ICU has no converter ") + name);
    ucnv_setFromUCallBack(converter_, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    ucnv_setFallback(converter_, false);
  }
  IcuCodec(const IcuCodec&) = delete;
  IcuCodec& operator=(const IcuCodec&) = delete;
  ~IcuCodec() { ucnv_close(converter_); }

  // The bytes of the UTF-8 text, or nothing when a character cannot be held.
  std::optional<std::string> encode(std::string_view utf8) { return encodeUtf16(utf8ToUtf16(utf8)); }
  std::optional<std::string> encodeUtf16(std::u16string_view text) {
    ucnv_resetFromUnicode(converter_);
    UErrorCode err = U_ZERO_ERROR;
    std::string out(text.size() * 4 + 16, '\0');
    int32_t n = ucnv_fromUChars(converter_, out.data(), static_cast<int32_t>(out.size()), text.data(),
                                static_cast<int32_t>(text.size()), &err);
    if (U_FAILURE(err)) return std::nullopt;
    out.resize(static_cast<std::size_t>(n));
    return out;
  }
  // The UTF-8 text of the bytes (bytes without a character become ICU's substitute).
  std::string decode(std::string_view bytes) {
    ucnv_resetToUnicode(converter_);
    UErrorCode err = U_ZERO_ERROR;
    std::u16string wide(bytes.size() + 16, u'\0');
    int32_t n = ucnv_toUChars(converter_, wide.data(), static_cast<int32_t>(wide.size()), bytes.data(),
                              static_cast<int32_t>(bytes.size()), &err);
    if (U_FAILURE(err)) throw std::runtime_error("ICU decoding failed");
    wide.resize(static_cast<std::size_t>(n));
    return utf16ToUtf8(wide);
  }
  const char* canonicalName() {
    UErrorCode err = U_ZERO_ERROR;
    return ucnv_getName(converter_, &err);
  }

 private:
  UConverter* converter_ = nullptr;
};

// Hex of bytes, "82 A0 41".
inline std::string hexBytes(std::string_view bytes) {
  std::string out;
  char buffer[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, "%02X", static_cast<unsigned char>(bytes[i]));
    if (i) out += ' ';
    out += buffer;
  }
  return out;
}

}  // namespace bench
