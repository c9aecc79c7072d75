#include "report/message_language.h"

#include <cstdlib>

namespace sarnavel {
namespace {

// Japanese source text, English text.
constexpr std::pair<std::string_view, std::string_view> kEnglish[] = {
    // What the intake met.
    {"そのようなファイルやフォルダーはありません", "no such file or folder"},
    {"ページ、スタイルシート、スクリプトのどれでもありません。読み飛ばしました",
     "not a page, style sheet or script; passed over"},
    {"変換する種類（{1}）ではありません。読み飛ばしました", "not of a kind taken ({1}); passed over"},
    {"{2} に {1} のファイルがありません", "no {1} file in {2}"},
    {"読めません（{1}）。中のファイルは除きました", "cannot be read ({1}); its files are left out"},
    {"たどっている間に移動しました。まだたどっていない下の部分は除きました",
     "moved while it was walked; what was not yet walked below it is left out"},
    {"フォルダーへのリンクです。たどりません（変換するにはそのフォルダー自体を指定してください）",
     "a link to a folder; not followed (name the folder itself to convert it)"},
    {"指定したフォルダーの外にあるファイルへのリンクです。読み飛ばしました",
     "a link to a file outside the folders named; passed over"},
    {"たどっている途中のフォルダーです（ループ）。もう一度は入りません",
     "a folder already being walked (a loop); not entered again"},
    // The settings file.
    {"設定ファイルを読めません。その設定は使いません", "the settings file cannot be read; its settings are not used"},
    {"セクションでも設定でもありません: {1}。読み飛ばしました", "not a section nor a setting: {1}; passed over"},
    {"kinds: {1} は種類の一覧ではありません（{2}）。既定の種類を使います",
     "kinds: {1} is no list of kinds ({2}); the default kinds are taken"},
    {"fix_server_charset: {1} は true でも false でもありません。使いません",
     "fix_server_charset: {1} is neither true nor false; not used"},
    {"backup_suffix \"{1}\" はバックアップの名前になりません。.bak を使います",
     "backup_suffix \"{1}\" names no backup; .bak is used"},
    // What the run tells besides the files.
    {"別の実行（プロセス {1}）", "another run (process {1})"},
    {"別の実行", "another run"},
    {"{1}が {2} のファイルを変換しています。終わるのを待ちます",
     "{1} is converting files in {2}; waiting for it to end"},
    {"止められた実行が書きかけのまま残していました。元の内容を戻しました",
     "a run killed while writing it left it half-written; its former content is put back"},
    {"止められた実行がここに残した元の内容は残します: "
     "そのファイルの名前は別のファイルを指しているか、何も指していません",
     "the former content a killed run kept here stays: its file's name now leads to another file, or to none"},
    {"以前の実行の記録の一部を読めませんでした。それらは考えに入れません",
     "some records of earlier runs could not be read; they are not taken into account"},
    {"以前の実行の記録をここには置けません（あなただけのフォルダーでないか、書き込めません）。この実行は記録を読みも書"
     "きもしません",
     "the record of earlier runs cannot be kept there (not a folder of yours alone, or not writable); this run "
     "neither reads nor keeps one"},
    {"この実行の記録を書けませんでした。その場でしか書けないファイルはそのままにします",
     "this run's record could not be written; files that could only be written in place are left as they are"},
    {"バックアップ先のフォルダーが指定したフォルダーの中にあります: バックアップがサイトと一緒に公開されます",
     "the backup folder lies inside a folder named: its backups would go with the site"},
    {"バックアップ先のフォルダーが指定したフォルダーを含んでいます: バックアップがサイトの中に置かれるかもしれません",
     "the backup folder holds a folder named: a backup could land in the site"},
    // The command line.
    {"変換先の文字コードの指定（-t）がありません: Shift_JIS に変換します",
     "no target encoding given (-t): converting to Shift_JIS"},
    {"試し（dry run）: すべてのファイルをメモリー上で読んで変換します。何も書きません",
     "dry run: every file is read and converted in memory; nothing is written"},
    {"詳しくは 'sarnavel-cli --help' を見てください。", "Try 'sarnavel-cli --help' for more information."},
};

// The text with its places filled.
std::string filled(std::string_view text, std::initializer_list<std::string_view> values) {
  std::string out;
  for (std::size_t k = 0; k < text.size(); ++k) {
    const std::size_t place = k + 2 < text.size() && text[k] == '{' && text[k + 2] == '}' ? text[k + 1] - '1' : 9;
    if (place < values.size()) {
      out += values.begin()[place];
      k += 2;
    } else {
      out += text[k];
    }
  }
  return out;
}

bool set(const char* value) { return value && *value; }

}  // namespace

MessageLanguage messageLanguageOf(const char* lcAll, const char* lcMessages, const char* lang) {
  const char* locale = set(lcAll) ? lcAll : set(lcMessages) ? lcMessages : set(lang) ? lang : nullptr;
  return locale && std::string_view(locale).starts_with("ja") ? MessageLanguage::Japanese : MessageLanguage::English;
}

MessageLanguage messageLanguage() {
  return messageLanguageOf(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

std::string message(MessageLanguage language, std::string_view japanese,
                    std::initializer_list<std::string_view> values) {
  if (language == MessageLanguage::English) {
    for (const auto& [source, english] : kEnglish)
      if (source == japanese) return filled(english, values);
  }
  return filled(japanese, values);
}

std::span<const std::pair<std::string_view, std::string_view>> englishMessages() { return kEnglish; }

}  // namespace sarnavel
