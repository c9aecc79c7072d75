// Accuracy of the converter's input-encoding detection (detectInputEncoding) between
// Shift_JIS and EUC-JP on real Japanese text (see japanese_corpus.h).
//
// Two texts are measured:
//   full-width   the corpus as it is
//   half-width   the corpus with every katakana word turned into half-width katakana (ICU
//                Fullwidth-Halfwidth applied to U+30A1-U+30FC only); only snippets that
//                contain a half-width katakana character count. This is the hard case:
//                Shift_JIS half-width katakana bytes (A1-DF) look like EUC-JP bytes, and
//                EUC-JP half-width katakana (8E xx) look like Shift_JIS kanji.
// Each text is encoded once as Shift_JIS (code page 932) and once as EUC-JP; messages that
// either encoding cannot hold are left out. For each snippet length (8, 16, 32, 64, 512 bytes)
// random snippets are cut at character boundaries: a random first character, then as many
// whole characters as fit into the length. Snippets without a byte >= 0x80 are not counted.
// A snippet is an error when detection answers anything but the encoding it is in. A row
// "32, byte cuts" cuts 32 bytes at any byte offset (snippets may start or end inside a
// character), for information. Whole documents are the catalogs, each joined, one by one,
// and all of them joined.
//
// The goal: no error on whole documents, at most 1 in 1,000 on 32-byte snippets.
//
// The whole decision (decideSourceEncoding, encoding_decision.h) is measured too, on the
// full-width text, against what the program decided before it (the UTF-8 test first): short
// Shift_JIS and EUC-JP snippets that are also valid UTF-8 (undeclared, with their declaration,
// and in a site of their encoding), all 32-byte snippets of each encoding and of UTF-8, and
// one-word scripts (var label = "WORD"; with a run of kanji from the corpus) undeclared and in a
// site. Goals: no error with a declaration or a site; at most 1 in 1,000 on undeclared 32-byte
// snippets.
//
// Usage: detection_accuracy [snippets per length=100000] [examples per row=4]
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/encoding_decision.h"
#include "engine/encoding_detection.h"
#include "text/utf8.h"
#include "japanese_corpus.h"

namespace {

using sarnavel::InputEncoding;

const char* encodingName(InputEncoding e) {
  switch (e) {
    case InputEncoding::Ascii: return "ASCII";
    case InputEncoding::Iso2022Jp: return "ISO-2022-JP";
    case InputEncoding::ShiftJis: return "Shift_JIS";
    case InputEncoding::EucJp: return "EUC-JP";
    case InputEncoding::Utf8: return "UTF-8";
  }
  return "?";
}

// One text in both encodings, with the byte offset of every character in each.
struct EncodedText {
  std::string utf8, sjis, euc;
  // Offsets of character k (k = 0..count) in each encoding.
  std::vector<std::size_t> utf8At, sjisAt, eucAt;
  // Running counts over characters 0..k-1: non-ASCII characters, half-width katakana.
  std::vector<std::size_t> nonAsciiBefore, halfWidthBefore;
  std::size_t characters() const { return sjisAt.size() - 1; }
};

class Encoders {
 public:
  Encoders() : sjis_("windows-31j"), euc_("EUC-JP") {}
  // Both encodings of one code point, cached.
  const std::pair<std::string, std::string>* of(char32_t c) {
    auto found = cache_.find(c);
    if (found != cache_.end()) return found->second ? &*found->second : nullptr;
    std::u16string wide;
    if (c > 0xFFFF) {
      wide.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      wide.push_back(static_cast<char16_t>(c));
    }
    auto s = sjis_.encodeUtf16(wide);
    auto e = euc_.encodeUtf16(wide);
    std::optional<std::pair<std::string, std::string>> both;
    if (s && e) both = std::make_pair(*s, *e);
    auto& slot = cache_[c] = both;
    return slot ? &*slot : nullptr;
  }
  bool holds(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
      if (!of(bench::nextCodePoint(utf8, i))) return false;
    }
    return true;
  }
  // Whole texts go through ICU in one piece (both encodings are stateless, so this is the
  // same as joining the characters).
  std::string sjis(std::string_view utf8) { return *sjis_.encode(utf8); }
  std::string euc(std::string_view utf8) { return *euc_.encode(utf8); }

 private:
  bench::IcuCodec sjis_, euc_;
  std::unordered_map<char32_t, std::optional<std::pair<std::string, std::string>>> cache_;
};

