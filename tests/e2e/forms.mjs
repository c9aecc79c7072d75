// The source forms of the corpus: one folder per form, each a small site made from one template
// set, written at test time by make-corpus.mjs and read back by driver.mjs the way a browser
// reads it.
//
// encoding: the WHATWG encoding a browser reads the files with (and the generator writes).
// bom:      the files start with a byte-order mark.
// world:    the text holds characters no Japanese encoding has (é, €, emoji, U+301C...).
// labels:   charset names written into the files: page metas, the page in pages/, @charset.
// eol:      the line breaks the files are written with.
// source:   the plain form a form of the hard corpus is made in; `{{#only NAME,...}}` blocks
//           and a template file's `forms` name these.
// eols:     the line-ending choices a form is converted with (all four when absent). Line
//           endings are rewritten byte by byte after the conversion, so three forms, one per
//           kind of source line break (CRLF, LF, CR), try every choice; the others keep theirs.
// strings:  the texts `{{plain}}`, `{{rare}}`, `{{nbsp}}` and `{{zwnbsp}}` stand for.
// unreadable: pages a browser cannot read as written (no declaration it can use); their
//           baseline is the same text written unambiguously (UTF-8 with a byte-order mark).
export const forms = [
  {
    name: 'shift_jis', templates: 'jp', encoding: 'shift_jis', bom: false, world: false, eol: '\r\n',
    labels: { page: 'Shift_JIS', sub: 'Windows-31J', css: 'Shift_JIS' },
  },
  {
    name: 'euc-jp', templates: 'jp', encoding: 'euc-jp', bom: false, world: false, eol: '\n',
    labels: { page: 'EUC-JP', sub: 'x-euc-jp', css: 'EUC-JP' }, eols: ['keep'],
  },
  {
    name: 'iso-2022-jp', templates: 'jp', encoding: 'iso-2022-jp', bom: false, world: false, eol: '\r\n',
    labels: { page: 'ISO-2022-JP', sub: 'csISO2022JP', css: 'ISO-2022-JP' }, eols: ['keep'],
  },
  {
    name: 'utf-8', templates: 'jp', encoding: 'utf-8', bom: false, world: true, eol: '\n',
    labels: { page: 'UTF-8', sub: 'utf8', css: 'UTF-8' },
  },
  {
    name: 'utf-8-bom', templates: 'jp', encoding: 'utf-8', bom: true, world: true, eol: '\r\n',
    labels: { page: 'utf-8', sub: 'UTF-8', css: 'utf-8' }, eols: ['keep'],
  },
  {
    name: 'utf-16le', templates: 'jp', encoding: 'utf-16le', bom: true, world: true, eol: '\r\n',
    labels: { page: 'UTF-16', sub: 'utf-16le', css: 'UTF-16' }, eols: ['keep'],
  },
  {
    name: 'utf-16be', templates: 'jp', encoding: 'utf-16be', bom: true, world: true, eol: '\n',
    labels: { page: 'UTF-16', sub: 'utf-16be', css: 'UTF-16' }, eols: ['keep'],
  },
  {
    name: 'utf-16le-nobom', templates: 'jp', encoding: 'utf-16le', bom: false, world: true, eol: '\n',
    labels: { page: 'UTF-16', sub: 'utf-16le', css: 'UTF-16' }, unreadable: 'all', eols: ['keep'],
  },
  {
    name: 'utf-16be-nobom', templates: 'jp', encoding: 'utf-16be', bom: false, world: true, eol: '\r\n',
    labels: { page: 'UTF-16', sub: 'utf-16be', css: 'UTF-16' }, unreadable: 'all', eols: ['keep'],
  },
  {
    // Pages declared ISO-8859-1 or windows-1252, written in code page 1252 with old Mac line
    // breaks; mislabeled.html is UTF-8 that declares ISO-8859-1, read by browsers as 1252.
    name: 'latin1', templates: 'latin1', encoding: 'windows-1252', bom: false, world: false, eol: '\r',
    labels: { page: 'ISO-8859-1', sub: 'windows-1252', css: 'iso-8859-1' },
  },
];
for (const form of forms) form.source = form.name;

// The hard corpus: the corners real legacy pages have (script types and spellings, <base>,
// module scripts, pages without <html>, doubled and late declarations, raw-text regions,
// white space in code, JIS-Roman, invalid sequences), in the six kinds of source a site comes
// in. `rare` holds what some target cannot hold: the NEC and IBM rows and the user-defined
// area of Shift_JIS, JIS X 0212 of EUC-JP, half-width katakana of ISO-2022-JP (which the
// ISO-2022-JP target lacks), and for Unicode and Latin-1 what no Japanese encoding has.
const japanese = '日本語の文章：ことのは文具店';
const unicodeWhiteSpace = { nbsp: '\u00a0', zwnbsp: '\ufeff' };
// The 32 C1 controls, of which HTML reads 27 references through the windows-1252 table.
const c1 = Array.from({ length: 32 }, (_, k) => String.fromCharCode(0x80 + k)).join('');
const hardStrings = {
  'shift_jis': { plain: japanese, rare: '髙﨑①Ⅱ㈱ｶﾅ\ue000\ue757' },
  'euc-jp': { plain: japanese, rare: '{{0212}}鷗彅{{/0212}}髙①' },
  'iso-2022-jp': { plain: japanese, rare: '①㈱ｶﾅ' },
  'utf-8': { plain: japanese, rare: 'é€😀鷗〜', c1, ...unicodeWhiteSpace },
  'utf-8-bom': { plain: japanese, rare: 'é€😀鷗〜', c1, ...unicodeWhiteSpace },
  'utf-16le': { plain: japanese, rare: 'é€😀鷗〜', c1, ...unicodeWhiteSpace },
  // Code page 1252 has the no-break space but no U+FEFF.
  'latin1': { plain: 'Crème brûlée, naïve façade', rare: 'é€œ½', nbsp: '\u00a0', zwnbsp: ' ' },
};
export const hardForms = Object.entries(hardStrings).map(([source, strings]) => {
  const { name, unreadable, ...base } = forms.find((f) => f.name === source);
  return { ...base, name: `hard-${name}`, source, templates: 'hard', world: false, strings, eols: ['keep'] };
});

