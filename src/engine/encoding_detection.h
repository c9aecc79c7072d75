// Tells which Japanese byte encoding a text is in.
//
// Design note. The candidates are ISO-2022-JP, Shift_JIS (Windows code page 932), EUC-JP
// and plain ASCII; texts in UTF-8, UTF-16 or Latin-1 are brought into code page 932 before
// they reach the converter, so they are not candidates.
//  1. An escape sequence that designates a Japanese set (ESC $ @, ESC $ B, ESC $ ( D,
//     ESC ( I) makes the text ISO-2022-JP; nothing else uses ESC that way.
//  2. A text without a byte of 0x80 or above is ASCII: every target writes it unchanged.
//  3. A text that is well-formed Shift_JIS and holds a byte EUC-JP never uses (0x80-0x8D,
//     0x90-0xA0, 0xFF: the lead bytes of Shift_JIS hiragana and most kanji) is Shift_JIS. This
//     one quick pass decides almost every Shift_JIS document.
//  4. Otherwise the text is read both as Shift_JIS and as EUC-JP, counting the bytes that
//     form no character (a lead byte without its trail byte, a byte that cannot start a
//     character, a code with no character in the table). The reading with fewer wins.
//  5. A text valid in both (or equally broken in both) is decided by how Japanese text is
//     distributed: each character of a reading costs -2 ln of its share of Japanese prose
//     (jis_character_cost.inc, counted over Debian's Japanese manual pages by
//     scripts/make-detection-model), and the cheaper reading wins; a tie goes to Shift_JIS.
//     Half-width katakana spell whole words, so a run of them is priced letter by letter by
//     how katakana words start, go on and end (halfwidth_katakana_cost.inc, counted over the
//     same pages), plus what it costs that a run starts at all: an EUC-JP kanji read as
//     Shift_JIS becomes two half-width letters that words seldom pair (a sound mark after a
//     letter that takes none, a long-vowel mark opening a word, a small letter ending one),
//     and a run of Shift_JIS half-width katakana read as EUC-JP becomes a string of rare
//     kanji. A run the text's end cuts off is not priced for how it ends: the text may be a
//     part cut anywhere. There is no fixed preference beyond the tie.
#pragma once

#include <cstdint>
#include <string_view>

namespace sarnavel {

// The converter's inputs. Detection answers one of the first four; Utf8 is UTF-8 text the
// reading step made itself for the UTF-8 target, which the converter passes on as it is.
enum class InputEncoding { Ascii, Iso2022Jp, ShiftJis, EucJp, Utf8 };

// Whether every byte of the text forms a character of code page 932 / of EUC-JP.
bool readsAsShiftJis(std::string_view text);
bool readsAsEucJp(std::string_view text);

// The readings of a text as Shift_JIS, EUC-JP and UTF-8: whether each is valid (every byte
// forms a character) and what its characters cost, in the half-nats of step 5. The UTF-8
// reading is taken only when `utf8` says the caller takes the text for UTF-8 (it passed the
// lead-byte test, or is UTF-8 but for a few malformed sequences); it prices what code page 932
// holds as the other readings do and the rest by how likely it is in a Japanese site (a Latin
// letter inside a word little, an IPA letter or a combining mark much, a malformed sequence
// most). Its cost is computed only when another reading is valid too, and
// the cost of an invalid reading means nothing. Used by the source-encoding decision
// (encoding_decision.h).
struct ReadingScore {
  bool valid = false;
  std::uint64_t cost = 0;
};
struct CandidateReadings {
  ReadingScore shiftJis, eucJp, utf8;
};
CandidateReadings readCandidates(std::string_view text, bool utf8);

InputEncoding detectInputEncoding(std::string_view text);

// The quick checks alone (steps 1 to 3), which look at a Shift_JIS text only up to its first
// byte that EUC-JP never uses: ISO-2022-JP, ASCII, Shift_JIS so far (the rest may still turn
// out malformed), or undecided. The converter converts a text that is Shift_JIS so far
// straight away and asks detectInputEncoding only when the rest turns out malformed.
// EUC-JP so far: no designation, and the Shift_JIS reading meets a malformed byte before any
// byte EUC-JP never uses; detectInputEncoding then says EUC-JP exactly when every byte reads
// as EUC-JP.
enum class QuickVerdict { Iso2022Jp, Ascii, ShiftJisSoFar, EucJpSoFar, Undecided };
QuickVerdict quickVerdict(std::string_view text);

}  // namespace sarnavel
