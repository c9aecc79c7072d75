// The charset attributes of a converted page, and the files the page loads.
//
// Every `link` that loads a style sheet and every JavaScript `script` with a `src` whose
// reference names an existing local file (a folder counts) gets a `charset` attribute naming
// the target, and its tag is written anew in canonical form (attributes in name order, every
// value in double quotes). References are read in the encoding the page is in, relative
// ones against the page's folder, a leading `/` against the file-system root; the path is
// made absolute without touching the file. With followCss / followJs on, the file's full
// path joins the run's set of referenced style sheets / scripts. Remote references, missing
// files and empty references are left alone and not reported.
//
// The page is rewritten from its end towards its start, so the offsets of the tags still to
// come stay valid. Throws std::bad_alloc when memory runs out (the caller owns the text).
#pragma once

#include <filesystem>
#include <string>

#include "engine/conversion_options.h"

namespace sarnavel {

// `pageIsLatin1`: the page was read as code page 1252; the files it loads without a charset
// of their own (a script's charset attribute) are then noted as Latin-1 in `referenced`.
void setCharsetAttributes(std::string& page, const std::string& charsetName, const std::string& defaultScriptType,
                          const ConversionOptions& options, const std::filesystem::path& pageFolder, bool pageIsLatin1,
                          ReferencedFiles& referenced);

// The absolute path a reference names, or an empty path when it names nothing local that
// exists. `reference` is the decoded reference text in UTF-8.
std::filesystem::path resolveExistingPath(const std::string& reference, const std::filesystem::path& pageFolder);

}  // namespace sarnavel
