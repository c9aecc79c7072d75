// Reads a UTF-8 page, sheet or script straight into the bytes of the target in one pass, as
// the escaper and the converter would write it in two (escaping.h, converter.h); a page's
// regions tell the escaper, character by character, which language an escape is written in.
//
// ASCII runs are copied 16 bytes at a time; each well-formed two- or three-byte character the
// target holds (what code page 932 holds, for EUC-JP what that encoding reaches too) is written
// through one look-up of its bytes in the target: code page 932 for Shift_JIS, EUC-JP itself for
// EUC-JP (the bytes the converter makes of the code page 932 code). For the UTF-8 target with
// escapes such a character is its own UTF-8, and the source is copied whole between the
// characters escaped. Everything else (characters to escape, four-byte forms,
// malformed sequences, each read strictly as browsers read UTF-8) goes to the escaper exactly
// as the general reading (escapeUtf8) hands it over, so escapes, the JavaScript code context
// and the findings are the same.
//
// Contract: the tables are built once, on first use, and immutable afterwards; callable from
// any thread. Throws std::bad_alloc when memory runs out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/escaping.h"
#include "text/target_encoding.h"

namespace sarnavel {

// Whether the target can be read into directly: Shift_JIS, EUC-JP and UTF-8 with escapes; not
// ISO-2022-JP (whose escape byte is escaped and whose characters switch modes), nor the UTF-8
// target keeping every character.
bool readsUtf8Directly(const EscapeTarget& target);

// Reads `bytes` (UTF-8 without its byte-order mark; offsets count from `firstOffset`) into
// `out`, which `escaper` writes to as well; returns how many malformed sequences it met (each
// handed to the escaper as irregular). `target` must be one readsUtf8Directly accepts.
std::size_t readUtf8Directly(std::string& out, TextEscaper& escaper, std::string_view bytes, std::size_t firstOffset,
                             TargetEncoding target);

}  // namespace sarnavel
