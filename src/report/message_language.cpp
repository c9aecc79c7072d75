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
    {"{2} に {1} のファイルがありません（--kinds でほかの種類も変換できます）",
     "no {1} file in {2}; --kinds adds others"},
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
    // Under a file's log line: why it was left as it was.
    {"参照先は指定されたフォルダーとファイルの外にあり、持ち主がこのページと違うため変換しません: {1}",
     "not converted: it lies outside the folders and files named and has another owner than this page: {1}"},
    {"参照先はバイナリファイルのため変換しません: {1}", "not converted: the file it loads is a binary: {1}"},
    {"参照先は読み込む要素に合う種類のファイルではないため変換しません: {1}",
     "not converted: the file it loads is not of the kind its element loads: {1}"},
    {"ファイルが変換中に他のプログラムによって変更されたため、書き換えませんでした。",
     "another program changed the file while it was converted; it was not written."},
    {"ファイルが読み込む前に別のものに置き換えられたため、読まずにそのままにしました。",
     "the file was replaced by something else before it was read; it was left unread."},
    {"ファイルに書き込む権限がないため、書き換えませんでした。", "you may not write the file; it was not written."},
    {"フォルダーに一時ファイルを作れないため、書き換えませんでした。",
     "no temporary file can be made in its folder; it was not written."},
    {"拡張属性またはACLをバックアップに引き継げないため、バックアップを作らず、書き換えませんでした。",
     "an extended attribute or ACL cannot be carried to a backup; no backup was made and the file was not written."},
    {"書き込みが途中で失敗しました。元の内容は同じフォルダーの隠しファイルに残してあり、次の実行で元に戻されます。",
     "the write failed half-way; the former content is kept in a hidden file in the same folder and the next run "
     "puts it back."},
    {"前回の実行が途中で止まり、バックアップ（."
     "bak）がこのファイル自身の別名のまま残っています。このファイルはその場で書"
     "き換えるしかなく、そうするとバックアップも書き換わるため、書き換えませんでした。",
     "an earlier run stopped half-way and left the backup (.bak) as a second name of this very file; the file could "
     "only be written in place, which would write the backup too, so it was not written."},
    {"バックアップフォルダーの中にシンボリックリンク（またはフォルダーでないもの）があり、その先にはバックアップを作ら"
     "ない"
     "ため、書き換えませんでした。",
     "a symbolic link, or something that is no folder, lies in the backup folder, and no backup is made through it; "
     "not written."},
    {"ファイル自体に書き込むには復元用のコピーを実行の記録に残す必要がありますが、記録できないため、書き換えませんでし"
     "た。",
     "writing into the file itself needs its recovery copy in the record of runs, which cannot be kept; it was not "
     "written."},
    {"ディスクがいっぱいです（ENOSPC）。ファイルはそのままです。", "the disk is full (ENOSPC); the file is as it was."},
    {"ディスクの使用量の上限を超えます（EDQUOT）。ファイルはそのままです。",
     "the disk quota is exceeded (EDQUOT); the file is as it was."},
    {"ファイルの大きさの上限を超えます（EFBIG、ulimit -f など）。ファイルはそのままです。",
     "the file-size limit is exceeded (EFBIG, ulimit -f or the like); the file is as it was."},
    {"読み取り専用のファイルシステムです（EROFS）。ファイルはそのままです。",
     "the file system is read-only (EROFS); the file is as it was."},
    {"ディスクの読み書きに失敗しました（EIO）。ファイルはそのままです。",
     "the disk failed to read or write (EIO); the file is as it was."},
    {"type=\"module\" のスクリプトとして読み込まれ、常に UTF-8 として読まれるため、{1} "
     "には変換せずそのままにしました。",
     "loaded as a type=\"module\" script, which is always read as UTF-8; left as it is, not converted to {1}."},
    {"復元用のコピーが残っているため変換しません（このユーザーの実行が作ったものではないか、使えないもの）: {1}",
     "not converted: a recovery copy lies beside it (not made by a run of yours, or not usable): {1}"},
    {"読み込むページがどれも変換できなかったため、変換しません（変換すると、ページが名前を挙げる文字コードと合わなくな"
     "り"
     "ます）: {1}",
     "not converted: none of the pages that load it could be converted (converted, it would no longer be in the "
     "encoding they name): {1}"},
    {"変換できなかったページは元の文字コードのままで、このファイルと合わなくなりました: {1}",
     "the pages that could not be converted still name the former encoding, which this file is no longer in: {1}"},
    {" ほか {1} 件", " and {1} more"},
    {"指定されたフォルダーとファイルの外にありますが、ページが読み込むため変換しました。",
     "outside the folders and files named, but converted because a page loads it."},
    {"フォルダーをディスクに書き出せませんでした（fsync が失敗）。変換した内容は停電などで失われるかもしれません。",
     "the folder could not be flushed to disk (fsync failed); the converted content may be lost in a power cut."},
    {"変換しない種類のページが読み込んでいます。そのページの charset は変換前の文字コードのままです: {1}",
     "pages of a kind not converted load it; their charset still names the former encoding: {1}"},
    {"サーバーが HTTP で {1} と伝えるため、ブラウザーは meta より優先します。{2} に変えてください: {3}",
     "the server announces {1} over HTTP, which browsers obey over the meta; change it to {2}: {3}"},
    {"サーバーが HTTP で伝える文字コードを {1} から {2} に書き換えました（元の内容は {3}）: {4}",
     "the encoding the server announces over HTTP was changed from {1} to {2} (the former content is in {3}): {4}"},
    {"サーバーが HTTP で伝える文字コードを {1} から {2} に書き換えました（バックアップなし）: {3}",
     "the encoding the server announces over HTTP was changed from {1} to {2} (no backup): {3}"},
    {"サーバーが HTTP で {1} と伝える行を書き換えませんでした（{2}）。{3} に変えるのは確かめてからにしてください: {4}",
     "the line that has the server announce {1} was not changed ({2}); check before you change it to {3}: {4}"},
    {"実行が途中で止められました", "the run was stopped"},
    {"フォルダー自体は指定されておらず、ほかのファイルは変換していません",
     "its folder was not named, so its other files were not converted"},
    {"この行が決めるフォルダーのうち、たどらなかったフォルダーかリンクがあります: {1}",
     "a folder or link below it was not walked: {1}"},
    {"この行が決めるファイルを変換できませんでした: {1}", "a file it governs was not converted: {1}"},
    {"この行が決める、変換しない種類のページがあります: {1}", "a page of a kind not taken is governed by it: {1}"},
    {"実行が読んだ後に変更されています", "it changed since the run read it"},
    {"（最初は {1}）", " (the first at {1})"},
    {"実行が書いた後に変更されているため、元に戻しませんでした。", "changed since the run wrote it; not taken back."},
    {"バックアップがないか、通常のファイルではないため、元に戻しませんでした: {1}",
     "its backup is missing or not a regular file; not taken back: {1}"},
    {"バックアップのフォルダーにこのファイルのものかもしれないバックアップが複数あるため、元に戻しませんでした: {1}",
     "the backup folder holds more than one backup that may be its own; not taken back: {1}"},
    {"バックアップが変換前の内容ではなくなっているため、元に戻しませんでした: {1}",
     "its backup no longer holds the former content; not taken back: {1}"},
    {"後の実行が書き換えていて、その実行はまだ元に戻されていないため、元に戻しませんでした: {1}",
     "a later run, not taken back yet, wrote it again; not taken back: {1}"},
    {"すでに変換前の内容でした。書き換えていません。", "it held its former content already; nothing written."},
    {"元に戻しましたが、実行の記録に残せないため、バックアップはそのまま残しました: {1}",
     "taken back, but its backup stays, as the run's memory could not record it: {1}"},
    {"指定された文字コード {1} の文字にならないバイトが {2} 個あります{3}。変換せずそのままにしました。",
     "{2} bytes are no characters of {1}, the encoding named{3}; left as it is, not converted."},
    {"{1} にない文字が {2} 個あり、文字参照も書けないため変換せずそのままにしました（sarnavel-cli --allow-loss なら 〓 "
     "にして変換します）: {3}",
     "{2} characters that {1} lacks, where no reference can stand for them; left as it is, not converted "
     "(sarnavel-cli --allow-loss writes them as 〓): {3}"},
    {"{1} は読みませんでした（{2}）。サーバーがこのファイルを何の文字コードとして送るか確かめてください。",
     "{1} was not read ({2}); check what encoding the server announces for this file."},
    {"シンボリックリンク", "a symbolic link"},
    {"通常のファイルではない", "not a regular file"},
    {"1 MiB より大きい", "larger than 1 MiB"},
    {"読めない", "unreadable"},
    {"文字コード: {1}（{2}）", "encoding: {1} ({2})"},
    // Under a file's log line: what did not travel as itself, and what the site now does otherwise.
    {"文字コードがバイトからは決まりません（{1} とも {2} とも読めます）。{1} として読みました。",
     "the bytes do not settle the encoding (they read as {1} and as {2}); read as {1}."},
    {"バイトだけなら {2} と読めますが、{3} {1} として読みました。",
     "the bytes alone read as {2}, but {3}, it was read as {1}."},
    {"読み込む要素の charset に従って", "following the charset of the element that loads it"},
    {"読み込むページの文字コードに従って", "following the encoding of the page that loads it"},
    {"サイトのほかのファイルに合わせて", "as the site's other files are"},
    {"{1} にない文字 {2} 個を代わりの文字（〓 など）にしました: {3}",
     "{2} characters that {1} lacks were written as stand-ins (〓 or the like): {3}"},
    {"文字 {1} 個を文字参照・エスケープで書きました（表示は変わりません）: {2}",
     "{1} characters were written as references or escapes (they show the same): {2}"},
    {"文字にならないバイトが {1} 個ありました。", "{1} bytes formed no character."},
    {"文字にならないバイトが {1} 個ありました（最初は {2}）。", "{1} bytes formed no character (the first at {2})."},
    {"accept-charset のない form は、これから {1} で送信されます（受け取る CGI を確かめてください）: action=\"{2}\"",
     "a form without accept-charset now submits in {1} (check the CGI that receives it): action=\"{2}\""},
    {"URL のクエリーの ASCII 以外の文字は、これから {1} でパーセントエンコードされます: {2}",
     "the non-ASCII characters of a URL's query are now percent-encoded in {1}: {2}"},
    {"ほかにも同じ form が {1} 個あります。", "{1} more such forms."},
    {"ほかにも同じ URL が {1} 個あります。", "{1} more such URLs."},
    // The command line.
    {"変換先の文字コードの指定（-t）がありません: Shift_JIS に変換します",
     "no target encoding given (-t): converting to Shift_JIS"},
    {"試し（dry run）: すべてのファイルをメモリー上で読んで変換します。何も書きません",
     "dry run: every file is read and converted in memory; nothing is written"},
    {"詳しくは 'sarnavel-cli --help' を見てください。", "Try 'sarnavel-cli --help' for more information."},
    {"レポート {1} は変換するファイルの一つです", "the report {1} is one of the files to convert"},
    {"レポート {1} はバックアップ（NAME.bak）の名前です。ファイルの唯一の元の内容かもしれません",
     "the report {1} is named like a backup (NAME.bak), which may hold the only former content of a file"},
    {"レポート {1} はページ、スタイルシート、スクリプトの名前です。ページが読み込むかもしれません",
     "the report {1} is named like a page, style sheet or script, which a page may load"},
    {"レポート {1} はページ、スタイルシート、スクリプトの名前のファイルにつながっています。ページが読み込むかもしれませ"
     "ん",
     "the report {1} leads to a file named like a page, style sheet or script, which a page may load"},
    {"レポート {1} は名前がいくつもあるファイル（ハードリンク）です。ページが別の名前で読み込むかもしれません",
     "the report {1} is a file of several names (hard links), which a page may load under another"},
    {"標準出力", "standard output"},
    {"レポート", "report"},
    {"ログ", "log"},
    {"{1}が閉じています: {2}を書く先がありません。何も変換しませんでした",
     "{1} is closed: there is nowhere to write the {2}; nothing was converted"},
    {"ログを標準出力に書けません（{1}）: 処理中のファイルのあとで止めます。ログの残りはここに続きます",
     "cannot write the log to standard output ({1}): stopping after the files under way; the rest of the log follows "
     "here"},
    {"標準エラー出力", "standard error"},
    {"{1}は変換するファイルの一つです", "{1} is one of the files to convert"},
    {"{1}はページ、スタイルシート、スクリプトの名前か、名前がいくつもあるファイルです。ページが読み込むかもしれません",
     "{1} is a file named like a page, style sheet or script, or of several names, which a page may load"},
    // Under a page's log line: where it cannot show what it showed before.
    {"type=\"module\" のスクリプトが読み込む {1} は、常に UTF-8 として読まれるため、{2} には変換しません。",
     "{1}, loaded as a type=\"module\" script, is always read as UTF-8; it is not converted to {2}."},
    {"スクリプトが書き出す script 要素の charset を、読み込む {1} に合わせて書き換えました。",
     "the charset of the script element a script writes was changed to match {1}, the file it loads."},
    {"<xmp> や <plaintext> の中では文字参照が読まれないため、変換先にない文字が参照のまま表示されます: {1}",
     "references are not read inside <xmp> or <plaintext>: the characters the target lacks show as their "
     "references: {1}"},
    {"<iframe>、<noembed>、<noframes> "
     "の中の文字は表示されませんが、変換先にない文字はスクリプトから参照のまま読まれます: {1}",
     "the text inside <iframe>, <noembed> or <noframes> is not shown, but scripts read the characters the target "
     "lacks there as their references: {1}"},
    {" ほか", " and others"},
    {"スクリプトが書き出す要素の charset は書き換えられないため、読み込まれるファイルは変換後に誤って読まれます: {1}",
     "the charset of an element a script writes cannot be rewritten: the file it loads is misread once converted: "
     "{1}"},
    {"スクリプトが要素に設定する charset は書き換えられないため、読み込まれるファイルは変換後に誤って読まれます: {1}",
     "the charset a script sets on an element cannot be rewritten: the file it loads is misread once converted: {1}"},
    {"ほかにも同じ要素が {1} 個あります。", "{1} more such elements."},
    {"コードの中に、読んだ文字コードの文字にならないバイトがあります。変換せずそのままにしました。",
     "the code holds bytes that are no character of the encoding it was read in: left as it was."},
    {"コードの中に変換先にない文字 {1} があります（コードは書き換えないため、文字参照にできません）。変換せずそのまま"
     "にしました。",
     "the code holds {1}, which the target lacks (code is never edited, so no reference can stand for it): left as "
     "it was."},
    {"PHP のコードの中の文字 {1} は 2 バイト目が \\（0x5C）で、PHP はそれをバックスラッシュとして読みます。変換す"
     "るとコードの意味が変わるため、変換せずそのままにしました。",
     "the PHP code holds {1}, whose second byte is \\ (0x5C), which PHP reads as a backslash; converted, the code "
     "would mean something else: left as it was."},
    {"インクルードするファイルはこの実行では変換しないため、元の文字コードのまま入ります: {1}",
     "the files it includes are not converted by this run and go in in their former encoding: {1}"},
    {"コードはこの文字コードではバイトのまま保てないため、変換せずそのままにしました。",
     "code cannot be kept byte for byte in this encoding: left as it was."},
    {"コードが文字コードを指定しています。変換先に合わせて書き換えてください: {1} → {2}",
     "the code names an encoding: change it for the target: {1} → {2}"},
    // The command line's usage errors.
    {"オプション --kinds には種類の一覧が要ります（{1}）", "option --kinds needs a list of kinds ({1})"},
    {"--kinds の一覧 '{1}' に空の名前があります", "an empty name in the list of --kinds '{1}'"},
    {"--kinds に知らない種類 '{1}' があります（{2}）", "unknown kind '{1}' in --kinds ({2})"},
    {"知らない文字コードです: '{1}'（shift_jis、euc-jp、utf-8、iso-2022-jp のどれか）",
     "unknown encoding '{1}' (shift_jis, euc-jp, utf-8 or iso-2022-jp)"},
    {"読む文字コード '{1}' を知りません（shift_jis、euc-jp、iso-2022-jp、utf-8、windows-1252 "
     "など。名前の一覧は --list-encodings で見られます）",
     "unknown source encoding '{1}' (shift_jis, euc-jp, iso-2022-jp, utf-8, windows-1252; --list-encodings lists "
     "the names)"},
    {"知らない改行コードです: '{1}'（keep、crlf、lf、cr のどれか）",
     "unknown line ending '{1}' (keep, crlf, lf or cr)"},
    {"オプション --report にはファイル名が要ります（標準出力なら -）",
     "option --report needs a file name (or - for standard output)"},
    {"オプション --backup-dir にはフォルダーが要ります", "option --backup-dir needs a folder"},
    {"オプション --suffix には '/' を含まない接尾辞が要ります（.bak や ~ など）",
     "option --suffix needs a suffix without '/' (such as .bak or ~)"},
    {"オプション --force には実行の ID が要ります", "option --force needs the id of a run"},
    {"オプション {1} には値が要ります", "option {1} needs a value"},
    {"知らないオプションです: {1}", "unknown option {1}"},
    {"オプション {1} は値を取りません", "option {1} takes no value"},
    {"オプション {1} はどのオプションか決まりません（ほかの名前の始まりでもあります）", "option {1} is ambiguous"},
    {"--force は --undo と一緒にしか使えません", "--force goes with --undo only"},
    {"--runs、--undo、--restore、--check は一緒に使えません",
     "--runs, --undo, --restore and --check do not go together"},
    {"-t、-f、-n、--no-backup、--keep-characters、--allow-loss、--kinds、--[no-]fix-server-charset "
     "は変換にだけ使えます。--runs、--undo、--restore とは使えません",
     "-t, -f, -n, --no-backup, --keep-characters, --allow-loss, --kinds and --[no-]fix-server-charset go with a "
     "conversion only, not with --runs, --undo or --restore"},
    {"--backup-dir と --suffix は --runs、--undo と一緒に使えません",
     "--backup-dir and --suffix do not go with --runs or --undo"},
    {"--runs はパスを取りません。--dry-run や --report とも一緒に使えません",
     "--runs takes no path, and --dry-run and --report do not go with it"},
    {"--undo が取る実行は一つまでです", "--undo takes at most one run"},
    {"元に戻すファイルの指定がありません", "no file given to restore"},
    {"--keep-characters は変換先が UTF-8（-t utf-8）のときだけ使えます",
     "--keep-characters needs the UTF-8 target (-t utf-8)"},
    {"--check は各ファイルが何かを伝えるだけです: -t、-f、-n、--no-backup、--backup-dir、--suffix、--dry-run、"
     "--allow-loss は一緒に使えません",
     "--check tells what each file is: -t, -f, -n, --no-backup, --backup-dir, --suffix, --dry-run and --allow-loss "
     "do not go with it"},
    {"--check は読むだけです: --fix-server-charset は一緒に使えません",
     "--check reads only: --fix-server-charset does not go with it"},
    {"-q と -v は一緒に使えません", "-q and -v do not go together"},
    {"--backup-dir と --suffix はバックアップの名前を決めます: --no-backup とは使えません",
     "--backup-dir and --suffix name backups: not with --no-backup"},
    {"ファイルもフォルダーも指定されていません", "no file or folder given"},
    // Taking a run back.
    {"試し（dry run）: 各ファイルを調べ、することをログに書きます。何も書き換えません",
     "dry run: each file is looked at and what would be done is logged; nothing is written"},
    {"元に戻せる実行の記録がありません（一覧は sarnavel-cli --runs で。取り消しは、その ID を --undo "
     "に指定するとやり直せます）",
     "no remembered run to take back (sarnavel-cli --runs lists them; an undo is redone by giving its id to --undo)"},
    {"この ID の実行の記録はありません", "no remembered run has this id"},
    {"ID がこう始まる実行がいくつもあります。もっと長く指定してください",
     "several runs' ids begin so; give more of it"},
    {"取り消しの実行ですが、やり直すための内容が残っていません。ファイルをもう一度変換してください",
     "is an undo that kept nothing to redo with; convert the files again"},
    {"--no-backup で行った実行のため、元に戻せません", "was made with --no-backup and cannot be taken back"},
    {"この実行（またはその取り消し）がまだ続いています。終わってからもう一度試してください",
     "is still going on, or an undo of it is; try again once it has ended"},
    {"後の実行 {1} がまだ元に戻されていません。先にそれを元に戻すか、--force {2} を指定してください",
     "the later run {1} is not taken back; take it back first, or give --force {2}"},
    // The report's file.
    {"レポートを読むプログラムを待っています", "waiting for a program to read the report"},
    {"レポートを {1} に書けません: {2}", "cannot write the report to {1}: {2}"},
    {"レポートを書けません（{1}）。実行は続けます", "cannot write the report ({1}); the run goes on"},
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
