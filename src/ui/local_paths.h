// The local paths that a drop or a paste names, as the file system's bytes.
//
// Qt hands file names over as text, and text cannot hold a name whose bytes are not UTF-8 (a
// Shift_JIS name from an old Windows archive): QUrl::toLocalFile and QFile::decodeName turn
// such bytes into U+FFFD, and the path then names no file. So:
//  - a file: URL is read from its percent-encoded form, byte for byte; only URLs of this
//    machine count (no host, or "localhost"): "file://host/x" is not "/x" on this machine;
//  - pasted text holds one path or file:/ URL a line (CR+LF or LF), blank lines skipped; a
//    path is taken as its UTF-8 bytes, relative paths as they are (the intake resolves them).
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

class QMimeData;
class QUrl;

namespace sarnavel {

std::optional<std::filesystem::path> localPathOf(const QUrl& url);

// The local file URLs of a drop, in the order of the drop.
std::vector<std::filesystem::path> localPathsOf(const QMimeData& drop);
bool offersLocalPaths(const QMimeData& drop);

// The paths of the clipboard: its URLs when it has any, else its text, a path a line.
std::vector<std::filesystem::path> pastedPaths(const QMimeData& clipboard);

}  // namespace sarnavel
