// Rewriting, at the end of a conversion, the .htaccess lines the run settled on
// (server_charset.h: ServerCharsetLookup::settle).
//
// Each .htaccess is replaced once, whatever the number of its lines, so that its backup chain
// is pushed once; through the store as a converted file is (the backup as the options say: none
// with --no-backup, in the mirror with --backup-dir, under the suffix given; the temporary file
// told to the run's memory for the sweep; owner, mode and attributes kept, whole or not at all,
// not over a change since the read), and reported with the facts the run's memory records of a
// file it wrote, so that an undo takes it back as any other file. In each line only the
// charset changes (the word of AddDefaultCharset or AddCharset, the charset= value of AddType),
// the rest of the file stays byte for byte. A line no longer as the run read it is kept.
//
// What becomes of the file is a file's report: Success with one `server-charset-fixed` note per
// line rewritten (and one `server-charset-kept` per line kept); or, when no line was rewritten,
// a failure: `server-charset-kept` with the reason for a line the run's end kept, the store's
// problem and a `server-charset` note for a line whose write failed.
#pragma once

#include <span>

#include "run/conversion_options.h"
#include "run/file_report.h"
#include "run/named_folders.h"
#include "run/server_charset.h"
#include "store/store.h"

namespace sarnavel {

struct HtaccessWriting {
  const ConversionOptions& options;
  const NamedFolders* named = nullptr;  // where the backups' mirror starts (backup_place.h)
  StoreWorker store;
  bool records = false;  // the run records what it writes: the report carries the write's facts
};

// `lines`: the lines of one .htaccess, in order.
FileReport fixHtaccess(std::span<const ServerCharsetLine> lines, const HtaccessWriting& how);

}  // namespace sarnavel
