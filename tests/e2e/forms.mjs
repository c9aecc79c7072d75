// The source forms of the corpus: one folder per form under corpus/, each a small site made
// from one template set. Shared by make-corpus.mjs (which writes the bytes) and driver.mjs
// (which reads them back the way a browser does).
//
// encoding: the WHATWG encoding a browser reads the files with (and the generator writes).
// bom:      the files start with a byte-order mark.
// world:    the text holds characters no Japanese encoding has (é, €, emoji, U+301C...).
// labels:   charset names written into the files: page metas, the page in pages/, @charset.
// eol:      the line breaks the files are written with.
// extraFiles: template files written only for this form (others are written for every form).
// writtenAs: files written in another encoding than the form's.
// unreadable: pages a browser cannot read as written (no declaration it can use); their
//           baseline is the same text written unambiguously (UTF-8 with a byte-order mark).
export const forms = [
  {
    name: 'shift_jis', templates: 'jp', encoding: 'shift_jis', bom: false, world: false, eol: '\r\n',
    labels: { page: 'Shift_JIS', sub: 'Windows-31J', css: 'Shift_JIS' },
  },
  {
    name: 'euc-jp', templates: 'jp', encoding: 'euc-jp', bom: false, world: false, eol: '\n',
    labels: { page: 'EUC-JP', sub: 'x-euc-jp', css: 'EUC-JP' },
    // hojo.html holds JIS X 0212 characters (three-byte codes), found only in EUC-JP.
    extraFiles: ['hojo.html'],
  },
  {
    name: 'iso-2022-jp', templates: 'jp', encoding: 'iso-2022-jp', bom: false, world: false, eol: '\r\n',
    labels: { page: 'ISO-2022-JP', sub: 'csISO2022JP', css: 'ISO-2022-JP' },
  },
  {
    name: 'utf-8', templates: 'jp', encoding: 'utf-8', bom: false, world: true, eol: '\n',
    labels: { page: 'UTF-8', sub: 'utf8', css: 'UTF-8' },
  },
  {
    name: 'utf-8-bom', templates: 'jp', encoding: 'utf-8', bom: true, world: true, eol: '\r\n',
    labels: { page: 'utf-8', sub: 'UTF-8', css: 'utf-8' },
  },
  {
    name: 'utf-16le', templates: 'jp', encoding: 'utf-16le', bom: true, world: true, eol: '\r\n',
    labels: { page: 'UTF-16', sub: 'utf-16le', css: 'UTF-16' },
  },
  {
    name: 'utf-16be', templates: 'jp', encoding: 'utf-16be', bom: true, world: true, eol: '\n',
    labels: { page: 'UTF-16', sub: 'utf-16be', css: 'UTF-16' },
  },
  {
    name: 'utf-16le-nobom', templates: 'jp', encoding: 'utf-16le', bom: false, world: true, eol: '\n',
    labels: { page: 'UTF-16', sub: 'utf-16le', css: 'UTF-16' }, unreadable: 'all',
  },
  {
    name: 'utf-16be-nobom', templates: 'jp', encoding: 'utf-16be', bom: false, world: true, eol: '\r\n',
    labels: { page: 'UTF-16', sub: 'utf-16be', css: 'UTF-16' }, unreadable: 'all',
  },
  {
    // Pages declared ISO-8859-1 or windows-1252, written in code page 1252 with old Mac line
    // breaks; mislabeled.html is UTF-8 that declares ISO-8859-1, read by browsers as 1252.
    name: 'latin1', templates: 'latin1', encoding: 'windows-1252', bom: false, world: false, eol: '\r',
    labels: { page: 'ISO-8859-1', sub: 'windows-1252', css: 'iso-8859-1' },
    writtenAs: { 'mislabeled.html': 'utf-8' },
  },
];

export const targets = [
  { name: 'shift_jis', whatwg: 'shift_jis', declared: 'Shift_JIS' },
  { name: 'euc-jp', whatwg: 'euc-jp', declared: 'EUC-JP' },
  { name: 'utf-8', whatwg: 'utf-8', declared: 'UTF-8' },
  { name: 'iso-2022-jp', whatwg: 'iso-2022-jp', declared: 'ISO-2022-JP' },
];

export const lineEndings = ['keep', 'crlf', 'lf', 'cr'];
