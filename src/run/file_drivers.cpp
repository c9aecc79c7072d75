#include "run/file_drivers.h"

#include <algorithm>
#include <new>

#include "engine/css_conversion.h"
#include "engine/escaping.h"
#include "engine/html_conversion.h"
#include "engine/javascript_conversion.h"
#include "engine/page_escaping.h"
#include "run/file_store.h"
#include "run/visible_path.h"
#include "run/reference_files.h"
#include "text/utf8.h"

namespace sarnavel {

namespace {

// Whether bytes without a byte-order mark read as UTF-16 in the given order throughout the
// first part of the file. A zero among the first two bytes is only a hint: byte text with a
// stray zero, or a file of zeros, must stay byte text. So the length must be even, units whose
// high byte alone is zero (ASCII characters) must be more than a sprinkling and outnumber zero
// units, and no surrogate may stand alone.
bool looksLikeUtf16(std::string_view bytes, bool littleEndian) {
  if (bytes.size() % 2 != 0) return false;
  constexpr std::size_t kSampleUnits = 32 * 1024;
  const std::size_t units = std::min(bytes.size() / 2, kSampleUnits);
  std::size_t ascii = 0, zeroUnits = 0;
  bool pendingHigh = false;
  for (std::size_t k = 0; k < units; ++k) {
    auto first = static_cast<unsigned char>(bytes[2 * k]), second = static_cast<unsigned char>(bytes[2 * k + 1]);
    const char16_t unit = littleEndian ? static_cast<char16_t>(second << 8 | first) : static_cast<char16_t>(first << 8 | second);
    if (unit == 0) ++zeroUnits;
    else if (unit < 0x100) ++ascii;
    if (pendingHigh != isLowSurrogate(unit)) return false;  // a high one without its low one, or the reverse
    pendingHigh = isHighSurrogate(unit);
  }
  // A sample cut inside a pair leaves its high surrogate pending: that one is not alone.
  if (pendingHigh && units == bytes.size() / 2) return false;
  return ascii > 0 && zeroUnits <= ascii && ascii * 32 >= units;
}

}  // namespace

ContentShape recogniseContent(std::string_view bytes) {
  if (bytes.size() < 2) return {};
  auto b0 = static_cast<unsigned char>(bytes[0]), b1 = static_cast<unsigned char>(bytes[1]);
  if (b0 == 0xFF && b1 == 0xFE) return {ContentForm::Utf16LittleEndian, 2};
  if (b0 == 0xFE && b1 == 0xFF) return {ContentForm::Utf16BigEndian, 2};
  if (b1 == 0 && looksLikeUtf16(bytes, true)) return {ContentForm::Utf16LittleEndian, 0};
  if (b0 == 0 && b1 != 0 && looksLikeUtf16(bytes, false)) return {ContentForm::Utf16BigEndian, 0};
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
  return {std::move(working), shape.textStart == 2 ? Utf16Origin::ByteOrderMark : Utf16Origin::Shape};
}

namespace {

// The steps all three drivers share; `convert` is the engine operation of the kind. Each step
// that fails ends the file with its code, leaving the file on disk as it was.
template <class Convert>
FileReport convertFile(const std::filesystem::path& path, FileKind kind, const ConversionOptions& options, WriteMode mode,
                       const EncodingEvidence& known, Convert&& convert) {
  FileReport report;
  try {
    std::string bytes;
    FileIdentity identity;  // what was read: the backup and the write check it is still so
    if ((report.result = readWholeFile(path, bytes, &identity)) != ResultCode::Success) return report;
    WorkingText working = workingText(std::move(bytes), kind);
    std::string& text = working.text;
    EncodingEvidence evidence = known;
    evidence.utf16 = working.utf16;
    EncodingDecision decided;
    if ((report.result = convert(text, evidence, decided, report)) != ResultCode::Success) return report;
    report.source = decided;
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

// The note under a page's line for a reference that was not followed.
std::string refusalNote(const RefusedReference& refused) {
  if (refused.why == ReferenceStatus::Binary) return "参照先はバイナリファイルのため変換しません: " + visiblePath(refused.path);
  return "参照先は読み込む要素に合う種類のファイルではないため変換しません: " + visiblePath(refused.path);
}

}  // namespace

FileReport convertHtmlFile(const std::filesystem::path& path, const ConversionOptions& options, PageReferences& references,
                           WriteMode mode, const EncodingEvidence& evidence) {
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(path, error).lexically_normal();
  const FileSystemResolver resolver(error ? path.parent_path() : full.parent_path());
  return convertFile(path, FileKind::Html, options, mode, evidence,
                     [&](std::string& text, const EncodingEvidence& e, EncodingDecision& decided, FileReport& report) {
                       ResultCode result = convertHtml(text, options, resolver, references, e, &decided);
                       for (const RefusedReference& refused : references.refused) report.notes.push_back(refusalNote(refused));
                       return result;
                     });
}

FileReport convertCssFile(const std::filesystem::path& path, const ConversionOptions& options, WriteMode mode, const EncodingEvidence& evidence) {
  return convertFile(path, FileKind::Css, options, mode, evidence,
                     [&](std::string& text, const EncodingEvidence& e, EncodingDecision& decided, FileReport&) {
                       return convertCss(text, options, e, &decided);
                     });
}

FileReport convertJsFile(const std::filesystem::path& path, const ConversionOptions& options, WriteMode mode, const EncodingEvidence& evidence) {
  return convertFile(path, FileKind::JavaScript, options, mode, evidence,
                     [&](std::string& text, const EncodingEvidence& e, EncodingDecision& decided, FileReport&) {
                       return convertJavaScript(text, options, e, &decided);
                     });
}

}  // namespace sarnavel