EncodedText encodeText(std::string utf8, Encoders& encoders) {
  EncodedText t;
  t.utf8 = std::move(utf8);
  t.utf8At.push_back(0), t.sjisAt.push_back(0), t.eucAt.push_back(0);
  t.nonAsciiBefore.push_back(0), t.halfWidthBefore.push_back(0);
  for (std::size_t i = 0; i < t.utf8.size();) {
    char32_t c = bench::nextCodePoint(t.utf8, i);
    const auto* both = encoders.of(c);
    t.sjis += both->first;
    t.euc += both->second;
    t.utf8At.push_back(i), t.sjisAt.push_back(t.sjis.size()), t.eucAt.push_back(t.euc.size());
    t.nonAsciiBefore.push_back(t.nonAsciiBefore.back() + (c >= 0x80));
    t.halfWidthBefore.push_back(t.halfWidthBefore.back() + bench::isHalfWidthKatakana(c));
  }
  return t;
}

std::string printable(std::string_view utf8) {
  std::string out;
  for (char c : utf8) {
    if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else out += c;
  }
  return out;
}

struct Example {
  std::string bytes, utf8;
  InputEncoding answer;
};

struct Count {
  std::size_t snippets = 0, errors = 0;
  std::vector<Example> examples;
  void add(bool error, std::string_view bytes, std::string_view utf8, InputEncoding answer, std::size_t keep) {
    ++snippets;
    if (!error) return;
    ++errors;
    if (examples.size() < keep) examples.push_back({std::string(bytes), std::string(utf8), answer});
  }
};

struct Row {
  std::string label;
  Count sjis, euc;
};

std::string rate(const Count& c) {
  char buffer[64];
  if (c.snippets == 0) return "-";
  std::snprintf(buffer, sizeof buffer, "%zu (%.3f%%)", c.errors,
                100.0 * static_cast<double>(c.errors) / static_cast<double>(c.snippets));
  return buffer;
}

void printTable(const char* title, const std::vector<Row>& rows) {
  std::printf("\n%s\n\n", title);
  std::printf("| length | SJIS snippets | SJIS errors (rate) | EUC snippets | EUC errors (rate) |\n");
  std::printf("|---|---:|---:|---:|---:|\n");
  for (const Row& r : rows) {
    std::printf("| %s | %zu | %s | %zu | %s |\n", r.label.c_str(), r.sjis.snippets, rate(r.sjis).c_str(),
                r.euc.snippets, rate(r.euc).c_str());
  }
}

void printExamples(const char* text, const std::vector<Row>& rows) {
  for (const Row& r : rows) {
    for (const auto* count : {&r.sjis, &r.euc}) {
      if (count->examples.empty()) continue;
      const char* truth = count == &r.sjis ? "Shift_JIS" : "EUC-JP";
      std::printf("\n  %s, %s, %s read as %s (%zu of %zu):\n", text, r.label.c_str(), truth,
                  encodingName(count->examples.front().answer), count->errors, count->snippets);
      for (const Example& e : count->examples) {
        std::printf(
            "    %s\n      \"%s\"%s\n", bench::hexBytes(e.bytes).c_str(), printable(e.utf8).c_str(),
            e.answer == count->examples.front().answer ? "" : (std::string(" -> ") + encodingName(e.answer)).c_str());
      }
    }
  }
}

// Snippets of whole characters of at most `length` bytes from random first characters.
Row measureSnippets(const EncodedText& t, std::size_t length, std::size_t samples, bool needHalfWidth, std::size_t keep,
                    std::mt19937_64& random) {
  Row row{std::to_string(length), {}, {}};
  std::uniform_int_distribution<std::size_t> first(0, t.characters() - 1);
  for (std::size_t n = 0; n < samples; ++n) {
    std::size_t i = first(random);
    for (int which = 0; which < 2; ++which) {
      const std::vector<std::size_t>& at = which == 0 ? t.sjisAt : t.eucAt;
      const std::string& bytes = which == 0 ? t.sjis : t.euc;
      // The last character boundary j with at[j] - at[i] <= length.
      std::size_t j =
          static_cast<std::size_t>(
              std::upper_bound(at.begin() + static_cast<std::ptrdiff_t>(i), at.end(), at[i] + length) - at.begin()) -
          1;
      if (j <= i) continue;
      if (t.nonAsciiBefore[j] == t.nonAsciiBefore[i]) continue;
      if (needHalfWidth && t.halfWidthBefore[j] == t.halfWidthBefore[i]) continue;
      std::string_view snippet(bytes.data() + at[i], at[j] - at[i]);
      InputEncoding truth = which == 0 ? InputEncoding::ShiftJis : InputEncoding::EucJp;
      InputEncoding answer = sarnavel::detectInputEncoding(snippet);
      std::string_view utf8(t.utf8.data() + t.utf8At[i], t.utf8At[j] - t.utf8At[i]);
      (which == 0 ? row.sjis : row.euc).add(answer != truth, snippet, utf8, answer, keep);
    }
  }
  return row;
}

