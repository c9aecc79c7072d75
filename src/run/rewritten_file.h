// A sheet or script this run wrote and a later pass visits again (conversion_run.h), kept so
// that the second visit of a file nobody changed since costs one look at it.
//
// A second conversion of a text the run wrote reads it in the target (its decision: written by
// this run), finds nothing to escape, lose or refuse in it, and gives its bytes back: a sheet's
// leading @charset rule, which already names the target, is replaced by itself. So what the
// write left (the new file's stamp, its line breaks, a sheet's label) is all that conversion's
// record needs.
//
// Contract: rewrittenFileOf remembers a file only when that record is sure (a target other than
// ISO-2022-JP, whose reading may join line breaks across escape sequences; no byte order mark;
// nothing a reading could take for UTF-16; no invalid byte nor lost character in the first
// conversion; a sheet that opens with its rule); otherwise nothing, and the file takes the
// full second conversion. unchangedSinceWritten gives the record only while the name is that
// very file, unchanged (same device, inode, size, modification and change times, the name no
// link): anything else, and the file is read and converted again.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/document_reading.h"
#include "engine/document_result.h"
#include "store/file_identity.h"
#include "text/target_encoding.h"

namespace sarnavel {

struct RewrittenFile {
  FileStamp stamp;
  LineBreakCounts lineBreaks;
  std::string charsetLabel;  // a sheet's: the value of its leading @charset rule
};

// `output`: the bytes the first conversion of a file of `kind` left in it, `stamp` that file.
std::optional<RewrittenFile> rewrittenFileOf(DocumentKind kind, TargetEncoding target, const DocumentResult& first,
                                             std::string_view output, const FileStamp& stamp);

// The record a second conversion of the file would give, when the name at `path` is still the
// file as written (one lstat); nothing otherwise.
std::optional<DocumentResult> unchangedSinceWritten(const std::string& path, const RewrittenFile& file,
                                                    DocumentKind kind, TargetEncoding target);

}  // namespace sarnavel
