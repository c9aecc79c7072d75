// The notes that say where a converted page cannot show what it showed before, or where the
// run left a file as it was so that it still does.
//
//   module-script      a page loads a file as a module script, which browsers always read as
//                      UTF-8: with another target the file is left in UTF-8 (the page's note
//                      names it; the file's own line says it was left as it was)
//   lost-characters    characters the target lacks stood in raw text (`xmp`, `plaintext`),
//                      where no escape is read: they show as their references
//   fallback-text      the same in the fallback text of `iframe`, `noembed` and `noframes`,
//                      which browsers never show but scripts may read
//   charset-by-script  a script writes a `script` element (document.write) whose charset names
//                      another encoding than the target: rewritten in the script's string when
//                      it loads a file the run converts (said, since the script was changed),
//                      else left, and the file it loads is misread once converted; or a script
//                      (in a page or a file) sets such a charset on an element it makes
// Each note is a line in the language asked for (message_language.h) with its stable code and,
// where it concerns one place, the position in the source (note_line.h). The module script's
// own line is file_notes.h's.
#pragma once

#include <vector>

#include "engine/document_result.h"
#include "report/message_language.h"
#include "report/note_line.h"
#include "text/target_encoding.h"

namespace sarnavel {

// The notes a converted document's record calls for, appended to `notes`.
void appendFidelityNotes(const DocumentResult& document, TargetEncoding target, MessageLanguage language,
                         std::vector<NoteLine>& notes);

}  // namespace sarnavel