// Snippets of exactly `length` bytes from random byte offsets (may cut characters).
Row measureByteCuts(const EncodedText& t, std::size_t length, std::size_t samples, bool needHalfWidth, std::size_t keep,
                    std::mt19937_64& random) {
  Row row{std::to_string(length) + ", byte cuts", {}, {}};
  for (int which = 0; which < 2; ++which) {
    const std::vector<std::size_t>& at = which == 0 ? t.sjisAt : t.eucAt;
    const std::string& bytes = which == 0 ? t.sjis : t.euc;
    std::uniform_int_distribution<std::size_t> first(0, bytes.size() - length);
    for (std::size_t n = 0; n < samples; ++n) {
      std::size_t start = first(random);
      std::string_view snippet(bytes.data() + start, length);
      if (std::none_of(snippet.begin(), snippet.end(), [](char c) { return c & 0x80; })) continue;
      // The characters the snippet touches, for the half-width filter and the example text.
      std::size_t i = static_cast<std::size_t>(std::upper_bound(at.begin(), at.end(), start) - at.begin()) - 1;
      std::size_t j = static_cast<std::size_t>(std::lower_bound(at.begin(), at.end(), start + length) - at.begin());
      if (needHalfWidth && t.halfWidthBefore[j] == t.halfWidthBefore[i]) continue;
      InputEncoding truth = which == 0 ? InputEncoding::ShiftJis : InputEncoding::EucJp;
      InputEncoding answer = sarnavel::detectInputEncoding(snippet);
      std::string_view utf8(t.utf8.data() + t.utf8At[i], t.utf8At[j] - t.utf8At[i]);
      (which == 0 ? row.sjis : row.euc).add(answer != truth, snippet, utf8, answer, keep);
    }
  }
  return row;
}

struct Document {
  std::string name, utf8;
};

Row measureDocuments(const std::vector<Document>& documents, Encoders& encoders, bool needHalfWidth, std::size_t keep) {
  Row row{"whole documents", {}, {}};
  for (const Document& d : documents) {
    if (needHalfWidth) {
      bool any = false;
      for (std::size_t i = 0; i < d.utf8.size() && !any;)
        any = bench::isHalfWidthKatakana(bench::nextCodePoint(d.utf8, i));
      if (!any) continue;
    }
    std::string sjis = encoders.sjis(d.utf8), euc = encoders.euc(d.utf8);
    InputEncoding a = sarnavel::detectInputEncoding(sjis);
    InputEncoding b = sarnavel::detectInputEncoding(euc);
    std::string label = d.name + " (" + std::to_string(sjis.size()) + " bytes)";
    row.sjis.add(a != InputEncoding::ShiftJis, std::string_view(sjis).substr(0, 64), label, a, keep);
    row.euc.add(b != InputEncoding::EucJp, std::string_view(euc).substr(0, 64), label, b, keep);
  }
  return row;
}

std::unique_ptr<icu::Transliterator> katakanaToHalfWidth() {
  UErrorCode err = U_ZERO_ERROR;
  std::unique_ptr<icu::Transliterator> t(icu::Transliterator::createInstance(
      icu::UnicodeString::fromUTF8("[\\u30A1-\\u30FC] Fullwidth-Halfwidth"), UTRANS_FORWARD, err));
  if (U_FAILURE(err) || !t) {
    std::fprintf(stderr, "ICU has no Fullwidth-Halfwidth transliterator: %s\n", u_errorName(err));
    std::exit(1);
  }
  return t;
}

std::string transliterate(icu::Transliterator& t, const std::string& utf8) {
  icu::UnicodeString s = icu::UnicodeString::fromUTF8(utf8);
  t.transliterate(s);
  std::string out;
  s.toUTF8String(out);
  return out;
}

// --- The whole decision: UTF-8 against the Japanese encodings ---------------------------------

