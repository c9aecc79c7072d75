// Converting one file on disk: read, convert, back up, write.
//
// Each kind has its driver: convertHtmlFile for pages, convertCssFile for style sheets,
// convertJsFile for scripts, convertTextFile for plain texts, convertXmlFile for feeds. A
// driver reads the whole file, hands its bytes to the engine (which reads UTF-16, UTF-8 and
// Latin-1 as well as the Japanese encodings, see engine/document_reading.h), backs the file up
// when backups are on, and replaces the file's content. A page's references resolve against
// the page's own folder (reference_files.h).
//
// Nothing of the file is ever dropped: zero bytes and zero UTF-16 units are carried through,
// and a trailing odd byte of a UTF-16 file with a mark is kept after the text.
//
// A conversion that gives back exactly the bytes read leaves the file as it is: no backup, no
// write, and the report says Success.
//
// Contract: the report's result is Success when the file was converted and written (in a dry run: read and
// converted, nothing written); otherwise the code of the step that failed, with the file on
// disk as it was: CannotOpen (102) or OutOfMemory (101) when reading, OutOfMemory when
// converting (nothing backed up), BackupFailed (104) when the backup could not be made
// (nothing written), WriteFailed (103) when the new content could not replace the old or
// the file changed after it was read (nothing written; the report's note says why).
// Running out of memory anywhere inside a driver becomes OutOfMemory: this is the one place a
// file's std::bad_alloc is caught, and the next file is unaffected. The drivers share nothing
// and may run on several threads at once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

#include "engine/encoding_decision.h"
#include "run/conversion_options.h"
#include "run/file_report.h"
#include "store/content_hash.h"
#include "store/file_store.h"
#include "store/store.h"
#include "run/named_folders.h"
#include "run/reference_files.h"

namespace sarnavel {

// Whether a driver writes what it converted; Check converts nothing either, it only reads
// (source_check.h).
enum class WriteMode { Write, DryRun, Check };

// What a run lends its drivers, each member optional: what is shared by the run's threads,
// what belongs to the calling thread alone, and what the caller already knows of the file.
struct DriverContext {
  StoreWorker store;                    // the calling thread's door to the run's store (store.h)
  ReferenceProbes* probes = nullptr;    // the run's memo of loaded files looked into (reference_files.h)
  const struct stat* looked = nullptr;  // the file's status (links followed), just looked at
  // Whether the name itself is followed when it is a link (file_store.h): a name listed as a
  // regular file is not, so that one swapped for a link meanwhile leads nowhere else.
  NameLink nameLink = NameLink::Followed;
  // The folder the file lay in when it was listed (intake.h), where the read looks for it
  // (file_store.h: readFile); not known for a file a page loads, which is read by its path.
  FolderId listedFolder = {};
  // A file a page loads through a link (its name was one at the pages' looks): the link is
  // followed at the read, and what it reaches then must still be what a page may load
  // (reference_files.h): a file whose own name has the link's kind, holding no binary.
  bool loadedThroughLink = false;
  // A later pass of the run visits this sheet or script again: the report tells what the
  // conversion left in it (FileReport::rewritten), so that the next visit may spare the work.
  bool visitedAgain = false;
  // The user's memory of what runs wrote (run_memory.h): a file that holds exactly what one
  // wrote is in its target (FileReport::remembered). With `recordsWrites`, a file written is
  // reported with the facts the memory records (FileReport::written).
  const RunMemory* memory = nullptr;
  bool recordsWrites = false;
  // What the user named: a page's files outside it are followed only when they have the
  // page's owner (reference_files.h). None: every file is followed.
  const NamedFolders* named = nullptr;
  // A page an SSI page of the run includes (included_fragments.h): converted as a fragment.
  bool fragment = false;
};

// What the record of a write needs of the bytes as read, taken before the conversion changes
// them; nothing when the run does not record.
struct FormerBytes {
  bool recorded = false;
  std::uint64_t size = 0;
  ContentHash hash;
};

// A write just made, as the run's memory records it.
struct WriteFacts {
  const std::filesystem::path& path;
  const FileIdentity& read;
  std::span<const std::string_view> pieces;
  std::optional<FileStamp> left;  // the new file, when the file was replaced
  FormerBytes former;
};

// The memory's record of the write (what the run knows beyond the file, the run adds).
WriteRecord writeRecordOf(const WriteFacts& write, TargetEncoding target, const std::filesystem::path& backup);

// Whether a file that pages load as a module script is left as it is: with a target other
// than UTF-8 (browsers would misread it in any other encoding).
bool leavesModuleScript(const ConversionOptions& options);

// The folder a listed file was just read through, still open in the worker's session, when
// that is the folder its path names (for looking at the names a page loads from it); -1
// otherwise.
int readFolder(const std::filesystem::path& path, const DriverContext& context);

// The drivers' read of their file (and the check's): the store's read, as the context says
// (in the folder the file was listed in, when known). A name read as a regular file that has become
// a link to a file, a file whose folder is no longer the one listed, and a link a page loads
// through that reaches what no page may load, are left as they are: CannotOpen, with the note
// that the name was replaced before the read.
ResultCode readDriversFile(const std::filesystem::path& path, std::string& content, FileIdentity* identity,
                           const DriverContext& context, std::vector<FileNote>& notes);

// `evidence`: what the run knows of the file's encoding (engine/encoding_decision.h). The
// report carries the engine's record of the document; a page's record lists its references,
// each refused for its kind or passed over for its owner with its status. A script that pages load as a module script is read but
// neither converted nor written when the target is not UTF-8 (browsers read it as UTF-8 only):
// its report is Success with a note, and no record.
FileReport convertHtmlFile(const std::filesystem::path& path, const ConversionOptions& options,
                           WriteMode mode = WriteMode::Write, const EncodingEvidence& evidence = {},
                           const DriverContext& context = {});
FileReport convertCssFile(const std::filesystem::path& path, const ConversionOptions& options,
                          WriteMode mode = WriteMode::Write, const EncodingEvidence& evidence = {},
                          const DriverContext& context = {});
FileReport convertJsFile(const std::filesystem::path& path, const ConversionOptions& options,
                         WriteMode mode = WriteMode::Write, const EncodingEvidence& evidence = {},
                         const DriverContext& context = {});
// A plain text that holds characters its target lacks is left as it was (WriteFailed, in a dry
// run too) with the note LostCharacters, unless options.allowLoss: then it is converted with
// each written as the geta mark, which its record lists as lost.
FileReport convertTextFile(const std::filesystem::path& path, const ConversionOptions& options,
                           WriteMode mode = WriteMode::Write, const EncodingEvidence& evidence = {},
                           const DriverContext& context = {});
// An XML document likewise, for the characters lost in its comments, processing instructions
// and names (engine/xml_conversion.h).
FileReport convertXmlFile(const std::filesystem::path& path, const ConversionOptions& options,
                          WriteMode mode = WriteMode::Write, const EncodingEvidence& evidence = {},
                          const DriverContext& context = {});

}  // namespace sarnavel
