#include "run/file_drivers.h"

#include <sys/stat.h>

#include <filesystem>
#include <new>
#include <span>
#include <string_view>
#include <vector>

#include "engine/css_conversion.h"
#include "engine/document_reading.h"
#include "engine/html_conversion.h"
#include "engine/javascript_conversion.h"
#include "engine/text_conversion.h"
#include "engine/xml_conversion.h"
#include "engine/page_edits.h"
#include "engine/template_conversion.h"
#include "run/backup_place.h"
#include "run/file_kind.h"
#include "store/conversion_room.h"
#include "store/file_store.h"
#include "run/normal_path.h"
#include "store/content_hash.h"
#include "run/reference_files.h"

namespace sarnavel {
namespace {

// What the user's memory knows of the bytes just read (run_memory.h).
std::optional<RememberedWrite> rememberedWrite(const std::filesystem::path& path, std::string_view bytes,
                                               const FileIdentity& identity, const DriverContext& context) {
  if (!context.memory) return std::nullopt;
  return context.memory->wrote(path.native(), identity.status.st_dev, identity.status.st_ino, bytes.size(),
                               [&] { return hashOf(bytes); });
}

// A file read in the encoding the user named, whose bytes are not all characters of it, is left
// as it is (in a dry run too): its conversion would stand U+FFFD for them. True when so.
bool leftForNamedEncoding(const DocumentResult& document, FileReport& report) {
  const InvalidBytes& invalid = document.invalidBytes;
  if (document.source.basis != DecisionBasis::Named || invalid.count == 0) return false;
  const std::optional<TargetEncoding> target = targetEncodingOf(document.source.encoding);
  report.result = ResultCode::WriteFailed;
  report.notes.push_back(
      {NoteCode::NotInNamedEncoding,
       StoreProblem::None,
       {target ? std::string(charsetNameOf(*target)) : std::string("windows-1252"), std::to_string(invalid.count),
        std::to_string(invalid.first.line), std::to_string(invalid.first.column)}});
  return true;
}

// A template whose code could not be kept as written is left as it is, in a dry run too
// (template_conversion.h). True when so.
bool leftForItsCode(const DocumentResult& document, FileReport& report) {
  const CodeLeft& left = document.codeLeft;
  if (left.why == CodeLeft::Why::None) return false;
  static constexpr const char* kWhy[] = {"", "invalid-bytes", "lacked-character", "encoding", "backslash-byte"};
  report.result = ResultCode::WriteFailed;
  report.notes.push_back(
      {NoteCode::CodeLeft,
       StoreProblem::None,
       {kWhy[static_cast<int>(left.why)], std::to_string(left.at.line), std::to_string(left.at.column),
        std::to_string(static_cast<std::uint32_t>(left.codePoint))}});
  return true;
}

// A plain text that holds characters its target lacks is left as it is (in a dry run too)
// unless the user allows the loss: no escape could carry them. True when so; the note names
// how many and the first few by position (the record lists them by first position).
bool leftForLostCharacters(const DocumentResult& document, FileReport& report) {
  if (document.lost.empty()) return false;
  std::size_t count = 0;
  for (const LostCharacter& lost : document.lost) count += lost.count;
  FileNote note{NoteCode::LostCharacters, StoreProblem::None, {std::to_string(count)}};
  for (std::size_t k = 0; k < document.lost.size() && k < 3; ++k) {
    const LostCharacter& lost = document.lost[k];
    for (std::uint64_t value :
         {std::uint64_t{lost.codePoint}, std::uint64_t{lost.first.line}, std::uint64_t{lost.first.column}})
      note.values.push_back(std::to_string(value));
  }
  report.result = ResultCode::WriteFailed;
  report.notes.push_back(std::move(note));
  return true;
}

// One file for a driver: its path and kind, and what the driver was given.
struct DriverCall {
  const std::filesystem::path& path;
  DocumentKind kind;
  const ConversionOptions& options;
  WriteMode mode;
  const EncodingEvidence& known;
  const DriverContext& context;
};

// The steps all three drivers share; `convert` is the engine operation of the kind, which may
// leave the last edits of a page to the write (html_conversion.h). Each step that fails ends
// the file with its code, leaving the file on disk as it was.
template <class Convert>
FileReport convertFile(const DriverCall& call, Convert&& convert) {
  const std::filesystem::path& path = call.path;
  const ConversionOptions& options = call.options;
  const WriteMode mode = call.mode;
  const DriverContext& context = call.context;
  FileReport report;
  context.store.beginFile();
  try {
    std::string text;
    FileIdentity identity;  // what was read: the backup and the write check it is still so
    if ((report.result = readDriversFile(path, text, &identity, context, report.notes)) != ResultCode::Success)
      return report;
    EncodingEvidence evidence = call.known;
    if (!evidence.writtenByThisRun && (report.remembered = rememberedWrite(path, text, identity, context)))
      evidence.writtenEarlier = report.remembered->target;
    requireRoomToConvert(text.size());  // a file the system cannot give the room fails here, untouched
    FormerBytes former;
    if (context.recordsWrites && mode == WriteMode::Write) former = {true, text.size(), hashOf(text)};
    report.form = recogniseContent(text).form;
    std::vector<PageEdit> edits;
    evidence.named = options.sourceEncoding;
    report.document = convert(text, edits, evidence, identity);
    if (leftForNamedEncoding(*report.document, report) || leftForItsCode(*report.document, report)) return report;
    const bool losesUnsaid = call.kind == DocumentKind::Text || call.kind == DocumentKind::Xml;
    if (losesUnsaid && !options.allowLoss && leftForLostCharacters(*report.document, report)) return report;
    if (mode == WriteMode::DryRun) return report;
    auto stored = [&](StoreResult step) {
      report.result = step.result;
      if (step.problem != StoreProblem::None) report.notes.push_back({NoteCode::StoreProblem, step.problem});
      return step.ok();
    };
    // A text the conversion gives back unchanged (a sheet both listed and loaded, the second
    // time) stays as it is: its backup keeps the original. A page's edits that leave the size
    // as read are applied for that look; any others are written as pieces.
    if (!edits.empty() && editedSize(text.size(), edits) == static_cast<std::size_t>(identity.status.st_size)) {
      applyPageEdits(text, std::move(edits));
      edits.clear();
    }
    // A file the run visits again is remembered as the conversion left it.
    auto remember = [&](const FileStamp& left) {
      if (context.visitedAgain && edits.empty() && report.result == ResultCode::Success)
        report.rewritten = rewrittenFileOf(call.kind, options.targetEncoding, *report.document, text, left);
    };
    if (edits.empty() && fileHolds(path, text, identity)) {
      remember(identity.stamp());
      return report;
    }
    const std::vector<std::string_view> pieces =
        edits.empty() ? std::vector<std::string_view>{text} : editedPieces(text, edits);
    const bool stampLeft = (context.visitedAgain && edits.empty()) || former.recorded;
    const std::optional<BackupPlace> place = backupPlaceOf(path, options, context.named);
    StoreResult written = context.store.replace(
        {path, pieces, &identity, options.makeBackup, stampLeft, nullptr, place ? &*place : nullptr});
    const std::optional<FileStamp> left = written.left;
    report.backup = std::move(written.backup);
    const bool ok = stored(std::move(written));
    if (left) remember(*left);
    if (ok && former.recorded)
      report.written = writeRecordOf({path, identity, pieces, left, former}, options.targetEncoding, report.backup);
  } catch (const std::bad_alloc&) {
    report.result = ResultCode::OutOfMemory;
  }
  return report;
}

}  // namespace

WriteRecord writeRecordOf(const WriteFacts& write, TargetEncoding target, const std::filesystem::path& backup) {
  WriteRecord record;
  record.path = write.path.native();
  // A file written in place keeps its inode.
  record.device = write.left ? write.left->device : write.read.status.st_dev;
  record.inode = write.left ? write.left->inode : write.read.status.st_ino;
  for (std::string_view piece : write.pieces) record.size += piece.size();
  record.hash = hashOf(write.pieces);
  record.formerSize = write.former.size;
  record.formerHash = write.former.hash;
  record.target = target;
  record.backup = backup.native();
  if (write.left) record.modified = write.left->modified;
  return record;
}

bool leavesModuleScript(const ConversionOptions& options) { return options.targetEncoding != TargetEncoding::Utf8; }

int readFolder(const std::filesystem::path& path, const DriverContext& context) {
  // Only a path with no "." or ".." part names, as given, the folder its normal form names.
  if (!context.listedFolder.known() || context.nameLink != NameLink::NotFollowed || !isPlainPath(path.native()))
    return -1;
  return context.store.heldFolder(folderOf(path).native(), context.listedFolder);
}

namespace {

// Whether the file just read through the link `path` is still one a page may load: the name
// the link reaches now is that file (the same device and inode as read; a link re-pointed
// meanwhile reaches another), has the link's kind, and the bytes read are no binary.
bool stillLoadable(const std::filesystem::path& path, std::string_view content, const FileIdentity& read) {
  std::error_code error;
  const std::filesystem::path reached = std::filesystem::canonical(path, error);
  if (error || classifyExtension(reached.native()) != classifyExtension(path.native())) return false;
  struct stat info;
  if (::lstat(reached.c_str(), &info) != 0 || info.st_dev != read.status.st_dev || info.st_ino != read.status.st_ino)
    return false;
  return !looksBinary(content.substr(0, kFirstBlock));
}

}  // namespace

ResultCode readDriversFile(const std::filesystem::path& path, std::string& content, FileIdentity* identity,
                           const DriverContext& context, std::vector<FileNote>& notes) {
  StoreProblem problem = StoreProblem::None;
  FileIdentity own;
  if (!identity) identity = &own;
  ResultCode result =
      context.store.read({path, context.nameLink, context.looked, context.listedFolder}, content, identity, &problem);
  if (result == ResultCode::Success && context.loadedThroughLink && !stillLoadable(path, content, *identity)) {
    content.clear();
    result = ResultCode::CannotOpen;
    problem = StoreProblem::ReplacedBeforeRead;
  }
  if (result == ResultCode::CannotOpen && problem == StoreProblem::None && context.nameLink == NameLink::NotFollowed)
    problem = whyNotReadAsFile(path);
  if (problem != StoreProblem::None) notes.push_back({NoteCode::StoreProblem, problem});
  return result;
}

FileReport convertHtmlFile(const std::filesystem::path& path, const ConversionOptions& options, WriteMode mode,
                           const EncodingEvidence& evidence, const DriverContext& context) {
  return convertFile(
      {path, DocumentKind::Page, options, mode, evidence, context},
      [&](std::string& text, std::vector<PageEdit>& edits, const EncodingEvidence& e, const FileIdentity& page) {
        std::optional<OwnerRule> owners;
        if (context.named) owners = OwnerRule{context.named, page.status.st_uid};
        const FileSystemResolver resolver(normalFolderOf(path), context.probes, readFolder(path, context), owners);
        // An XHTML page names its encoding in its XML declaration too.
        const FileKind kind = classifyExtension(path.native());
        // A template's and a fragment's declarations are rewritten where they stand.
        const PageConversion with{options, resolver, e, kind == FileKind::Xhtml, islandSyntaxOf(kind), true};
        if (isTemplateKind(kind)) return convertTemplateLeavingEdits(text, edits, with);
        if (context.fragment) return convertPageLeavingEdits(text, edits, with);
        if (kind == FileKind::Xhtml) return convertXhtmlLeavingEdits(text, edits, options, resolver, e);
        return convertHtmlLeavingEdits(text, edits, options, resolver, e);
      });
}

FileReport convertCssFile(const std::filesystem::path& path, const ConversionOptions& options, WriteMode mode,
                          const EncodingEvidence& evidence, const DriverContext& context) {
  return convertFile(
      {path, DocumentKind::StyleSheet, options, mode, evidence, context},
      [&](std::string& text, std::vector<PageEdit>&, const EncodingEvidence& e, const FileIdentity& sheet) {
        // The sheets it imports resolve against its own folder, under a page's rules.
        std::optional<OwnerRule> owners;
        if (context.named) owners = OwnerRule{context.named, sheet.status.st_uid};
        const FileSystemResolver resolver(normalFolderOf(path), context.probes, readFolder(path, context), owners);
        return convertCss(text, options, e, &resolver);
      });
}

FileReport convertJsFile(const std::filesystem::path& path, const ConversionOptions& options, WriteMode mode,
                         const EncodingEvidence& evidence, const DriverContext& context) {
  // A file a page loads as a module stays in UTF-8, the one encoding browsers read it in.
  if (evidence.moduleScript && leavesModuleScript(options)) {
    FileReport report;
    try {
      std::string text;
      report.result = readDriversFile(path, text, nullptr, context, report.notes);
    } catch (const std::bad_alloc&) {
      report.result = ResultCode::OutOfMemory;
    }
    if (report.result == ResultCode::Success) report.notes.push_back({NoteCode::ModuleScriptLeft});
    return report;
  }
  return convertFile({path, DocumentKind::Script, options, mode, evidence, context},
                     [&](std::string& text, std::vector<PageEdit>&, const EncodingEvidence& e, const FileIdentity&) {
                       return convertJavaScript(text, options, e);
                     });
}

FileReport convertTextFile(const std::filesystem::path& path, const ConversionOptions& options, WriteMode mode,
                           const EncodingEvidence& evidence, const DriverContext& context) {
  return convertFile({path, DocumentKind::Text, options, mode, evidence, context},
                     [&](std::string& text, std::vector<PageEdit>&, const EncodingEvidence& e, const FileIdentity&) {
                       return convertPlainText(text, options, e);
                     });
}

FileReport convertXmlFile(const std::filesystem::path& path, const ConversionOptions& options, WriteMode mode,
                          const EncodingEvidence& evidence, const DriverContext& context) {
  return convertFile({path, DocumentKind::Xml, options, mode, evidence, context},
                     [&](std::string& text, std::vector<PageEdit>&, const EncodingEvidence& e, const FileIdentity&) {
                       return convertXml(text, options, e);
                     });
}

}  // namespace sarnavel
