// Encoders for writing the corpus, built from the WHATWG decoders that Node ships: each maps
// a character to the bytes a browser reads back as that character. Used by make-corpus.mjs.

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

// Characters written between {{0212}} and {{/0212}} marks go as JIS X 0212 in EUC-JP.
export function encode(text, encoding, where) {
  const t = load();
  const out = [];
  if (encoding === 'utf-8') return Buffer.from(text.replace(/\{\{\/?0212\}\}/g, ''), 'utf8');
  if (encoding === 'utf-16le' || encoding === 'utf-16be') {
    const le = Buffer.from(text, 'utf16le');
    if (encoding === 'utf-16be') le.swap16();
    return le;
  }
  let jisMode = 'ascii';
  const switchTo = (mode) => {
    if (jisMode === mode) return;
    jisMode = mode;
    out.push(...Buffer.from({ ascii: '\x1b(B', kana: '\x1b(I', jis: '\x1b$B' }[mode], 'latin1'));
  };
  let in0212 = false;
  for (let i = 0; i < text.length; ) {
    if (text.startsWith('{{0212}}', i)) { in0212 = true; i += 8; continue; }
    if (text.startsWith('{{/0212}}', i)) { in0212 = false; i += 9; continue; }
    const ch = String.fromCodePoint(text.codePointAt(i));
    i += ch.length;
    const cp = ch.codePointAt(0);
    if (cp < 0x80) {
      if (encoding === 'iso-2022-jp') switchTo('ascii');
      out.push(cp);
      continue;
    }
    if (encoding === 'windows-1252') {
      const bytes = t.cp1252.get(ch) ?? fail(encoding, ch, where);
      out.push(...bytes);
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
  }
  if (encoding === 'iso-2022-jp') switchTo('ascii');
  return Buffer.from(out);
}
