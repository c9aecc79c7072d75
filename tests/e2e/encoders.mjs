// Encoders for writing the corpus, built from the WHATWG decoders that Node ships: each maps
// a character to the bytes a browser reads back as that character. Used by make-corpus.mjs, and
// by the driver to tell what a target can hold.

function reverseMap(decoderLabel, codes) {
  const decoder = new TextDecoder(decoderLabel, { fatal: true });
  const map = new Map();
  for (const bytes of codes) {
    let text;
    try {
      text = decoder.decode(Uint8Array.from(bytes));
    } catch {
      continue;
    }
    if ([...text].length === 1 && !map.has(text)) map.set(text, bytes);
  }
  return map;
}

function* shiftJisCodes() {
  for (let b = 0xa1; b <= 0xdf; ++b) yield [b];
  for (let lead = 0x81; lead <= 0xfc; ++lead) {
    if (lead >= 0xa0 && lead <= 0xdf) continue;
    // Rows 89-92 (leads 0xED and 0xEE) are the NEC-selected copies of the IBM extensions;
    // Windows writes the IBM codes (0xFA-0xFC), so the corpus does too.
    if (lead === 0xed || lead === 0xee) continue;
    for (let trail = 0x40; trail <= 0xfc; ++trail) if (trail !== 0x7f) yield [lead, trail];
  }
}

function* eucJpCodes() {
  for (let b = 0xa1; b <= 0xdf; ++b) yield [0x8e, b];
  for (let row = 0xa1; row <= 0xfe; ++row) for (let cell = 0xa1; cell <= 0xfe; ++cell) yield [row, cell];
}

function* eucJp0212Codes() {
  for (let row = 0xa1; row <= 0xfe; ++row) for (let cell = 0xa1; cell <= 0xfe; ++cell) yield [0x8f, row, cell];
}

// Code page 1252 as browsers read it (Node's own windows-1252 decoder reads 0x80-0x9F as
// ISO-8859-1, so the 32 codes that differ are listed here).
const cp1252High = '€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ';
function cp1252Map() {
  const map = new Map();
  for (let b = 0x80; b <= 0xff; ++b) map.set(b < 0xa0 ? cp1252High[b - 0x80] : String.fromCharCode(b), [b]);
  return map;
}

let tables;
function load() {
  if (!tables) {
    tables = {
      shiftJis: reverseMap('shift_jis', shiftJisCodes()),
      eucJp: reverseMap('euc-jp', eucJpCodes()),
      eucJp0212: reverseMap('euc-jp', eucJp0212Codes()),
      cp1252: cp1252Map(),
    };
  }
  return tables;
}

function fail(encoding, ch, where) {
  const hex = ch.codePointAt(0).toString(16).toUpperCase();
  throw new Error(`${where}: U+${hex} '${ch}' has no ${encoding} code`);
}

// Marks a template may hold, besides characters:
//   {{0212}}...{{/0212}}    the characters go as JIS X 0212 codes in EUC-JP;
//   {{roman}}...{{/roman}}  ISO-2022-JP switches to JIS-Roman (ESC ( J), where 0x5C is ¥ and
//                           0x7E is ‾; other encodings write the characters as usual;
//   {{bytes:81 FD}}         these bytes as they are, in any encoding (invalid sequences).
const marks = /\{\{(\/?0212|\/?roman|bytes:[0-9A-Fa-f ]+)\}\}/g;

export function encode(text, encoding, where) {
  const t = load();
  const out = [];
  if (encoding === 'utf-16le' || encoding === 'utf-16be') {
    const le = Buffer.from(text.replace(marks, ''), 'utf16le');
    if (encoding === 'utf-16be') le.swap16();
    return le;
  }
  let jisMode = 'ascii';
  const switchTo = (mode) => {
    if (jisMode === mode) return;
    jisMode = mode;
    out.push(...Buffer.from({ ascii: '\x1b(B', roman: '\x1b(J', kana: '\x1b(I', jis: '\x1b$B' }[mode], 'latin1'));
  };
  let in0212 = false;
  let inRoman = false;
  const put = (ch) => {
    const cp = ch.codePointAt(0);
    if (encoding === 'iso-2022-jp' && inRoman && (cp < 0x80 || ch === '¥' || ch === '‾')) {
      if (cp === 0x5c || cp === 0x7e) fail('JIS-Roman', ch, where);
      switchTo('roman');
      out.push(ch === '¥' ? 0x5c : ch === '‾' ? 0x7e : cp);
    } else if (cp < 0x80) {
      if (encoding === 'iso-2022-jp') switchTo('ascii');
      out.push(cp);
    } else if (encoding === 'utf-8') {
      out.push(...Buffer.from(ch, 'utf8'));
    } else if (encoding === 'windows-1252') {
      out.push(...(t.cp1252.get(ch) ?? fail(encoding, ch, where)));
    } else if (encoding === 'shift_jis') {
      out.push(...(t.shiftJis.get(ch) ?? fail(encoding, ch, where)));
    } else if (encoding === 'euc-jp') {
      const bytes = in0212 ? t.eucJp0212.get(ch) : t.eucJp.get(ch);
      out.push(...(bytes ?? fail(in0212 ? 'JIS X 0212' : encoding, ch, where)));
    } else if (encoding === 'iso-2022-jp') {
      const bytes = t.eucJp.get(ch) ?? fail(encoding, ch, where);
      if (bytes[0] === 0x8e) {
        switchTo('kana');
        out.push(bytes[1] - 0x80);
      } else {
        switchTo('jis');
        out.push(bytes[0] - 0x80, bytes[1] - 0x80);
      }
    } else {
      throw new Error(`unknown encoding ${encoding}`);
    }
  };
  let at = 0;
  const characters = (chunk) => { for (const ch of chunk) put(ch); };
  for (const m of text.matchAll(marks)) {
    characters(text.slice(at, m.index));
    at = m.index + m[0].length;
    if (m[1] === '0212') in0212 = true;
    else if (m[1] === '/0212') in0212 = false;
    else if (m[1] === 'roman') inRoman = true;
    else if (m[1] === '/roman') inRoman = false;
    else out.push(...m[1].slice(6).trim().split(/ +/).map((hex) => parseInt(hex, 16)));
  }
  characters(text.slice(at));
  if (encoding === 'iso-2022-jp') switchTo('ascii');
  return Buffer.from(out);
}

// Whether a browser reads the character from some bytes of the encoding (a target's repertoire).
export function holds(encoding, ch) {
  const t = load();
  if (ch.codePointAt(0) < 0x80 || encoding === 'utf-8') return true;
  if (encoding === 'shift_jis') return t.shiftJis.has(ch);
  if (encoding === 'euc-jp') return t.eucJp.has(ch) || t.eucJp0212.has(ch);
  if (encoding === 'iso-2022-jp') return t.eucJp.has(ch);
  return false;
}
