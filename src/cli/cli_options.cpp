#include "cli/cli_options.h"

#include <getopt.h>

#include <string_view>

#include "engine/charset_label.h"
#include "text/ascii.h"

namespace sarnavel {
namespace {

std::string lowered(const std::string& text) { return lowercaseCopy(text); }

// "html, css, js, xhtml, ..." : the names a kind list takes.
std::string kindNamesText() {
  std::string text;
  for (const KindName& each : kindNames()) text += (text.empty() ? "" : ", ") + std::string(each.name);
  return text;
}

bool lineEndingFromName(const std::string& name, LineEnding& out) {
  std::string n = lowered(name);
  if (n == "keep" || n == "unchanged") out = LineEnding::Unchanged;
  else if (n == "crlf") out = LineEnding::CrLf;
  else if (n == "lf") out = LineEnding::Lf;
  else if (n == "cr") out = LineEnding::Cr;
  else return false;
  return true;
}

// Each target's names: the one the program writes first, then the others it accepts.
struct TargetNames {
  TargetEncoding target;
  std::vector<std::string_view> names;
};

const std::vector<TargetNames>& targetNames() {
  static const std::vector<TargetNames> kNames = {
      {TargetEncoding::ShiftJis, {"shift_jis", "shift-jis", "sjis", "cp932", "windows-31j", "ms932"}},
      {TargetEncoding::EucJp, {"euc-jp", "euc_jp", "eucjp"}},
      {TargetEncoding::Utf8, {"utf-8", "utf8"}},
      {TargetEncoding::Iso2022Jp, {"iso-2022-jp", "iso2022jp", "jis"}},
  };
  return kNames;
}

// What the files read may be in, by name, and the labels a declaration may name it by (ASCII,
// read as any of them, has no line).
const std::pair<SourceEncoding, std::string_view> kSourceNames[] = {
    {SourceEncoding::ShiftJis, "shift_jis"},    {SourceEncoding::EucJp, "euc-jp"},
    {SourceEncoding::Iso2022Jp, "iso-2022-jp"}, {SourceEncoding::Utf8, "utf-8"},
    {SourceEncoding::Utf16, "utf-16"},          {SourceEncoding::Latin1, "windows-1252"},
};

}  // namespace

std::optional<TargetEncoding> targetFromName(const std::string& name) {
  const std::string n = lowered(name);
  for (const TargetNames& each : targetNames()) {
    for (std::string_view known : each.names) {
      if (n == known) return each.target;
    }
  }
  return std::nullopt;
}

std::string encodingListText() {
  std::string text = "Targets (-t), each by its name, then the other names -t accepts:\n";
  for (const TargetNames& each : targetNames()) {
    for (std::string_view name : each.names) text += std::string(name) + (name == each.names.back() ? "\n" : " ");
  }
  text += "Read, each by its name, then the other labels a declaration may use:\n";
  for (const auto& [encoding, name] : kSourceNames) {
    text += name;
    for (const CharsetLabel& label : charsetLabels()) {
      if (label.encoding == encoding && label.label != name) text += " " + std::string(label.label);
    }
    text += "\n";
  }
  return text;
}

namespace {

// The options getopt_long knows. Those without a short form have codes above any character.
enum OptionCode : int {
  kTo = 't',
  kFrom = 'f',
  kNewline = 'n',
  kHelp = 'h',
  kVersion = 'V',
  kQuiet = 'q',
  kVerbose = 'v',
  kNoFollowCss = 256,
  kNoFollowJs,
  kNoBackup,
  kDryRun,
  kKeepCharacters,
  kCheck,
  kReport,
  kListEncodings,
  kProgress,
  kNoProgress,
  kBackupDir,
  kSuffix,
  // The kinds taken and the server's charset.
  kKinds,
  kFixServerCharset,
  kNoFixServerCharset,
  kAllowLoss,
  // Taking conversions back.
  kRuns,
  kUndo,
  kForce,
  kRestore,
};

// '-' first: paths come back in place (code 1), so that they and options mix in any order
// whatever POSIXLY_CORRECT says; ':' next: a missing value is told apart from an unknown option.
constexpr char kShortOptions[] = "-:t:f:n:hVqv";

constexpr option kLongOptions[] = {
    {"to", required_argument, nullptr, kTo},
    {"from", required_argument, nullptr, kFrom},
    {"newline", required_argument, nullptr, kNewline},
    {"no-follow-css", no_argument, nullptr, kNoFollowCss},
    {"no-follow-js", no_argument, nullptr, kNoFollowJs},
    {"no-backup", no_argument, nullptr, kNoBackup},
    {"dry-run", no_argument, nullptr, kDryRun},
    {"keep-characters", no_argument, nullptr, kKeepCharacters},
    {"check", no_argument, nullptr, kCheck},
    {"report", required_argument, nullptr, kReport},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {"list-encodings", no_argument, nullptr, kListEncodings},
    {"quiet", no_argument, nullptr, kQuiet},
    {"verbose", no_argument, nullptr, kVerbose},
    {"progress", no_argument, nullptr, kProgress},
    {"no-progress", no_argument, nullptr, kNoProgress},
    {"backup-dir", required_argument, nullptr, kBackupDir},
    {"suffix", required_argument, nullptr, kSuffix},
    {"kinds", required_argument, nullptr, kKinds},
    {"fix-server-charset", no_argument, nullptr, kFixServerCharset},
    {"no-fix-server-charset", no_argument, nullptr, kNoFixServerCharset},
    {"allow-loss", no_argument, nullptr, kAllowLoss},
    // Taking conversions back.
    {"runs", no_argument, nullptr, kRuns},
    {"undo", no_argument, nullptr, kUndo},
    {"force", required_argument, nullptr, kForce},
    {"restore", no_argument, nullptr, kRestore},
    {nullptr, 0, nullptr, 0},
};

using L = MessageLanguage;

// The kinds --kinds names, or what is wrong with its list.
std::string setKinds(const std::string& value, CliOptions& o, L language) {
  const KindListParse parse = parseKindList(value);
  switch (parse.fault) {
    case KindListParse::Fault::None: break;
    case KindListParse::Fault::Empty:
      return message(language, "オプション --kinds には種類の一覧が要ります（{1}）", {kindNamesText()});
    case KindListParse::Fault::EmptyName:
      return message(language, "--kinds の一覧 '{1}' に空の名前があります", {value});
    case KindListParse::Fault::UnknownName:
      return message(language, "--kinds に知らない種類 '{1}' があります（{2}）", {parse.name, kindNamesText()});
  }
  o.conversion.kinds = parse.kinds;
  o.kindsGiven = true;
  return {};
}

// Sets the option `code` stands for, with its value if it takes one; what is wrong, or empty.
std::string setOption(int code, const std::string& value, CliOptions& o, bool& sawNewline, L language) {
  switch (code) {
    case kTo: {
      const std::optional<TargetEncoding> target = targetFromName(value);
      if (!target)
        return message(language, "知らない文字コードです: '{1}'（shift_jis、euc-jp、utf-8、iso-2022-jp のどれか）",
                       {value});
      o.conversion.targetEncoding = *target;
      o.targetGiven = true;
      break;
    }
    case kFrom: {
      // UTF-16 is known by its shape or mark, never taken on a name.
      const std::optional<SourceEncoding> source = encodingOfLabel(value);
      if (!source || *source == SourceEncoding::Utf16)
        return message(language,
                       "読む文字コード '{1}' を知りません（shift_jis、euc-jp、iso-2022-jp、utf-8、windows-1252 "
                       "など。名前の一覧は --list-encodings で見られます）",
                       {value});
      o.conversion.sourceEncoding = *source;
      break;
    }
    case kNewline:
      sawNewline = true;
      if (!lineEndingFromName(value, o.conversion.lineEnding))
        return message(language, "知らない改行コードです: '{1}'（keep、crlf、lf、cr のどれか）", {value});
      break;
    case kReport:
      if (value.empty()) return message(language, "オプション --report にはファイル名が要ります（標準出力なら -）");
      o.reportPath = value;
      break;
    case kBackupDir:
      if (value.empty()) return message(language, "オプション --backup-dir にはフォルダーが要ります");
      o.conversion.backupFolder = value;
      break;
    case kSuffix:
      if (value.empty() || value.find('/') != std::string::npos)
        return message(language, "オプション --suffix には '/' を含まない接尾辞が要ります（.bak や ~ など）");
      o.conversion.backupSuffix = value;
      o.suffixGiven = true;
      break;
    case kNoFollowCss: o.conversion.followCss = false; break;
    case kNoFollowJs: o.conversion.followJs = false; break;
    case kNoBackup: o.conversion.makeBackup = false; break;
    case kDryRun: o.dryRun = true; break;
    case kKeepCharacters: o.conversion.keepCharacters = true; break;
    case kCheck: o.check = true; break;
    case kHelp: o.help = true; break;
    case kVersion: o.version = true; break;
    case kListEncodings: o.listEncodings = true; break;
    case kQuiet: o.quiet = true; break;
    case kVerbose: o.verbose = true; break;
    case kProgress: o.progress = CliOptions::Progress::Always; break;
    case kNoProgress: o.progress = CliOptions::Progress::Never; break;
    case kKinds: return setKinds(value, o, language);
    case kFixServerCharset:
    case kNoFixServerCharset:
      o.conversion.fixServerCharset = code == kFixServerCharset;
      o.fixServerCharsetGiven = true;
      break;
    case kAllowLoss: o.conversion.allowLoss = true; break;
    // Taking conversions back.
    case kRuns: o.runs = true; break;
    case kUndo: o.undo = true; break;
    case kForce:
      if (value.empty()) return message(language, "オプション --force には実行の ID が要ります");
      o.force = value;
      break;
    case kRestore: o.restore = true; break;
  }
  return {};
}

// The long options whose names begin with `prefix` (getopt_long takes any unambiguous one).
int longOptionsStartingWith(std::string_view prefix) {
  int count = 0;
  for (const option* each = kLongOptions; each->name != nullptr; ++each) {
    if (std::string_view(each->name) == prefix) return 1;
    if (std::string_view(each->name).starts_with(prefix)) ++count;
  }
  return count;
}

// What getopt_long refused (`code` '?' or ':') in the argument `arg`, in our words rather than
// its own. `shortOption` is the short option at fault, when it was one.
std::string refusal(int code, std::string_view arg, int shortOption, L language) {
  const std::string name = arg.starts_with("--") ? std::string(arg.substr(0, arg.find('=')))
                                                 : std::string("-") + static_cast<char>(shortOption);
  if (code == ':') return message(language, "オプション {1} には値が要ります", {name});
  switch (name.starts_with("--") ? longOptionsStartingWith(std::string_view(name).substr(2)) : 0) {
    case 0: return message(language, "知らないオプションです: {1}", {name});
    case 1: return message(language, "オプション {1} は値を取りません", {name});
    default:
      return message(language, "オプション {1} はどのオプションか決まりません（ほかの名前の始まりでもあります）",
                     {name});
  }
}

// What the options of taking conversions back do not allow with the others, as a source text
// (message_language.h); null when they allow it.
const char* takingBackConflictOf(const CliOptions& o, bool sawNewline) {
  if (!o.force.empty() && !o.undo) return "--force は --undo と一緒にしか使えません";
  if (o.runs + o.undo + o.restore + o.check > 1) return "--runs、--undo、--restore、--check は一緒に使えません";
  if (o.targetGiven || sawNewline || !o.conversion.makeBackup || o.conversion.keepCharacters ||
      o.conversion.allowLoss || o.conversion.sourceEncoding || o.kindsGiven || o.fixServerCharsetGiven)
    return "-t、-f、-n、--no-backup、--keep-characters、--allow-loss、--kinds、--[no-]fix-server-charset "
           "は変換にだけ使えます。--runs、--undo、--restore とは使えません";
  // An undo takes each backup's name from the run's record; a restore takes FILE + SUFFIX beside
  // it or in the backup folder's mirror.
  if ((!o.conversion.backupFolder.empty() || o.suffixGiven) && !o.restore)
    return "--backup-dir と --suffix は --runs、--undo と一緒に使えません";
  if (o.runs && (o.dryRun || !o.reportPath.empty() || !o.paths.empty()))
    return "--runs はパスを取りません。--dry-run や --report とも一緒に使えません";
  if (o.undo && o.paths.size() > 1) return "--undo が取る実行は一つまでです";
  if (o.restore && o.paths.empty()) return "元に戻すファイルの指定がありません";
  return nullptr;
}

// What the options given together do not allow, as a source text; null when they allow it.
const char* conflictOf(const CliOptions& o, bool sawNewline) {
  if (o.runs || o.undo || o.restore || !o.force.empty()) return takingBackConflictOf(o, sawNewline);
  if (o.conversion.keepCharacters && o.conversion.targetEncoding != TargetEncoding::Utf8)
    return "--keep-characters は変換先が UTF-8（-t utf-8）のときだけ使えます";
  // A check converts nothing: the options of a conversion mean nothing there.
  const bool backupNamed = !o.conversion.backupFolder.empty() || o.suffixGiven;
  if (o.check && (o.targetGiven || o.dryRun || !o.conversion.makeBackup || sawNewline || backupNamed ||
                  o.conversion.sourceEncoding || o.conversion.allowLoss))
    return "--check は各ファイルが何かを伝えるだけです: -t、-f、-n、--no-backup、--backup-dir、--suffix、--dry-run、"
           "--allow-loss は一緒に使えません";
  if (o.check && o.fixServerCharsetGiven && o.conversion.fixServerCharset)
    return "--check は読むだけです: --fix-server-charset は一緒に使えません";
  if (o.quiet && o.verbose) return "-q と -v は一緒に使えません";
  if (!o.conversion.makeBackup && backupNamed)
    return "--backup-dir と --suffix はバックアップの名前を決めます: --no-backup とは使えません";
  if (!o.help && !o.version && !o.listEncodings && o.paths.empty()) return "ファイルもフォルダーも指定されていません";
  return nullptr;
}

}  // namespace

CliParse parseCommandLine(const std::vector<std::string>& arguments, MessageLanguage language) {
  CliParse parse;
  CliOptions& o = parse.options;
  // getopt_long wants writable C strings behind a program name, ended by a null.
  std::vector<std::string> words{"sarnavel-cli"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(words.size());

  bool sawNewline = false;
  optind = 0;  // 0, not 1: glibc then forgets a bundle left half-read by an earlier call
  opterr = 0;
  for (;;) {
    const int at = optind == 0 ? 1 : optind;  // the argument getopt_long reads next
    const int code = getopt_long(argc, argv.data(), kShortOptions, kLongOptions, nullptr);
    if (code == -1) break;
    if (code == '?' || code == ':') {
      parse.error = refusal(code, argv[at], optopt, language);
      return parse;
    }
    if (code == 1) {
      o.paths.emplace_back(optarg);
    } else if (parse.error = setOption(code, optarg ? optarg : "", o, sawNewline, language); !parse.error.empty()) {
      return parse;
    }
  }
  for (int i = optind; i < argc; ++i) o.paths.emplace_back(argv[i]);  // what follows "--"
  if (const char* conflict = conflictOf(o, sawNewline)) parse.error = message(language, conflict);
  return parse;
}

namespace {

// The lines of --help on the kinds taken and the server's charset, and where their defaults are.
std::string kindOptionsText(MessageLanguage language) {
  if (language == MessageLanguage::Japanese)
    return "      --kinds LIST    変換するファイルの種類を名前で: html、css、js（既定）、\n"
           "                      xhtml、shtml、php、asp、jsp、xml、txt。+ で始まる一覧は\n"
           "                      既定に加えます（+xhtml,shtml）\n"
           "      --fix-server-charset\n"
           "                      変換したファイルの古い charset をサーバーに送らせる\n"
           "                      .htaccess の行を書き換えます（バックアップ .htaccess.bak）\n"
           "      --no-fix-server-charset\n"
           "                      その行は書き換えず（既定）、警告だけします\n"
           "                      （どちらも既定は ~/.config/sarnavel/sarnavel.conf の\n"
           "                      [conversion] のキー kinds と fix_server_charset）\n"
           "      --allow-loss    変換先にない文字を含むテキスト（txt）や、コメントに含む\n"
           "                      XML ファイルも、その文字をゲタ記号 U+3013 にして変換\n"
           "                      します（なければそのファイルはそのままにします）\n";
  return "      --kinds LIST    the kinds of file taken, by name: html, css, js (the\n"
         "                      default), xhtml, shtml, php, asp, jsp, xml, txt; a list\n"
         "                      beginning with + adds to the default (+xhtml,shtml)\n"
         "      --fix-server-charset\n"
         "                      rewrite the .htaccess lines that make the server send a\n"
         "                      converted file's old charset (backup .htaccess.bak)\n"
         "      --no-fix-server-charset\n"
         "                      leave them (the default); warn about them only\n"
         "                      (the defaults of both: ~/.config/sarnavel/sarnavel.conf,\n"
         "                      keys kinds and fix_server_charset of [conversion])\n"
         "      --allow-loss    convert a plain text (txt) even when it holds characters\n"
         "                      the target lacks, each written as the geta mark U+3013,\n"
         "                      and an XML file holding them in comments (without it\n"
         "                      such a file is left as it is)\n";
}

// What --help says after the options: what the files get, the check, the walk, the log, the
// signals and the exit statuses.
std::string whatItDoesText(MessageLanguage language) {
  if (language == MessageLanguage::Japanese)
    return "ページには新しい文字コードを示す meta 宣言を、スタイルシートには @charset\n"
           "規則を、ローカルのファイルを読み込む link 要素と script 要素には charset 属性を\n"
           "付けます。変換先にない文字は、そのファイルの言語のエスケープにします。\n"
           "そのままでは移せなかったもの（エスケープにした文字や失われた文字、文字に\n"
           "ならないバイト）と、サイトがこれから違う動きをするところ（accept-charset の\n"
           "ない form、ASCII 以外のクエリー、module のスクリプト、別の charset を示す\n"
           ".htaccess）は、ファイルのログの行の下に字下げした行で伝えます。試しの\n"
           "実行（dry run）でも同じです。\n"
           "\n"
           "--check はファイルごとにタブ区切りの行を一つ書きます: パス、バイトの文字コード\n"
           "（shift_jis、euc-jp、iso-2022-jp、utf-8、utf-8-bom、utf-16le、utf-16be、\n"
           "windows-1252、ascii）、それを宣言しているもの（WHERE=LABEL、なければ -）、\n"
           "問題（declaration-mismatch、no-declaration、server-declared、\n"
           "invalid-bytes@LINE:COLUMN、loaded-mismatch、byte-order-mark、mixed-line-breaks、\n"
           "unreadable）または ok。最後に文字コードごと、問題ごとのファイルの数を書きます。\n"
           "\n"
           "フォルダーをたどるとき、フォルダーへのリンクはたどらず、指定したフォルダーと\n"
           "ファイルの外にあるファイルへのリンクは読み飛ばします。指定したパスは必ず\n"
           "たどります。\n"
           "\n"
           "ログは標準出力に、ファイルごとに一行で書きます。名前の中の制御文字と UTF-8 で\n"
           "ないバイトはエスケープにします（\\n、\\x1b、\\xff。バックスラッシュは \\\\）。\n"
           "お知らせとエラーは標準エラー出力に 'sarnavel-cli: パス: ...' の形で書きます。\n"
           "ログのパイプの読み手がいなくなると（| head）、ファイルとファイルの間で黙って\n"
           "終わり、済んだファイルの終了ステータスを返します。それ以外の理由でログを書けない\n"
           "とき（ディスクがいっぱい）は、ファイルとファイルの間で止め、ログの残りを標準\n"
           "エラー出力に書きます。\n"
           "\n"
           "SIGINT（Ctrl-C）、SIGTERM、SIGHUP、SIGQUIT、SIGUSR1、SIGUSR2、SIGALRM は、\n"
           "書き込みの途中ではなく、ファイルとファイルの間で実行を止めます。起動時に無視\n"
           "されているシグナルは無視したままです。\n"
           "\n"
           "終了ステータス: すべてのファイルを変換したとき 0。失敗したファイルがある、パスが\n"
           "ない、フォルダーを読めない、ログかレポートを書けなかったとき 1（--check では、\n"
           "問題のあるファイルがなければ 0、あれば 1）。使い方の誤りは 2。シグナルで止まった\n"
           "ときは 128 + シグナルの番号（Ctrl-C は 130、SIGTERM は 143）。\n";
  return "Pages get a meta declaration naming the new encoding, style sheets an @charset\n"
         "rule, and the link and script elements that load local files a charset attribute.\n"
         "Characters the target cannot hold become escapes of the file's own language.\n"
         "What did not travel as itself (characters written as escapes or lost, bytes\n"
         "that formed no character) and what the site will now do differently (forms\n"
         "without accept-charset, non-ASCII queries, module scripts, an .htaccess naming\n"
         "another charset) is said in indented lines under the file's log line, in a\n"
         "dry run too.\n"
         "\n"
         "--check writes one line per file, tab-separated: PATH, the encoding its bytes\n"
         "are in (shift_jis, euc-jp, iso-2022-jp, utf-8, utf-8-bom, utf-16le, utf-16be,\n"
         "windows-1252, ascii), what declares it (WHERE=LABEL, or -), and its problems\n"
         "(declaration-mismatch, no-declaration, server-declared,\n"
         "invalid-bytes@LINE:COLUMN, loaded-mismatch, byte-order-mark, mixed-line-breaks,\n"
         "unreadable) or ok; then a summary of the files per encoding and per problem.\n"
         "\n"
         "The walk of a folder does not follow links to folders, and passes over links to\n"
         "files outside the folders and files named; a PATH named is always followed.\n"
         "\n"
         "The log goes to standard output, one line per file: control characters and bytes\n"
         "that are not UTF-8 in a name are written as escapes (\\n, \\x1b, \\xff; a\n"
         "backslash as \\\\). Notices and errors go to standard error as\n"
         "'sarnavel-cli: PATH: ...'. When the reader of the log's pipe has gone (| head),\n"
         "the run ends quietly between two files, with the status of the files done. A\n"
         "log that cannot be written otherwise (a full disk) stops the run between two\n"
         "files; the rest of the log then goes to standard error.\n"
         "\n"
         "SIGINT (Ctrl-C), SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2 and SIGALRM stop the\n"
         "run between two files, never in a write; a signal ignored at start stays ignored.\n"
         "\n"
         "Exit status: 0 when every file was converted; 1 when a file failed, a PATH does\n"
         "not exist, a folder could not be read, or the log or the report could not be\n"
         "written (with --check: 0 when no file has a problem, 1 when one has); 2 for a\n"
         "usage error; 128 + the signal's number when a signal stopped the run (130 for\n"
         "Ctrl-C, 143 for SIGTERM).\n";
}

}  // namespace

namespace {

// The lines of --help on taking conversions back.
std::string takingBackOptionsText(MessageLanguage language) {
  if (language == MessageLanguage::Japanese)
    return "      --runs          記録してある実行の一覧: ID、開始時刻、何をしたか、変換先、\n"
           "                      書いたままのファイル/書いたファイル、元に戻せるか\n"
           "      --undo [RUN]    最後の実行（または RUN）を元に戻します: 書いたファイルは\n"
           "                      それぞれバックアップから元の内容に戻り、バックアップは\n"
           "                      消えます\n"
           "      --force RUN     --undo と: 後の実行があっても RUN を元に戻します\n"
           "      --restore       指定したファイルをそれぞれ自分の FILE.bak（または FILE\n"
           "                      + 指定した --suffix。--backup-dir があればその中の\n"
           "                      写し）から元に戻します\n";
  return "      --runs          list the remembered runs: id, start, what it was, target,\n"
         "                      files still as written/written, whether it can be undone\n"
         "      --undo [RUN]    take the last run (or RUN) back: every file it wrote gets\n"
         "                      its former content from its backup, which then goes\n"
         "      --force RUN     with --undo: take RUN back although later runs follow it\n"
         "      --restore       put each file named back from its own FILE.bak (or FILE\n"
         "                      + the --suffix given; with --backup-dir, from its mirror\n"
         "                      there)\n";
}

}  // namespace

namespace {

// --help in Japanese: the same options, in the same order, as the English below (an option
// added goes into both).
std::string japaneseUsageText() {
  return "使い方: sarnavel-cli [オプション]... パス...\n"
         "  または: sarnavel-cli --runs | --undo [RUN] | --restore パス...\n"
         "日本語のウェブページ、スタイルシート、スクリプトを、その場で一つの文字コード\n"
         "に変換します。パスはファイルかフォルダーです。フォルダーはサブフォルダーまで\n"
         "たどり、その中の .html、.htm、.css、.js のファイルを変換します。\n"
         "\n"
         "  -t, --to ENC        変換先の文字コード: shift_jis（既定。そう伝えます）、\n"
         "                      euc-jp、utf-8、iso-2022-jp（sjis、cp932、eucjp、utf8\n"
         "                      でも可）\n"
         "  -f, --from ENC      どのファイルも ENC として読みます（shift_jis、euc-jp、\n"
         "                      iso-2022-jp、utf-8、windows-1252、ほかに --list-encodings\n"
         "                      が挙げる名前）。ファイルごとの手がかりには従いません。\n"
         "                      ENC の文字にならないバイトがあるファイルはそのままです\n"
         "  -n, --newline EOL   改行コード: keep（既定。変えない）、crlf、lf、cr\n"
         "      --no-follow-css ページが読み込むスタイルシートを変換しません\n"
         "      --no-follow-js  ページが読み込むスクリプトを変換しません\n"
         "      --no-backup     元の内容を FILE.bak に残しません\n"
         "      --backup-dir DIR\n"
         "                      バックアップをファイルの隣でなく DIR に、指定した\n"
         "                      フォルダーと同じ形で置きます（DIR はその中には置けません）\n"
         "      --suffix SUFFIX バックアップの名前を FILE + SUFFIX にします（既定は .bak。\n"
         "                      前からあるものはもう一つ付きます: FILE.bak.bak）\n"
         "                      （どちらも既定は ~/.config/sarnavel/sarnavel.conf の\n"
         "                      [conversion] のキー backup_dir と backup_suffix）\n"
         "      --dry-run       すべてのファイルをメモリー上で読んで変換し、何も書きません\n"
         "      --keep-characters\n"
         "                      -t utf-8 のとき: Shift_JIS にない文字もエスケープせず、\n"
         "                      どの文字もそのまま書きます\n"
         "      --check         すべてのファイルを読み、文字コード、それを宣言している\n"
         "                      もの、問題を伝えます。変換も書き込みもしません\n"
         "  -q, --quiet         失敗したファイル（--check では問題のあるファイル）と集計\n"
         "                      だけをログに書きます\n"
         "  -v, --verbose       各ファイルの下に、何として読んだか、何で決めたか（バイト、\n"
         "                      宣言、読み込んでいるもの、...）も書きます\n"
         "      --progress      標準エラー出力に進み具合の行（済んだファイルの数、時間、\n"
         "                      最後に済んだファイル）を出します。端末なら既定で出します\n"
         "      --no-progress   進み具合を出しません\n" +
         kindOptionsText(MessageLanguage::Japanese) + takingBackOptionsText(MessageLanguage::Japanese) +
         "      --report FILE   すべてのファイルの JSON Lines のレポートも FILE に書きます\n"
         "                      （- なら標準出力。ログはそのとき標準エラー出力へ）。形式:\n"
         "                      sarnavel-cli(1) と /usr/share/doc/sarnavel/report.md.gz\n"
         "  -h, --help          この説明を表示して終わります\n"
         "  -V, --version       版を表示して終わります\n"
         "      --list-encodings\n"
         "                      変換先と読める文字コードを、それぞれ受け付ける名前と\n"
         "                      一緒に挙げて終わります\n"
         "値はつなげても（-tutf-8、--to=utf-8）次の引数にしてもかまいません。長い\n"
         "オプションは、ほかと区別できるところまで短くできます。\n"
         "\n" +
         whatItDoesText(MessageLanguage::Japanese);
}

}  // namespace

std::string usageText(MessageLanguage language) {
  if (language == MessageLanguage::Japanese) return japaneseUsageText();
  return "Usage: sarnavel-cli [OPTION]... PATH...\n"
         "  or:  sarnavel-cli --runs | --undo [RUN] | --restore PATH...\n"
         "Convert Japanese web pages, style sheets and scripts in place to one encoding.\n"
         "Each PATH is a file or a folder; folders are walked with their subfolders and\n"
         "their .html, .htm, .css and .js files are taken.\n"
         "\n"
         "  -t, --to ENC        target encoding: shift_jis (the default, with a notice),\n"
         "                      euc-jp, utf-8, iso-2022-jp (also sjis, cp932, eucjp, utf8)\n"
         "  -f, --from ENC      read every file as ENC (shift_jis, euc-jp, iso-2022-jp,\n"
         "                      utf-8, windows-1252, or another name --list-encodings\n"
         "                      lists), not as each file's own evidence says; a file\n"
         "                      with bytes that are not characters of ENC is left as it is\n"
         "  -n, --newline EOL   line endings: keep (default), crlf, lf, cr\n"
         "      --no-follow-css do not convert the style sheets that pages load\n"
         "      --no-follow-js  do not convert the scripts that pages load\n"
         "      --no-backup     do not keep the former content as FILE.bak\n"
         "      --backup-dir DIR\n"
         "                      keep the backups in DIR, in a mirror of the folders named\n"
         "                      (DIR may not lie inside one), not beside the files\n"
         "      --suffix SUFFIX name the backups FILE + SUFFIX (default .bak; older ones\n"
         "                      take it once more: FILE.bak.bak)\n"
         "                      (the defaults of both: keys backup_dir and backup_suffix\n"
         "                      of [conversion] in ~/.config/sarnavel/sarnavel.conf)\n"
         "      --dry-run       read and convert every file in memory, write nothing\n"
         "      --keep-characters\n"
         "                      with -t utf-8: write every character as itself, with no\n"
         "                      escape for what Shift_JIS lacks\n"
         "      --check         read every file and tell what it is: its encoding, what\n"
         "                      declares it and its problems; convert and write nothing\n"
         "  -q, --quiet         log only the files that failed (with --check: that have a\n"
         "                      problem) and the summary\n"
         "  -v, --verbose       also say under each file what it was read as and what\n"
         "                      decided it (its bytes, its declaration, what loads it, ...)\n"
         "      --progress      show a progress line on standard error (files done, time,\n"
         "                      the file last done); the default when it is a terminal\n"
         "      --no-progress   show none\n" +
         kindOptionsText(language) + takingBackOptionsText(language) +
         "      --report FILE   also write a JSON Lines report of every file to FILE\n"
         "                      (- for standard output; the log then goes to standard\n"
         "                      error); its format: sarnavel-cli(1), and\n"
         "                      /usr/share/doc/sarnavel/report.md.gz\n"
         "  -h, --help          show this help and exit\n"
         "  -V, --version       show the version and exit\n"
         "      --list-encodings\n"
         "                      list the targets and the encodings read, with the\n"
         "                      names each is accepted by, and exit\n"
         "A value may be attached (-tutf-8, --to=utf-8) or follow as the next argument;\n"
         "a long option may be shortened to any prefix that names no other.\n"
         "\n" +
         whatItDoesText(language);
}

}  // namespace sarnavel
