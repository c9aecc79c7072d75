// The language of the messages: Japanese, the source texts, or English.
//
// Messages are what the programs say to the user beside the log's own lines: errors, notices
// and warnings on standard error (cli_notices.h, the command line's usage errors, an undo's
// refusals in run_listing.h), and the sentences under a file's log line (file_notes.h,
// file_warnings.h, fidelity_notes.h: the wording's language). Not messages, and never
// translated: the log's 成功:/失敗: lines with their reasons and the summary (run_messages.h),
// the report's codes and the check's names (report_names.h), which scripts read; the report's
// texts, the check's problems among them (written for the record, in Japanese); and the
// command line's --list-encodings, names only. The command line's --help follows the language
// too, but as two whole texts side by side (cli/cli_options.cpp), not through this table.
//
// The locale is read as POSIX orders it: the first of LC_ALL, LC_MESSAGES and LANG that is set
// and not empty names it; one beginning with "ja" gives Japanese, anything else (C, POSIX,
// en_US.UTF-8) or none gives English. The English is a table of our own, Japanese source text
// to English text, since gettext translates nothing under the C locale.
//
// A source text may hold places for values, {1} to {9}, which its English text holds too (in
// the order English wants them). A text the table lacks is written as it is.
//
// Pure but messageLanguage, which reads the environment.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace sarnavel {

enum class MessageLanguage { Japanese, English };

// The language the locale's values name (each possibly null or empty).
MessageLanguage messageLanguageOf(const char* lcAll, const char* lcMessages, const char* lang);
// The language of this process's environment; the desktop program asks it too.
MessageLanguage messageLanguage();

// The message `japanese` in `language`, its places {1}, {2}, ... filled with `values`.
std::string message(MessageLanguage language, std::string_view japanese,
                    std::initializer_list<std::string_view> values = {});

// The table: each source text with its English.
std::span<const std::pair<std::string_view, std::string_view>> englishMessages();

}  // namespace sarnavel