export const allForms = [...forms, ...hardForms];

// What a template file needs beyond the form's rules.
//   forms:     written only for these source forms.
//   writtenAs: written in this encoding, read by the browser in the form's (a mislabeled page).
//   encoding:  written and read in this encoding whatever the form: module scripts, which
//              browsers always read as UTF-8; the conversion must leave them so.
//   cause:     the fault of the hard corpus the file shows (the numbers of the list of causes
//              in README.md, "The hard corpus").
//   nameIn:    its name is written in the bytes of this encoding (an old site's file names).
// The hard forms but code page 1252's.
const japaneseOrUnicode = ['shift_jis', 'euc-jp', 'iso-2022-jp', 'utf-8', 'utf-8-bom', 'utf-16le'];

export const templateFiles = {
  jp: {
    // JIS X 0212 characters (three-byte codes), found only in EUC-JP.
    'hojo.html': { forms: ['euc-jp'] },
  },
  latin1: {
    'mislabeled.html': { writtenAs: 'utf-8' },
  },
  hard: {
    'stray.html': { cause: 1, forms: ['utf-8', 'utf-8-bom'] },
    'js/stray.js': { cause: 1, forms: ['utf-8', 'utf-8-bom'] },
    'script-types.html': { cause: 2 },
    'js/typed.js': { cause: 2 },
    'css/typed.css': { cause: 2 },
    'base.html': { cause: 2 },
    'lib/based.js': { cause: 2 },
    'lib/based.css': { cause: 2 },
    'docwrite.html': { cause: 2 },
    'module.html': { cause: 3 },
    'js/module.js': { cause: 3, encoding: 'utf-8' },
    'no-html.html': { cause: 4 },
    'two-decl.html': { cause: 4 },
    'late-decl.html': { cause: 4 },
    'css/after-comment.css': { cause: 4 },
    'raw-text.html': { cause: 5 },
    'xmp.html': { cause: 5 },
    'code-space.html': { cause: 6, forms: ['utf-8', 'utf-8-bom', 'utf-16le', 'latin1'] },
    'js/space.js': { cause: 6, forms: ['utf-8', 'utf-8-bom', 'utf-16le', 'latin1'] },
    'roman.html': { cause: 7, forms: ['iso-2022-jp'] },
    'invalid.html': { cause: 8, forms: ['shift_jis', 'euc-jp'] },
    'c1.html': { cause: 10, forms: ['utf-8', 'utf-16le'] },
    'idioms.html': { cause: 11 },
    'js/idiom.js': { cause: 11 },
    'css/import-main.css': { cause: 11 },
    'legacy-names.html': { cause: 11 },
    'js/生.js': { cause: 11, nameIn: 'shift_jis' },
    'js/名.js': { cause: 11, nameIn: 'euc-jp' },
    // A name a page of code page 1252 cannot write; nothing tells the run the file's encoding then.
    'js/語.js': { cause: 11, forms: japaneseOrUnicode },
    // Without a declaration only a byte-order mark tells a browser the original's encoding.
    'undeclared.html': { cause: 11, forms: ['utf-8-bom', 'utf-16le'] },
    // A script that code sets a charset for is no reference: in code page 1252 nothing tells the
    // run its encoding.
    'set-charset.html': { cause: 11, forms: japaneseOrUnicode },
    'js/set-charset.js': { cause: 11, forms: japaneseOrUnicode },
    'other.xhtml': { cause: 11 },
  },
};

export function templateFile(form, rel) {
  return templateFiles[form.templates]?.[rel] ?? {};
}

// The causes of the hard corpus, by number, as the driver names them in its figures.
export const causes = {
  1: 'UTF-8 with a stray byte',
  2: 'script types and spellings, <base>',
  3: 'module scripts',
  4: 'declarations the browser reads',
  5: 'raw-text regions',
  6: 'white space in JavaScript code',
  7: 'ISO-2022-JP JIS-Roman',
  8: 'invalid Shift_JIS and EUC-JP sequences',
  9: 'UTF-8 without escapes (--keep-characters)',
  10: 'C1 controls, whose references show other characters',
  11: "old sites' idioms",
};

export const targets = [
  { name: 'shift_jis', whatwg: 'shift_jis', declared: 'Shift_JIS' },
  { name: 'euc-jp', whatwg: 'euc-jp', declared: 'EUC-JP' },
  { name: 'utf-8', whatwg: 'utf-8', declared: 'UTF-8' },
  { name: 'iso-2022-jp', whatwg: 'iso-2022-jp', declared: 'ISO-2022-JP' },
];

export const lineEndings = ['keep', 'crlf', 'lf', 'cr'];
