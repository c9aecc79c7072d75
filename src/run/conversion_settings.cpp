#include "run/conversion_settings.h"

#include <cstdlib>
#include <system_error>

#include "store/file_store.h"
#include "text/ascii.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }

// What follows a backslash at `at` (just after it) in a value, appended to `out`; returns
// where the value goes on.
std::size_t unescapeAt(std::string_view raw, std::size_t at, std::string& out) {
  if (at >= raw.size()) return at;
  const char c = raw[at];
  constexpr std::string_view kLetters = "abfnrtv", kCodes = "\a\b\f\n\r\t\v";
  if (const std::size_t k = kLetters.find(c); k != std::string_view::npos) {
    out += kCodes[k];
    return at + 1;
  }
  if (c == 'x' || (c >= '0' && c <= '7')) {
    const bool hex = c == 'x';
    std::size_t end = hex ? at + 1 : at;
    char32_t code = 0;
    while (end < raw.size() && (hex ? isHexDigit(raw[end]) : raw[end] >= '0' && raw[end] <= '7') && code < 0x110000) {
      const char d = raw[end++];
      code = code * (hex ? 16 : 8) + static_cast<char32_t>(d <= '9' ? d - '0' : (d | 0x20) - 'a' + 10);
    }
    if (code < 0x110000) appendUtf8(out, code);
    return end;
  }
  out += c;  // \" \\ \; \, \' \? and any other: the character itself
  return at + 1;
}

// A value as QSettings wrote it, unquoted and unescaped. Spaces outside quotes count only
// between the value's characters.
std::string iniValue(std::string_view raw) {
  std::string out;
  bool quoted = false;
  std::size_t kept = 0;  // the length of `out` up to its last character that is no outside space
  for (std::size_t at = 0; at < raw.size();) {
    const char c = raw[at];
    if (c == '"' || c == '\\') {
      at = c == '"' ? at + 1 : unescapeAt(raw, at + 1, out);
      quoted = quoted != (c == '"');
      kept = out.size();
      continue;
    }
    if (c == ';' && !quoted) break;
    ++at;
    const bool outsideSpace = !quoted && (c == ' ' || c == '\t');
    if (outsideSpace && kept == 0 && out.empty()) continue;
    out += c;
    if (!outsideSpace) kept = out.size();
  }
  out.resize(kept);
  if (out.starts_with("@@")) out.erase(0, 1);
  return out;
}

std::string_view trimmed(std::string_view text) { return trimmedOf(text, " \t\r"); }

void takeValue(std::string_view key, const std::string& value, std::size_t line, ConversionSettings& settings) {
  if (key == "kinds") {
    const KindListParse parse = parseKindList(value);
    if (parse.fault == KindListParse::Fault::None) settings.kinds = parse.kinds;
    else settings.problems.push_back({SettingsProblem::Kind::BadKinds, line, value, parse.fault});
  } else if (key == "fix_server_charset") {
    const std::string lower = lowercaseCopy(value);
    if (lower == "true" || lower == "1") settings.fixServerCharset = true;
    else if (lower == "false" || lower == "0") settings.fixServerCharset = false;
    else settings.problems.push_back({SettingsProblem::Kind::BadBoolean, line, value});
  } else if (key == "backup_dir") {
    settings.backupDir = value;
  } else if (key == "backup_suffix") {
    settings.backupSuffix = value;
  }
}

}  // namespace

ConversionSettings readConversionSettings(std::string_view text) {
  ConversionSettings settings;
  bool inConversion = false;
  std::size_t number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = trimmed(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ++number;
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') settings.problems.push_back({SettingsProblem::Kind::BadLine, number, std::string(line)});
      else inConversion = line == "[conversion]";
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || trimmed(line.substr(0, equals)).empty()) {
      settings.problems.push_back({SettingsProblem::Kind::BadLine, number, std::string(line)});
      continue;
    }
    if (inConversion) takeValue(trimmed(line.substr(0, equals)), iniValue(line.substr(equals + 1)), number, settings);
  }
  return settings;
}

std::filesystem::path conversionSettingsPath() {
  // A relative XDG_CONFIG_HOME is no place to look, as the desktop program's QSettings holds.
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
    return std::filesystem::path(config) / "sarnavel" / "sarnavel.conf";
  if (const char* home = std::getenv("HOME"); home && home[0] == '/')
    return std::filesystem::path(home) / ".config" / "sarnavel" / "sarnavel.conf";
  return {};
}

ConversionSettings loadConversionSettings(const std::filesystem::path& path) {
  std::error_code error;
  if (path.empty() || (!std::filesystem::exists(path, error) && !error)) return {};
  std::string text;
  if (readFile({path}, text) != ResultCode::Success) {
    ConversionSettings settings;
    settings.problems.push_back({SettingsProblem::Kind::Unreadable, 0, {}});
    return settings;
  }
  return readConversionSettings(text);
}

}  // namespace sarnavel
