// Converting one file on disk: read, decode UTF-16, convert, back up, write.
//
// Each kind has its driver: convertHtmlFile for pages, convertCssFile for style sheets,
// convertJsFile for scripts. A driver reads the whole file, turns UTF-16 content (with or
// without a byte-order mark, either byte order) into code page 932 text with the kind's
// escapes, lets the engine convert the text, backs the file up when backups are on, and
// replaces the file's content. A page's references resolve against the page's own folder.
//
// UTF-16 is recognised by a byte-order mark, or, without one, when a zero among the first two
// bytes is borne out by the rest: an even length, zero high bytes (ASCII characters) in more
// than a sprinkling of the units and in more of them than there are zero units, and no lone
// surrogate (see recogniseContent). Anything else, a file of zeros or byte text with a stray
// zero included, is byte content.
//
// Nothing of the file is ever dropped: zero bytes and zero UTF-16 units are carried through,
// and a trailing odd byte of a UTF-16 file with a mark is kept after the text.
//
// Contract: the report's result is Success when the file was converted and written (in a dry run: read and
// converted, nothing written); otherwise the code of the step that failed, with the file on
// disk as it was: CannotOpen (102) or OutOfMemory (101) when reading, OutOfMemory when
// converting (nothing backed up), BackupFailed (104) when the backup could not be made
// (nothing written), WriteFailed (103) when the new content could not replace the old or
// the file changed after it was read (nothing written; the report's note says why).
// Running out of memory anywhere inside a driver becomes OutOfMemory; the next file is
// unaffected. The drivers share nothing and may run on several threads at once.
#pragma once

#include <filesystem>
#include <string>

#include "run/conversion_options.h"
#include "engine/encoding_decision.h"
#include "engine/page_references.h"
#include "run/result_code.h"
#include "run/file_kind.h"
#include "run/file_report.h"

namespace sarnavel {

// Whether a driver writes what it converted.
enum class WriteMode { Write, DryRun };

// `evidence`: what the run knows of the file's encoding (encoding_decision.h); the driver adds
// whether the file was UTF-16. The report says what the file was decided to be in. A page's
// references resolve against its own folder on disk (reference_files.h): what it loads goes
// to `references`, and each reference refused for its kind is named in a note.
FileReport convertHtmlFile(const std::filesystem::path& path, const ConversionOptions& options, PageReferences& references,
                           WriteMode mode = WriteMode::Write, const EncodingEvidence& evidence = {});
FileReport convertCssFile(const std::filesystem::path& path, const ConversionOptions& options, WriteMode mode = WriteMode::Write,
                          const EncodingEvidence& evidence = {});
FileReport convertJsFile(const std::filesystem::path& path, const ConversionOptions& options, WriteMode mode = WriteMode::Write,
                         const EncodingEvidence& evidence = {});

// How the driver reads a file's bytes into the text the engine works on.
enum class ContentForm { Bytes, Utf16LittleEndian, Utf16BigEndian };
struct ContentShape {
  ContentForm form = ContentForm::Bytes;
  std::size_t textStart = 0;  // 2 after a byte-order mark
};
ContentShape recogniseContent(std::string_view bytes);

// The working text of a file's content: its bytes as they are, or its UTF-16 text in code
// page 932 with the escapes of `kind` (and a trailing odd byte kept).
struct WorkingText {
  std::string text;
  Utf16Origin utf16 = Utf16Origin::None;
};
WorkingText workingText(std::string bytes, FileKind kind);

}  // namespace sarnavel
