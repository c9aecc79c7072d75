#include "run/file_drivers.h"

#include <new>

#include "engine/css_conversion.h"
#include "engine/escaping.h"
#include "engine/html_conversion.h"
#include "engine/javascript_conversion.h"
#include "engine/page_escaping.h"
#include "run/file_store.h"

namespace sarnavel {

ContentShape recogniseContent(std::string_view bytes) {
  if (bytes.size() < 2) return {};
  auto b0 = static_cast<unsigned char>(bytes[0]), b1 = static_cast<unsigned char>(bytes[1]);
  if (b0 == 0xFF && b1 == 0xFE) return {ContentForm::Utf16LittleEndian, 2};
  if (b0 == 0xFE && b1 == 0xFF) return {ContentForm::Utf16BigEndian, 2};
  if (b1 == 0) return {ContentForm::Utf16LittleEndian, 0};
  if (b0 == 0) return {ContentForm::Utf16BigEndian, 0};
  return {};
}

WorkingText workingText(std::string bytes, FileKind kind) {
  ContentShape shape = recogniseContent(bytes);
  if (shape.form == ContentForm::Bytes) return {std::move(bytes)};
  std::size_t units = (bytes.size() - shape.textStart) / 2;
  if (units == 0) return {std::move(bytes)};  // a file of a byte-order mark alone stays as it is
  std::u16string text(units, u'\0');
  for (std::size_t k = 0; k < units; ++k) {
    auto first = static_cast<unsigned char>(bytes[shape.textStart + 2 * k]);
    auto second = static_cast<unsigned char>(bytes[shape.textStart + 2 * k + 1]);
    text[k] = shape.form == ContentForm::Utf16LittleEndian ? static_cast<char16_t>(first | second << 8)
                                                           : static_cast<char16_t>(first << 8 | second);
  }
  std::string working = kind == FileKind::Html        ? escapeHtmlPage(text)
                        : kind == FileKind::Css       ? escapeForCss(text)
                                                      : escapeForJavaScript(text);
  if ((bytes.size() - shape.textStart) % 2 != 0) working.push_back(bytes.back());
  return {std::move(working), TextOrigin::FromUtf16};
}

namespace {

// The steps all three drivers share; `convert` is the engine operation of the kind. Each step
// that fails ends the file with its code, leaving the file on disk as it was.
template <class Convert>
FileReport convertFile(const std::filesystem::path& path, FileKind kind, const ConversionOptions& options, WriteMode mode,
                       TextOrigin hint, Convert&& convert) {
  FileReport report;
  try {
    std::string bytes;
    FileIdentity identity;  // what was read: the backup and the write check it is still so
    if ((report.result = readWholeFile(path, bytes, &identity)) != ResultCode::Success) return report;
    WorkingText working = workingText(std::move(bytes), kind);
    std::string& text = working.text;
    if ((report.result = convert(text, working.origin == TextOrigin::FromUtf16 ? working.origin : hint)) != ResultCode::Success) return report;
    if (mode == WriteMode::DryRun) return report;
    auto stored = [&](StoreResult step) {
      report.result = step.result;
      if (!storeNote(step.problem).empty()) report.notes.emplace_back(storeNote(step.problem));
      return step.ok();
    };
    if (options.makeBackup && !stored(backupFile(path, &identity))) return report;
    stored(writeWholeFile(path, text, &identity));
  } catch (const std::bad_alloc&) {
    report.result = ResultCode::OutOfMemory;
  }
  return report;
}

}  // namespace

FileReport convertHtmlFile(const std::filesystem::path& path, const ConversionOptions& options, ReferencedFiles& referenced,
                           WriteMode mode) {
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(path, error).lexically_normal();
  std::filesystem::path folder = error ? path.parent_path() : full.parent_path();
  return convertFile(path, FileKind::Html, options, mode, TextOrigin::AsRead,
                     [&](std::string& text, TextOrigin origin) { return convertHtml(text, options, folder, referenced, origin); });
}

FileReport convertCssFile(const std::filesystem::path& path, const ConversionOptions& options, WriteMode mode, TextOrigin origin) {
  return convertFile(path, FileKind::Css, options, mode, origin, [&](std::string& text, TextOrigin origin) { return convertCss(text, options, origin); });
}

FileReport convertJsFile(const std::filesystem::path& path, const ConversionOptions& options, WriteMode mode, TextOrigin origin) {
  return convertFile(path, FileKind::JavaScript, options, mode, origin, [&](std::string& text, TextOrigin origin) { return convertJavaScript(text, options, origin); });
}

}  // namespace sarnavel
