// Where a file's backups go: beside the file (NAME.bak), or, with a backup folder, in a mirror
// of the tree there, so that no backup is published with the site.
//
// The mirror: a file's backup lies under the backup folder at the path its folder has below the
// outermost named folder it lies in (a named file stands for its own folder, so its backup lies
// in the backup folder itself): site/css/a.css, site named, is backed up as
// BACKUPS/css/a.css.bak. Folders are compared by their keys (named_folders.h: links resolved),
// the file's own name as given (a link's backup is named after the link, as beside it). A file
// outside every named folder (a sheet a page loads from elsewhere) is mirrored by the whole key
// of its folder below the backup folder (BACKUPS/srv/shared/a.css.bak). The backup folder
// itself may be reached through a link; a link in the mirror below it is never followed: the
// backup is refused (file_store.h: BackupPlace). Two named folders that
// hold the same relative path share its backup names; the generations keep both.
#pragma once

#include <filesystem>
#include <optional>

#include "run/conversion_options.h"
#include "run/named_folders.h"
#include "store/file_store.h"

namespace sarnavel {

// The place of `file`'s backup as the options say; none for the default (NAME.bak beside it).
std::optional<BackupPlace> backupPlaceOf(const std::filesystem::path& file, const ConversionOptions& options,
                                         const NamedFolders* named);

// Why a backup folder cannot serve a run over the named folders: it lies in one of them (its
// backups would go with the site), or holds one (a mirror's path could lead back into it).
enum class BackupFolderClash { None, InsideNamed, HoldsNamed };
BackupFolderClash backupFolderClash(const std::filesystem::path& folder, const NamedFolders& named);

}  // namespace sarnavel