using sarnavel::EncodingDecision;
using sarnavel::EncodingEvidence;
using sarnavel::SourceEncoding;

// What the program decided before the joint decision: UTF-8 whenever the lead-byte test
// passes, else the Japanese detection.
SourceEncoding decidedBefore(std::string_view bytes) {
  if (sarnavel::isUtf8Text(bytes)) return SourceEncoding::Utf8;
  switch (sarnavel::detectInputEncoding(bytes)) {
    case InputEncoding::ShiftJis: return SourceEncoding::ShiftJis;
    case InputEncoding::EucJp: return SourceEncoding::EucJp;
    case InputEncoding::Iso2022Jp: return SourceEncoding::Iso2022Jp;
    case InputEncoding::Utf8: return SourceEncoding::Utf8;
    case InputEncoding::Ascii: break;
  }
  return SourceEncoding::Ascii;
}

const char* sourceName(SourceEncoding e) {
  switch (e) {
    case SourceEncoding::Ascii: return "ASCII";
    case SourceEncoding::ShiftJis: return "Shift_JIS";
    case SourceEncoding::EucJp: return "EUC-JP";
    case SourceEncoding::Iso2022Jp: return "ISO-2022-JP";
    case SourceEncoding::Utf8: return "UTF-8";
    case SourceEncoding::Latin1: return "Latin-1";
    case SourceEncoding::Utf16: return "UTF-16";
  }
  return "?";
}

struct DecisionRow {
  std::string label;
  SourceEncoding truth;
  std::size_t texts = 0, before = 0, after = 0;
  std::size_t silent = 0, uncertain = 0;  // errors after without a word; decisions that name another reading
  std::vector<std::pair<std::string, SourceEncoding>> examples = {};  // bytes, answer
};

// The evidence of a row: none, the document's own declaration, or a site of five files of the
// truth's encoding around it.
enum class Around { Nothing, Declaration, Site };

EncodingEvidence evidenceFor(Around around, SourceEncoding truth) {
  EncodingEvidence e;
  if (around == Around::Declaration)
    e.declared = truth == SourceEncoding::ShiftJis ? "Shift_JIS" : truth == SourceEncoding::EucJp ? "EUC-JP" : "UTF-8";
  if (around == Around::Site) {
    for (int k = 0; k < 5; ++k) e.site.add(EncodingDecision{truth, sarnavel::DecisionBasis::Declaration});
  }
  return e;
}

void countDecision(DecisionRow& row, std::string_view bytes, Around around, std::size_t keep) {
  ++row.texts;
  const SourceEncoding before = decidedBefore(bytes);
  const EncodingDecision decision = sarnavel::decideSourceEncoding(bytes, evidenceFor(around, row.truth));
  const SourceEncoding after = decision.encoding;
  if (before != row.truth) ++row.before;  // the program used no evidence before
  row.uncertain += decision.otherReading.has_value();
  if (after != row.truth) {
    ++row.after;
    row.silent += !decision.otherReading;
    if (row.examples.size() < keep) row.examples.push_back({std::string(bytes), after});
  }
}

// The runs of kanji (a word, as near as one gets without a dictionary) of the corpus, in UTF-8.
std::vector<std::string> kanjiWords(const std::string& utf8, std::size_t most) {
  std::vector<std::string> words;
  std::string word;
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t start = i;
    char32_t c = bench::nextCodePoint(utf8, i);
    if (c >= 0x4E00 && c <= 0x9FFF) {
      word.append(utf8, start, i - start);
    } else {
      if (!word.empty() && word.size() <= 12) words.push_back(word);
      word.clear();
    }
  }
  std::mt19937_64 random(7);
  std::shuffle(words.begin(), words.end(), random);
  if (words.size() > most) words.resize(most);
  return words;
}

void printDecisionTable(const std::vector<DecisionRow>& rows) {
  std::printf(
      "\n| texts | truth | count | errors before (UTF-8 test first) | errors after (joint decision) | of them "
      "silent | said uncertain |\n");
  std::printf("|---|---|---:|---:|---:|---:|---:|\n");
  for (const DecisionRow& r : rows) {
    auto pct = [&](std::size_t n) {
      char b[64];
      std::snprintf(b, sizeof b, "%zu (%.3f%%)", n,
                    r.texts ? 100.0 * static_cast<double>(n) / static_cast<double>(r.texts) : 0.0);
      return std::string(b);
    };
    std::printf("| %s | %s | %zu | %s | %s | %zu | %s |\n", r.label.c_str(), sourceName(r.truth), r.texts,
                pct(r.before).c_str(), pct(r.after).c_str(), r.silent, pct(r.uncertain).c_str());
  }
  std::printf("\nExamples of wrong answers after:\n");
  for (const DecisionRow& r : rows) {
    for (const auto& [bytes, answer] : r.examples) {
      std::printf("  %s, %s read as %s: %s\n", r.label.c_str(), sourceName(r.truth), sourceName(answer),
                  bench::hexBytes(bytes).c_str());
    }
  }
}

