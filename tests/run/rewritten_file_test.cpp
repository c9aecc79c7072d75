// A file the run wrote, visited again: the record remembered from the first conversion is the
// one a full second conversion gives, and it is given only while the file is as written.
#include "run/rewritten_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "engine/css_conversion.h"
#include "engine/javascript_conversion.h"
#include "support/targets.h"
#include "support/temp_folder.h"

namespace sarnavel {
namespace {

using testing::asTarget;
using testing::TempFolder;
using namespace std::string_literals;

// Everything of a record a report or a log line reads.
std::string dump(const DocumentResult& d) {
  std::string out = std::to_string(static_cast<int>(d.source.encoding)) + "/" +
                    std::to_string(static_cast<int>(d.source.basis)) + " decl";
  for (const Declaration& c : d.declarations)
    out += " " + std::to_string(static_cast<int>(c.form)) + ":" + c.formerCharset + ":" +
           std::to_string(static_cast<int>(c.fate));
  out += " refs " + std::to_string(d.references.size()) + " notices " + std::to_string(d.pageNotices.size()) +
         " escaped " + std::to_string(d.escaped.size()) + " lost " + std::to_string(d.lost.size()) + " invalid " +
         std::to_string(d.invalidBytes.count);
  for (const LineBreakCounts& b : {d.lineBreaksBefore, d.lineBreaksAfter})
    out += " breaks " + std::to_string(b.crlf) + "," + std::to_string(b.lf) + "," + std::to_string(b.cr);
  return out + " bytes " + std::to_string(d.bytesBefore) + "," + std::to_string(d.bytesAfter);
}

DocumentResult convert(DocumentKind kind, std::string& text, const TargetChoice& options,
                       const EncodingEvidence& evidence) {
  return kind == DocumentKind::StyleSheet ? convertCss(text, options, evidence)
                                          : convertJavaScript(text, options, evidence);
}

struct SecondVisitCase {
  DocumentKind kind;
  int target;
  LineEnding lineEnding;
  std::string original;
  bool remembered;  // false: the second visit converts in full
};

TEST(RewrittenFile, TheRememberedRecordIsTheSecondConversionsOwn) {
  const DocumentKind sheet = DocumentKind::StyleSheet, script = DocumentKind::Script;
  const LineEnding keep = LineEnding::Unchanged;
  const std::vector<SecondVisitCase> cases = {
      {sheet, 3, keep, "p{}\n", true},
      {sheet, 0, keep, "p{}\n", true},
      {sheet, 1, keep, "p{}\n", true},
      {sheet, 3, keep, "@charset \"Shift_JIS\";\r\np:before{content:\"\x93\xFA\"}\r\n", true},
      {sheet, 0, keep, "@charset \"Shift_JIS\";\r\np:before{content:\"\x93\xFA\"}\r\n", true},
      {sheet, 3, keep, "/* c */ @charset \"Shift_JIS\";\rp{}\r", true},
      {sheet, 3, keep, "", true},
      {sheet, 3, LineEnding::CrLf, "p{}\na{}\r", true},
      {sheet, 0, keep, "@charset \"utf-8\";\np:before{content:\"\xC3\xA9\xE6\x97\xA5\"}\n", true},
      {script, 3, keep, "x='\x93\xFA';\n", true},
      {script, 0, keep, "x='\xE6\x97\xA5\xC3\xA9';\r\n", true},
      {script, 1, LineEnding::Lf, "x='\x93\xFA';\r\ny=1;\r", true},
      {script, 3, keep, "", true},
      {script, 2, keep, "x='\x93\xFA';\n", false},      // ISO-2022-JP
      {script, 3, keep, "\xEF\xBB\xBFx=1;\n", true},    // its byte order mark dropped
      {script, 3, keep, "x='\x93\xFA\xFF';\n", false},  // a byte that forms no character
  };
  for (const SecondVisitCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.original) + " to " + std::to_string(c.target));
    TargetChoice options{asTarget(c.target), c.lineEnding, false};
    std::string written = c.original;
    const DocumentResult first = convert(c.kind, written, options, {});
    TempFolder folder;
    const std::filesystem::path path = folder.put("a", written);
    struct stat info;
    ASSERT_EQ(::lstat(path.c_str(), &info), 0);
    const std::optional<RewrittenFile> file =
        rewrittenFileOf(c.kind, options.targetEncoding, first, written, stampOf(info));
    ASSERT_EQ(file.has_value(), c.remembered);
    if (!file) continue;
    EncodingEvidence again;
    again.writtenByThisRun = options.targetEncoding;
    std::string secondText = written;
    const DocumentResult second = convert(c.kind, secondText, options, again);
    EXPECT_EQ(secondText, written);  // given back as it was
    const std::optional<DocumentResult> known =
        unchangedSinceWritten(path.native(), *file, c.kind, options.targetEncoding);
    ASSERT_TRUE(known.has_value());
    EXPECT_EQ(dump(*known), dump(second));
  }
}

TEST(RewrittenFile, AFileChangedSinceIsNotTakenForTheOneWritten) {
  TempFolder folder;
  const std::filesystem::path path = folder.put("a.js", "x=1;\n");
  struct stat info;
  ASSERT_EQ(::lstat(path.c_str(), &info), 0);
  const RewrittenFile file{stampOf(info), {0, 1, 0}, {}};
  ASSERT_TRUE(unchangedSinceWritten(path.native(), file, DocumentKind::Script, TargetEncoding::Utf8));
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "x=12;\n";  // rewritten in place
  EXPECT_FALSE(unchangedSinceWritten(path.native(), file, DocumentKind::Script, TargetEncoding::Utf8));
}

}  // namespace
}  // namespace sarnavel
