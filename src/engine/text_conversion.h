// Converts one plain text file (.txt, .csv, .tsv): its encoding and line endings, nothing else.
//
// A plain text declares nothing and reads no escape: its encoding is decided from its bytes and
// what the run knows (a UTF-16 or UTF-8 byte-order mark first, document_reading.h), and the
// whole text goes through the converter. A character the target lacks has no escape to travel
// as: it is written as the geta mark (U+3013, which every Japanese target holds) and recorded
// as lost with its position (document_result.h, StandIn::GetaMark), so that the caller can
// leave the file as it was rather than lose it (run/file_drivers.h). Bytes that form no
// character become U+FFFD going to UTF-8, as for the other kinds. A UTF-8 text loses its
// byte-order mark, as every UTF-8 output of this program does.
//
// Contract: the converted text replaces `text`, and the record says what happened. Throws
// std::bad_alloc when memory runs out, `text` then as it was.
#pragma once

#include <string>

#include "engine/document_result.h"
#include "engine/encoding_decision.h"
#include "engine/target_options.h"

namespace sarnavel {

[[nodiscard]] DocumentResult convertPlainText(std::string& text, const TargetChoice& options,
                                              const EncodingEvidence& evidence = {});

}  // namespace sarnavel