std::vector<DecisionRow> measureDecisions(const EncodedText& t, Encoders& encoders, std::size_t samples,
                                          std::size_t keep, std::mt19937_64& random) {
  std::vector<DecisionRow> rows;
  const struct {
    const char* name;
    Around around;
  } arounds[] = {{"undeclared", Around::Nothing}, {"declared", Around::Declaration}, {"in a site", Around::Site}};
  // Snippets of whole characters that are valid UTF-8 too, and all 32-byte snippets undeclared.
  for (std::size_t length : {8, 16, 32}) {
    for (const auto& around : arounds) {
      for (int which = 0; which < 2; ++which) {
        DecisionRow row{std::to_string(length) + "-byte snippets valid as UTF-8, " + around.name,
                        which == 0 ? SourceEncoding::ShiftJis : SourceEncoding::EucJp};
        const std::vector<std::size_t>& at = which == 0 ? t.sjisAt : t.eucAt;
        const std::string& bytes = which == 0 ? t.sjis : t.euc;
        std::uniform_int_distribution<std::size_t> first(0, t.characters() - 1);
        for (std::size_t n = 0; n < samples; ++n) {
          std::size_t i = first(random);
          std::size_t j = static_cast<std::size_t>(
                              std::upper_bound(at.begin() + static_cast<std::ptrdiff_t>(i), at.end(), at[i] + length) -
                              at.begin()) -
                          1;
          if (j <= i || t.nonAsciiBefore[j] == t.nonAsciiBefore[i]) continue;
          std::string_view snippet(bytes.data() + at[i], at[j] - at[i]);
          if (!sarnavel::isUtf8Text(snippet)) continue;
          countDecision(row, snippet, around.around, keep);
        }
        rows.push_back(std::move(row));
      }
    }
  }
  for (int which = 0; which < 3; ++which) {
    const SourceEncoding truth = which == 0   ? SourceEncoding::ShiftJis
                                 : which == 1 ? SourceEncoding::EucJp
                                              : SourceEncoding::Utf8;
    DecisionRow row{"32-byte snippets, all, undeclared", truth};
    const std::vector<std::size_t>& at = which == 0 ? t.sjisAt : which == 1 ? t.eucAt : t.utf8At;
    const std::string& bytes = which == 0 ? t.sjis : which == 1 ? t.euc : t.utf8;
    std::uniform_int_distribution<std::size_t> first(0, t.characters() - 1);
    for (std::size_t n = 0; n < samples; ++n) {
      std::size_t i = first(random);
      std::size_t j =
          static_cast<std::size_t>(std::upper_bound(at.begin() + static_cast<std::ptrdiff_t>(i), at.end(), at[i] + 32) -
                                   at.begin()) -
          1;
      if (j <= i || t.nonAsciiBefore[j] == t.nonAsciiBefore[i]) continue;
      countDecision(row, std::string_view(bytes.data() + at[i], at[j] - at[i]), Around::Nothing, keep);
    }
    rows.push_back(std::move(row));
  }
  // One-word scripts: var label = "WORD";
  const std::vector<std::string> words = kanjiWords(t.utf8, samples);
  for (const Around around : {Around::Nothing, Around::Site}) {
    for (int which = 0; which < 3; ++which) {
      const SourceEncoding truth = which == 0   ? SourceEncoding::ShiftJis
                                   : which == 1 ? SourceEncoding::EucJp
                                                : SourceEncoding::Utf8;
      DecisionRow row{std::string("one-word scripts, ") + (around == Around::Site ? "in a site" : "undeclared"), truth};
      for (const std::string& word : words) {
        const std::string encoded = which == 0 ? encoders.sjis(word) : which == 1 ? encoders.euc(word) : word;
        countDecision(row, "var label = \"" + encoded + "\";\n", around, keep);
      }
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t samples = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  const std::size_t keep = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 4;

  std::vector<bench::Catalog> catalogs = bench::loadJapaneseCatalogs();
  if (catalogs.empty()) {
    bench::reportMissingCorpus();
    return 0;
  }
  Encoders encoders;
  auto halfWidth = katakanaToHalfWidth();

  // Both texts, message by message; and the documents (one per catalog, plus all joined).
  std::vector<std::string> fullMessages, halfMessages;
  std::vector<Document> fullDocuments, halfDocuments;
  std::size_t total = 0, droppedFull = 0, droppedHalf = 0;
  for (const auto& catalog : catalogs) {
    Document full{catalog.name, {}}, half{catalog.name, {}};
    for (const auto& m : catalog.messages) {
      ++total;
      if (encoders.holds(m)) {
        fullMessages.push_back(m);
        full.utf8 += m + "\n";
      } else {
        ++droppedFull;
      }
      std::string h = transliterate(*halfWidth, m);
      if (encoders.holds(h)) {
        halfMessages.push_back(h);
        half.utf8 += h + "\n";
      } else {
        ++droppedHalf;
      }
    }
    if (!full.utf8.empty()) fullDocuments.push_back(std::move(full));
    if (!half.utf8.empty()) halfDocuments.push_back(std::move(half));
  }
  EncodedText fullText = encodeText(bench::joinMessages(fullMessages), encoders);
  EncodedText halfText = encodeText(bench::joinMessages(halfMessages), encoders);
  fullDocuments.push_back({"all catalogs", fullText.utf8});
  halfDocuments.push_back({"all catalogs", halfText.utf8});

  std::printf(
      "Corpus: %zu catalogs, %zu messages; left out (not in both code page 932 and ICU EUC-JP): %zu full-width, %zu "
      "half-width\n",
      catalogs.size(), total, droppedFull, droppedHalf);
  std::printf(
      "Full-width text: %zu characters, %zu bytes as Shift_JIS. Half-width text: %zu characters, %zu half-width "
      "katakana.\n",
      fullText.characters(), fullText.sjis.size(), halfText.characters(), halfText.halfWidthBefore.back());
  std::printf(
      "%zu random snippets per length (fixed seed); only snippets with a byte >= 0x80 (and, for the half-width text, "
      "a half-width katakana) count.\n",
      samples);

  std::mt19937_64 random(20240601);
  const std::size_t lengths[] = {8, 16, 32, 64, 512};
  std::vector<Row> fullRows, halfRows;
  for (std::size_t length : lengths)
    fullRows.push_back(measureSnippets(fullText, length, samples, false, keep, random));
  fullRows.push_back(measureByteCuts(fullText, 32, samples, false, keep, random));
  fullRows.push_back(measureDocuments(fullDocuments, encoders, false, keep));
  for (std::size_t length : lengths) halfRows.push_back(measureSnippets(halfText, length, samples, true, keep, random));
  halfRows.push_back(measureByteCuts(halfText, 32, samples, true, keep, random));
  halfRows.push_back(measureDocuments(halfDocuments, encoders, true, keep));

  printTable("Full-width text (the corpus as it is):", fullRows);
  printTable("Half-width text (katakana made half-width; snippets containing half-width katakana):", halfRows);

  auto goal = [](const char* text, const std::vector<Row>& rows) {
    const Row& at32 = rows[2];
    const Row& docs = rows.back();
    bool documentsOk = docs.sjis.errors == 0 && docs.euc.errors == 0;
    bool snippetsOk = at32.sjis.errors * 1000 <= at32.sjis.snippets && at32.euc.errors * 1000 <= at32.euc.snippets;
    std::printf("Goal, %s: whole documents without error: %s; 32-byte snippets at most 1 in 1,000: %s\n", text,
                documentsOk ? "met" : "NOT met", snippetsOk ? "met" : "NOT met");
  };
  std::printf("\n");
  goal("full-width text", fullRows);
  goal("half-width text", halfRows);

  std::printf(
      "\nThe whole decision (decideSourceEncoding) between UTF-8, Shift_JIS and EUC-JP, on the full-width text; "
      "before: the UTF-8 test first, then the detection, as the program decided until now:\n");
  std::mt19937_64 decisionRandom(20240602);
  printDecisionTable(measureDecisions(fullText, encoders, samples, keep, decisionRandom));

  std::printf("\nExamples of wrong answers (bytes as given to the detection, then the text in UTF-8):\n");
  printExamples("full-width", fullRows);
  printExamples("half-width", halfRows);
  return 0;
}
