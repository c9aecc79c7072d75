#!/usr/bin/env node
// End-to-end fidelity test: a converted site, opened in headless Chromium, shows what it showed
// before, and its bytes are what the target asks for. README.md says what is compared and
// checked, how to run it (--cli PATH or SARNAVEL_CLI, --forms with * patterns, --targets,
// --eols, --keep, --jobs N, --verbose; the browser is CHROMIUM or /usr/bin/chromium) and why
// each known difference is one.
// Closes with the line "e2e: N passed, M failed"; exits 1 when M > 0.
import { execFile, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { promisify } from 'node:util';
import { holds } from './encoders.mjs';
import { allForms, causes, lineEndings as allEols, targets as allTargets, templateFile } from './forms.mjs';
import { writeCorpus } from './make-corpus.mjs';

const run = promisify(execFile);
const started = Date.now();
// Whether text matches a pattern in which * stands for any run of characters.
const patterns = new Map();
function glob(pattern, text) {
  if (!patterns.has(pattern)) {
    patterns.set(pattern, new RegExp(`^${pattern.split('*').map((p) => p.replace(/[.+?^${}()|[\]\\]/g, '\\$&')).join('.*')}$`));
  }
  return patterns.get(pattern).test(text);
}

// The text with each numeric character reference for a character that may be written so put
// in the reference's place.
const withReferencesRead = (text, mayBeReferenced) => text.replace(/&#(?:x([0-9a-f]+)|([0-9]+));/gi, (reference, hex, decimal) => {
  const value = hex ? parseInt(hex, 16) : Number(decimal);
  const ch = value > 0xffff ? String.fromCodePoint(value) : String.fromCharCode(value);
  return mayBeReferenced(ch) ? ch : reference;
});
// A character that code page 932, through which every conversion goes, and the target both
// hold must travel as itself.
const lacks = (target) => (ch) => !(holds('shift_jis', ch) && holds(target, ch));

// ---------------------------------------------------------------------------------------------
// Differences that cannot be avoided, each named (README.md, "Known differences"). A check one
// of these matches is reported as "known" and counted neither as passed nor as failed.
const KNOWN = [
  {
    name: 'UTF-16 without a byte-order mark',
    matches: (c, aspect) => /^utf-16(le|be)-nobom$/.test(c.form) && c.target === '-' && aspect === 'original',
    why: 'browsers cannot read UTF-16 without a byte-order mark; the baseline is the same text with one',
  },
  {
    name: 'undeclared ISO-2022-JP',
    matches: (c, aspect) => c.form === 'iso-2022-jp' && /^(nodecl|bare)\.html$/.test(c.file) && c.target === '-' && aspect === 'original',
    why: 'Chromium does not detect ISO-2022-JP in a page without a declaration; the baseline is the text as written',
  },
  {
    name: 'comments',
    matches: (c, aspect) => aspect === 'comment text' && c.mode !== 'keep',
    why: 'characters the target cannot hold stay as escape text inside CSS and JavaScript comments',
  },
  {
    name: 'raw text that nothing escapes',
    matches: (c, aspect, original, converted) => c.mode !== 'keep' && c.file === 'xmp.html' && aspect === 'body text' &&
      typeof converted === 'string' && withReferencesRead(converted, lacks(c.target)).normalize('NFC') === original.normalize('NFC'),
    why: 'a character the target cannot hold shows as its reference inside <xmp> and <plaintext>',
  },
  {
    name: 'C1 controls that no reference gives',
    matches: (c, aspect, original, converted) => c.mode !== 'keep' && c.file === 'c1.html' &&
      ['body text', 'text written by scripts'].includes(aspect) && typeof converted === 'string' &&
      onlyStandInsForC1(original, converted),
    why: 'a C1 control whose reference shows another character is written as 〓 where the target lacks it',
  },
  {
    name: 'charset written by a script',
    matches: (c, aspect) => ['docwrite.html', 'set-charset.html'].includes(c.file) &&
      ['body text', 'text written by scripts'].includes(aspect) && c.target !== '-',
    why: 'a charset attribute that a script writes with document.write, or sets on an element it makes, is not rewritten',
  },
];

// Whether the converted text is the original but for geta marks where the original held a C1
// control (as such, or as c1.html's script writes it: <80>).
function onlyStandInsForC1(original, converted) {
  const raw = (text) => [...text.replace(/<([89][0-9a-f])>/g, (_, hex) => String.fromCharCode(parseInt(hex, 16)))];
  const before = raw(original), after = raw(converted);
  return before.length === after.length &&
    before.every((ch, k) => ch === after[k] || (after[k] === '\u3013' && ch >= '\u0080' && ch <= '\u009f'));
}

function knownCase(context, aspect, original, converted) {
  return KNOWN.find((k) => k.matches(context, aspect, original, converted));
}

const targetKey = (c) => (c.mode === 'keep' ? `${c.target}+keep` : c.target);

// ---------------------------------------------------------------------------------------------
// Arguments

function parseArguments(argv) {
  const options = {
    cli: process.env.SARNAVEL_CLI, jobs: 2, keep: false, verbose: false,
  };
  for (let i = 0; i < argv.length; ++i) {
    const arg = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) throw new Error(`${arg} needs a value`);
      return argv[++i];
    };
    if (arg === '--cli') options.cli = value();
    else if (arg === '--forms') options.forms = value().split(',');
    else if (arg === '--targets') options.targets = value().split(',');
    else if (arg === '--eols') options.eols = value().split(',');
    else if (arg === '--jobs') options.jobs = Math.max(1, Number(value()) || 1);
    else if (arg === '--keep') options.keep = true;
    else if (arg === '--verbose') options.verbose = true;
    else if (!arg.startsWith('-') && !options.cli) options.cli = arg;
    else throw new Error(`unknown argument ${arg}`);
  }
  if (!options.cli) throw new Error('no sarnavel-cli given (--cli PATH or SARNAVEL_CLI)');
  options.cli = path.resolve(options.cli);
  if (!fs.existsSync(options.cli)) throw new Error(`sarnavel-cli not found at ${options.cli}`);
  const pick = (all, names, what) => {
    if (!names) return all;
    const picked = all.filter((x) => names.some((n) => glob(n, x.name ?? x)));
    const unknown = names.filter((n) => !all.some((x) => glob(n, x.name ?? x)));
    if (unknown.length) throw new Error(`unknown ${what} ${unknown.join(', ')}`);
    return picked;
  };
  options.formList = pick(allForms, options.forms, 'form');
  options.targetList = pick(allTargets, options.targets, 'target');
  options.eolList = options.eols && pick(allEols, options.eols, 'line ending');
  return options;
}

// ---------------------------------------------------------------------------------------------
// Results

const tally = { passed: 0, failed: 0, known: new Map(), pages: new Map() };

// A short view of two strings around their first difference.
function firstDifference(a, b) {
  let i = 0;
  while (i < a.length && i < b.length && a[i] === b[i]) ++i;
  const from = Math.max(0, i - 30);
  const show = (s) => JSON.stringify(s.slice(from, i + 40));
  return `at character ${i}: original ${show(a)} / converted ${show(b)}`;
}

const describe = (c) => `[${c.form} -> ${targetKey(c)}, ${c.eol}] ${c.file}`;

// Counts one check; returns 'same', 'known' (a named difference) or 'differs'.
function record(context, aspect, ok, detail, original, converted) {
  const known = knownCase(context, aspect, original, converted);
  const where = describe(context);
  const show = () => (typeof detail === 'function' ? detail() : detail);
  if (known) {
    if (ok) return 'same';
    tally.known.set(known.name, [...(tally.known.get(known.name) ?? []), `${where} ${aspect}`]);
    return 'known';
  }
  if (ok) {
    ++tally.passed;
    if (options.verbose) console.log(`ok   ${where} ${aspect}`);
  } else {
    ++tally.failed;
    console.log(`FAIL ${where} ${aspect}: ${show()}`);
  }
  return ok ? 'same' : 'differs';
}

function compare(context, aspect, original, converted) {
  return record(context, aspect, original === converted, () => firstDifference(original, converted), original, converted);
}

// ---------------------------------------------------------------------------------------------
// Files

// File names are kept as their bytes, one character a byte (latin1), whatever their encoding:
// a name an old site wrote in Shift_JIS reads back as itself. onDisk gives the path to open;
// visibleName what the log writes for it (UTF-8 where the bytes are, \xNN where not).
const onDisk = (folder, rel) => Buffer.from(path.join(folder, rel), 'latin1');

function visibleName(name) {
  const bytes = Buffer.from(name, 'latin1');
  let out = '';
  for (let i = 0; i < bytes.length;) {
    const lead = bytes[i];
    const length = lead < 0x80 ? 1 : lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3 : lead >= 0xf0 && lead <= 0xf4 ? 4 : 0;
    const text = length ? (() => { try { return new TextDecoder('utf-8', { fatal: true }).decode(bytes.subarray(i, i + length)); } catch { return null; } })() : null;
    if (text === null || i + length > bytes.length) {
      out += `\\x${lead.toString(16).padStart(2, '0')}`;
      ++i;
    } else {
      out += text;
      i += length;
    }
  }
  return out;
}

function listFiles(folder, prefix = '') {
  const out = [];
  for (const entry of fs.readdirSync(Buffer.from(folder, 'latin1'), { withFileTypes: true, encoding: 'latin1' })) {
    const rel = prefix ? `${prefix}/${entry.name}` : entry.name;
    if (entry.isDirectory()) out.push(...listFiles(path.join(folder, entry.name), rel));
    else out.push(rel);
  }
  return out.sort();
}

// Copies and removes trees by their names' bytes, which fs.cpSync and fs.rmSync read as UTF-8.
const copyTree = (from, to) => execFileSync('cp', ['-R', from, to]);
const removeTree = (folder) => execFileSync('rm', ['-rf', folder]);

// The site corpus's pages of the kinds a run adds (kinds/: an XHTML page and an SSI page, which
// its runs take with --kinds) are pages; the hard corpus's other.xhtml is of a kind not taken.
const addedKindPage = (rel) => /^kinds\/.*\.(xhtml|shtml)$/i.test(rel);
const kindOf = (rel) => (/\.html?$/i.test(rel) || addedKindPage(rel) ? 'page' : /\.css$/i.test(rel) ? 'sheet' : /\.js$/i.test(rel) ? 'script' : 'other');

function readTree(folder) {
  const files = new Map();
  for (const rel of listFiles(folder)) files.set(rel, fs.readFileSync(onDisk(folder, rel)));
  return files;
}

// ---------------------------------------------------------------------------------------------
// The browser

// Module scripts load through CORS, which file:// URLs pass only with the last flag.
const browserFlags = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
  '--disable-component-update', '--no-first-run', '--disable-sync', '--disable-quic', '--allow-file-access-from-files'];

// Decodes byte strings with the browser's own decoders; fatal: an error instead of U+FFFD.
async function decodeInBrowser(page, items) {
  return page.evaluate((list) => list.map(({ base64, encoding, fatal }) => {
    const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
    try {
      return { text: new TextDecoder(encoding, { fatal }).decode(bytes) };
    } catch (error) {
      return { error: String(error) };
    }
  }), items.map(({ bytes, encoding, fatal }) => ({ base64: bytes.toString('base64'), encoding, fatal: !!fatal })));
}

// What a person sees of a page, read from the live DOM.
function readPage() {
  const elements = [document.body, ...document.body.querySelectorAll('*')];
  const pseudo = [];
  const fonts = [];
  const scripts = [];
  elements.forEach((element, index) => {
    const name = element.tagName.toLowerCase();
    const key = `${index}:${name}${element.className ? `.${element.className}` : ''}`;
    for (const which of ['::before', '::after']) {
      const content = getComputedStyle(element, which).content;
      if (content && content !== 'none' && content !== 'normal') pseudo.push(`${key}${which} ${content}`);
    }
    const family = getComputedStyle(element).fontFamily;
    const parentFamily = element.parentElement ? getComputedStyle(element.parentElement).fontFamily : '';
    if (element === document.body || family !== parentFamily) fonts.push(`${key} ${family}`);
    if (element.hasAttribute('data-js')) scripts.push(`${element.getAttribute('data-js')}: ${element.textContent}`);
  });
  return {
    title: document.title,
    characterSet: document.characterSet,
    contentType: document.contentType,
    body: document.body.innerText,
    pseudo: pseudo.join('\n'),
    fonts: fonts.join('\n'),
    scripts: scripts.join('\n'),
  };
}

async function snapshot(tab, file) {
  tab.errors.length = 0;
  await tab.page.goto(pathToFileURL(file).href, { waitUntil: 'load' });
  const seen = await tab.page.evaluate(readPage);
  if (tab.errors.length) seen.scripts += `\nerrors: ${tab.errors.join(' | ')}`;
  return seen;
}

async function newTab(context) {
  const page = await context.newPage();
  const tab = { page, errors: [] };
  page.on('pageerror', (error) => tab.errors.push(error.message));
  return tab;
}

// Runs work(tab, item) for every item, each tab taking the next item when it is free.
async function onTabs(tabs, items, work) {
  let next = 0;
  await Promise.all(tabs.map(async (tab) => {
    while (next < items.length) await work(tab, items[next++]);
  }));
}

// ---------------------------------------------------------------------------------------------
// Checks

// Compares what a person sees of two readings of one page: 'same' when all of it is, 'known'
// when it differs only by named differences, else 'differs'.
// Pages declared Latin-1 are converted with their accented letters decomposed (é becomes e +
// U+0301, written &#769; or \301 in their style elements), which renders the same glyphs but
// differs in the DOM by Unicode normalization: their texts are compared in NFC.
function comparePage(context, baseline, seen, form, prefix = '') {
  const normal = form.source === 'latin1' ? (s) => s.normalize('NFC') : (s) => s;
  const verdicts = [
    compare(context, `${prefix}title`, normal(baseline.title), normal(seen.title)),
    compare(context, `${prefix}body text`, normal(baseline.body), normal(seen.body)),
    compare(context, `${prefix}generated content`, normal(baseline.pseudo), normal(seen.pseudo)),
    compare(context, `${prefix}text written by scripts`, normal(baseline.scripts), normal(seen.scripts)),
    compare(context, `${prefix}font-family`, baseline.fonts, seen.fonts),
  ];
  return verdicts.includes('differs') ? 'differs' : verdicts.includes('known') ? 'known' : 'same';
}

function attributesOf(tag) {
  const attributes = new Map();
  const pattern = /([^\s"'<>\/=]+)(?:\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s>]+)))?/g;
  const body = tag.replace(/^<[a-zA-Z]+/, '').replace(/\/?>$/, '');
  for (const m of body.matchAll(pattern)) {
    const name = m[1].toLowerCase();
    if (!attributes.has(name)) attributes.set(name, m[2] ?? m[3] ?? m[4] ?? '');
  }
  return attributes;
}

// The encodings that a page's metas declare, in order: http-equiv Content-Type and meta charset.
function declaredCharsets(text) {
  const names = [];
  for (const m of text.matchAll(/<meta\b[^>]*>/gi)) {
    const attributes = attributesOf(m[0]);
    if (/^content-type$/i.test(attributes.get('http-equiv') ?? '')) {
      names.push((/charset=([^"'\s;>]+)/i.exec(attributes.get('content') ?? '') ?? [])[1] ?? '?');
    } else if (attributes.has('charset')) {
      names.push(attributes.get('charset'));
    }
  }
  return names;
}

// The types a browser runs a classic script of: absent, empty, or a JavaScript MIME type.
const javascriptTypes = new Set([
  'application/ecmascript', 'application/javascript', 'application/x-ecmascript', 'application/x-javascript',
  'text/ecmascript', 'text/javascript', 'text/javascript1.0', 'text/javascript1.1', 'text/javascript1.2',
  'text/javascript1.3', 'text/javascript1.4', 'text/javascript1.5', 'text/jscript', 'text/livescript',
  'text/x-ecmascript', 'text/x-javascript',
]);
const loadsClassicScript = (attributes) => !attributes.has('type') || ['', ...javascriptTypes].includes(attributes.get('type').trim().toLowerCase());
const loadsStyleSheet = (attributes) => (attributes.get('rel') ?? '').toLowerCase().split(/\s+/).includes('stylesheet');

// The local file a page's reference loads, resolved as the browser does (against <base href>,
// backslashes as slashes, without ?query and #fragment); null when it loads none.
function loadedFile(folder, rel, text, reference) {
  const page = pathToFileURL(path.join(folder, rel));
  let base = page;
  const baseTag = /<base\b[^>]*>/i.exec(text);
  const href = baseTag && attributesOf(baseTag[0]).get('href');
  try {
    if (href) base = new URL(href.trim(), page);
    const url = new URL(reference.trim(), base);
    if (url.protocol !== 'file:') return null;
    url.search = '';
    url.hash = '';
    // The path's percent escapes are the name's bytes, in whatever encoding they are.
    const escaped = url.pathname;
    const bytes = [];
    for (let i = 0; i < escaped.length; ++i) {
      if (escaped[i] === '%' && /^[0-9a-f]{2}$/i.test(escaped.slice(i + 1, i + 3))) {
        bytes.push(parseInt(escaped.slice(i + 1, i + 3), 16));
        i += 2;
      } else {
        bytes.push(...Buffer.from(escaped[i], 'utf8'));
      }
    }
    const file = Buffer.from(bytes);
    return fs.statSync(file, { throwIfNoEntry: false })?.isFile() ? file : null;
  } catch {
    return null;
  }
}

// The start tag and the body of each script of a page: a body hidden in an HTML comment runs
// to the comment's end, whatever end tags a string in it writes.
const scriptBodies = () => /(<script\b[^>]*>)(\s*<!--[\s\S]*?-->\s*(?=<\/script)|[\s\S]*?(?=<\/script))/gi;

// The comments of a file, line breaks made LF: CSS and JavaScript comments (in pages, those of
// style and script elements) and HTML comments. A light reading that suits the corpus: its
// strings hold no comment marks.
function commentsOf(rel, text) {
  const css = (t) => t.match(/\/\*[\s\S]*?\*\//g) ?? [];
  const js = (t) => t.match(/\/\*[\s\S]*?\*\/|(?<![:\\'"])\/\/[^\r\n]*/g) ?? [];
  let found = [];
  const kind = kindOf(rel);
  if (kind === 'sheet') found = css(text);
  else if (kind === 'script') found = js(text);
  else if (kind === 'page') {
    found = text.replace(scriptBodies(), '$1').match(/<!--[\s\S]*?-->/g) ?? [];
    for (const m of text.matchAll(/<style\b[^>]*>([\s\S]*?)<\/style/gi)) found.push(...css(m[1]));
    for (const m of text.matchAll(scriptBodies())) found.push(...js(m[2]));
  }
  return found.map((c) => c.replace(/\r\n?/g, '\n')).join('\n');
}

// A file's text without what a conversion rewrites: declarations (moved, added or renamed) and
// the start tags of link and script elements (their charset attribute set). Line
// breaks are checked on their own.
function withoutDeclarations(rel, text) {
  const kind = kindOf(rel);
  // A rule may be put at byte 0 and one after a comment dropped: blank lines do not count.
  if (kind === 'sheet') return text.replace(/@charset\s*"[^"]*";/g, '').replace(/[\r\n]+/g, '\n').replace(/^\n/, '');
  if (kind !== 'page') return text;
  return text
    .replace(/(<\?xml\b[^>]*\bencoding\s*=\s*["'])[^"']*/i, '$1')
    .replace(/<meta\b[^>]*>/gi, (tag) => (declaredCharsets(tag).length ? '' : tag))
    .replace(/<(link|script)\b[^>]*>/gi, (_, name) => `<${name.toLowerCase()}>`);
}

const lineBreakKinds = (text) => {
  const kinds = new Set();
  for (const m of text.matchAll(/\r\n|\r|\n/g)) kinds.add(m[0]);
  return kinds;
};
const eolName = { '\r\n': 'CRLF', '\r': 'CR', '\n': 'LF' };
const substitutes = (text) => (text.match(/[\u3013\uFFFD]/g) ?? []).length;

function checkLineEndings(context, eol, baselineText, text) {
  const kinds = lineBreakKinds(text);
  const allowed = eol === 'crlf' ? ['\r\n'] : eol === 'lf' ? ['\n'] : eol === 'cr' ? ['\r'] : [...lineBreakKinds(baselineText)];
  const wrong = [...kinds].filter((k) => !allowed.includes(k));
  record(context, `line endings (${eol})`, wrong.length === 0, () => `has ${wrong.map((k) => eolName[k]).join(', ')}; allowed ${allowed.map((k) => eolName[k]).join(', ') || 'none'}`);
}

// A page declares only the target, where the browser finds it (its first 1024 bytes), and so
// do the link and script elements that load local files; a sheet starts with its rule.
function checkDeclarations(context, target, rel, baselineText, text, bytes, folder) {
  const kind = kindOf(rel);
  const wanted = target.declared.toLowerCase();
  if (kind === 'page') {
    const hasHtml = /<html[\s>]/i.test(baselineText);
    const hasHead = /<head[\s>]/i.test(baselineText);
    if (declaredCharsets(baselineText).length > 0 || (hasHtml && hasHead)) {
      const names = declaredCharsets(text);
      record(context, 'declarations name the target', names.length > 0 && names.every((n) => n.toLowerCase() === wanted),
        () => `declared: ${names.length ? names.join(', ') : 'none'}; wanted ${target.declared}`);
      const prescanned = declaredCharsets(bytes.subarray(0, 1024).toString('latin1'));
      record(context, 'the first 1024 bytes declare the target', prescanned[0]?.toLowerCase() === wanted,
        () => `declared there: ${prescanned.join(', ') || 'nothing'}; wanted ${target.declared}`);
    }
    const xml = /^\s*<\?xml\b[^>]*\bencoding\s*=\s*["']([^"']*)["']/i.exec(text);
    if (xml) {
      record(context, 'XML declaration names the target', xml[1].toLowerCase() === wanted,
        () => `<?xml ... encoding="${xml[1]}"?> in a page converted to ${target.declared}`);
    }
    // Tags inside scripts (document.write) are text, not elements.
    const markup = text.replace(scriptBodies(), '$1');
    for (const m of markup.matchAll(/<(link|script)\b[^>]*>/gi)) {
      const attributes = attributesOf(m[0]);
      const name = m[1].toLowerCase();
      if (name === 'link' ? !loadsStyleSheet(attributes) : !loadsClassicScript(attributes)) continue;
      const reference = attributes.get(name === 'link' ? 'href' : 'src');
      if (!reference || !loadedFile(folder, rel, markup, reference)) continue;
      const charset = (attributes.get('charset') ?? '').trim();
      record(context, `charset attribute of ${name} ${reference.trim()}`, charset.toLowerCase() === wanted,
        () => `${m[0]}: charset "${charset}", wanted ${target.declared}`);
    }
  } else if (kind === 'sheet') {
    const rule = /^@charset "([^"]*)";/.exec(text);
    record(context, '@charset names the target', !!rule && rule[1].toLowerCase() === wanted,
      () => `starts with ${JSON.stringify(text.slice(0, 30))}; wanted @charset "${wanted}";`);
  }
}

// The log's entries: the path of each file's line, with the notes indented under it.
function logEntries(log) {
  const entries = new Map();
  let current = null;
  for (const line of log.split(/\r?\n/)) {
    const entry = /^(?:成功|失敗): (.*)$/.exec(line);
    if (entry) {
      current = entries.get(entry[1]) ?? [];
      entries.set(entry[1], current);
    } else if (current && /^\s+\S/.test(line)) {
      current.push(line.trim());
    } else {
      current = null;
    }
  }
  return entries;
}

// ---------------------------------------------------------------------------------------------
// The run

let options;

async function convert(folder, target, eol, mode, form) {
  const kinds = form.templates === 'jp' ? ['--kinds', '+xhtml,shtml'] : [];
  const args = ['-t', target.name, '-n', eol, '--no-backup', ...kinds, ...(mode === 'keep' ? ['--keep-characters'] : []), folder];
  try {
    const { stdout } = await run(options.cli, args, { maxBuffer: 1 << 24 });
    return { ok: true, log: stdout };
  } catch (error) {
    return { ok: false, log: `exit ${error.code}: ${error.stdout ?? ''}${error.stderr ?? ''}` };
  }
}

// The encoding the browser reads a file of the form in: the form's, or the file's own.
const readingOf = (form, rel) => templateFile(form, rel).encoding ?? form.encoding;

async function prepareForm(tab, form, work) {
  // The baseline: the form written in UTF-8 with a byte-order mark.
  const source = path.join(work, 'corpus', form.name);
  const baselineFolder = path.join(work, 'baseline', form.name);
  const files = readTree(source);
  const decoded = await decodeInBrowser(tab.page, [...files].map(([rel, bytes]) => ({ bytes, encoding: readingOf(form, rel) })));
  const texts = new Map();
  [...files.keys()].forEach((rel, k) => {
    texts.set(rel, decoded[k].text);
    fs.mkdirSync(path.dirname(path.join(baselineFolder, rel)), { recursive: true });
    fs.writeFileSync(onDisk(baselineFolder, rel), Buffer.concat([Buffer.from([0xef, 0xbb, 0xbf]), Buffer.from(decoded[k].text, 'utf8')]));
  });
  const pages = [...files.keys()].filter((rel) => kindOf(rel) === 'page');
  const baselines = new Map();
  for (const rel of pages) {
    const baseline = await snapshot(tab, path.join(baselineFolder, rel));
    baselines.set(rel, baseline);
    // The original as the browser reads it must show the same.
    const original = await snapshot(tab, path.join(source, rel));
    const context = { form: form.name, target: '-', eol: '-', file: rel };
    const differs = ['title', 'body', 'pseudo', 'scripts', 'fonts'].filter((k) => original[k] !== baseline[k]);
    if (knownCase(context, 'original')) record(context, 'original', differs.length === 0);
    else comparePage(context, baseline, original, form, 'original: ');
  }
  return { source, files, texts, pages, baselines };
}

function countPage(form, rel, mode, verdict) {
  const cause = mode === 'keep' ? 9 : templateFile(form, rel).cause;
  if (!cause) return;
  const count = tally.pages.get(cause) ?? { same: 0, known: 0, differs: 0 };
  tally.pages.set(cause, count);
  ++count[verdict];
}

async function runCombination(tab, { form, target, eol, mode }, prepared, work) {
  const folder = path.join(work, 'converted', form.name, `${target.name}-${eol}${mode === 'keep' ? '-keep' : ''}`);
  removeTree(folder);
  fs.mkdirSync(path.dirname(folder), { recursive: true });
  copyTree(prepared.source, folder);
  const base = { form: form.name, target: target.name, eol, mode };

  const first = await convert(folder, target, eol, mode, form);
  record({ ...base, file: '(folder)' }, 'sarnavel-cli exits 0', first.ok, first.log.trim().split('\n').slice(-5).join(' / '));
  const converted = readTree(folder);
  // The log names each page once. A sheet or script both listed and loaded by a page is
  // converted in its own pass and again with the files pages load (the run's rule), so it
  // may be named twice; the second conversion changes nothing, which the bytes check below.
  const logLines = first.log.split(/\r?\n/);
  for (const rel of converted.keys()) {
    if (kindOf(rel) === 'other') continue;  // a page of a kind not converted
    const full = visibleName(path.join(folder, rel));
    const times = logLines.filter((line) => line.endsWith(` ${full}`) || line.endsWith(`:${full}`)).length;
    const page = kindOf(rel) === 'page';
    record({ ...base, file: rel }, page ? 'converted once in the run' : 'converted once or twice in the run',
           page ? times === 1 : times === 1 || times === 2, `the log names it ${times} times`);
  }

  // Bytes. A module script stays UTF-8 whatever the target: browsers read it so. A page of a
  // kind not converted stays as it was.
  const rels = [...converted.keys()].filter((rel) => kindOf(rel) !== 'other');
  const notes = logEntries(first.log);
  const notesOf = (...files) => files.flatMap((rel) => notes.get(visibleName(path.join(folder, rel))) ?? []);
  const encodingOf = (rel) => templateFile(form, rel).encoding ?? target.whatwg;
  const decoded = await decodeInBrowser(tab.page, rels.map((rel) => ({ bytes: converted.get(rel), encoding: encodingOf(rel), fatal: true })));
  rels.forEach((rel, k) => {
    const context = { ...base, file: rel };
    const bytes = converted.get(rel);
    const result = decoded[k];
    record(context, `decodes cleanly as ${encodingOf(rel)}`, result.text !== undefined, () => result.error);
    if (target.name === 'utf-8') record(context, 'no byte-order mark', !(bytes[0] === 0xef && bytes[1] === 0xbb && bytes[2] === 0xbf), 'starts with EF BB BF');
    if (result.text === undefined) return;
    const baselineText = prepared.texts.get(rel) ?? '';
    checkLineEndings(context, eol, baselineText, result.text);
    if (!templateFile(form, rel).encoding) checkDeclarations(context, target, rel, baselineText, result.text, bytes, folder);
    compare(context, 'comment text', commentsOf(rel, baselineText), commentsOf(rel, result.text));
    // (c1.html's stand-ins are counted against the log instead, below.)
    if (rel !== 'c1.html') record(context, 'no substitution characters', substitutes(result.text) <= substitutes(baselineText),
      () => `${substitutes(result.text)} of U+3013 or U+FFFD against ${substitutes(baselineText)} before`);
    if (mode === 'keep') {
      compare(context, 'every character travels as itself', withoutDeclarations(rel, baselineText), withoutDeclarations(rel, result.text));
    }
    // Fallback text reads no escape, and nobody sees it; but a script may read it.
    if (/<(iframe|noembed|noframes)>[^<]*&#[0-9]+;/.test(result.text)) {
      record(context, 'the log names the characters lost in fallback text', notesOf(rel).some((n) => n.includes('<iframe>')),
        'no note under its log line');
    }
  });
  if (converted.has('other.xhtml')) {
    record({ ...base, file: 'js/for-xhtml.js' }, 'the log names the page of another kind that loads it',
      notesOf('js/for-xhtml.js').some((n) => n.includes('other.xhtml')), 'no note under its log line');
  }

  // The browser
  for (const rel of prepared.pages) {
    const context = { ...base, file: rel };
    const seen = await snapshot(tab, path.join(folder, rel));
    const baseline = prepared.baselines.get(rel);
    countPage(form, rel, mode, comparePage(context, baseline, seen, form));
    const text = prepared.texts.get(rel);
    const declared = (/<html[\s>]/i.test(text) && /<head[\s>]/i.test(text)) || declaredCharsets(text).length > 0;
    if (declared) {
      record(context, 'browser reads the target encoding', seen.characterSet.toLowerCase() === target.whatwg,
        `document.characterSet is ${seen.characterSet}`);
    }
    // A static server (file:// here) gives an XHTML page as XML and an SSI page, whose
    // directives it does not run, as HTML.
    if (addedKindPage(rel)) {
      const served = rel.endsWith('.xhtml') ? 'application/xhtml+xml' : 'text/html';
      record(context, `served as ${served}`, seen.contentType === served && baseline.contentType === served,
        `document.contentType is ${seen.contentType}, the baseline's ${baseline.contentType}`);
    }
    // What the browser cannot be given, the log must tell.
    if (rel === 'xmp.html' && mode !== 'keep' && seen.body !== baseline.body) {
      record(context, 'the log names the characters lost in <xmp> and <plaintext>', notesOf(rel).length > 0, 'no note under its log line');
    }
    if (rel === 'c1.html' && mode !== 'keep') {
      const stood = substitutes(seen.scripts) - substitutes(baseline.scripts);
      const logged = notesOf(rel).reduce((n, note) => n + Number(/にない文字 (\d+) 個/.exec(note)?.[1] ?? 0), 0);
      record(context, 'the log counts every C1 control written as a stand-in', stood === logged,
        `${stood} stand-ins in the text and the attribute, ${logged} in the log`);
    }
    if (rel === 'module.html' && target.name !== 'utf-8') {
      record(context, 'the log warns that a module script is read as UTF-8', notesOf(rel, 'js/module.js').length > 0,
        'no note under the log line of the page or of js/module.js');
    }
    if ((rel === 'docwrite.html' || rel === 'set-charset.html') && form.encoding !== target.whatwg) {
      record(context, 'the log warns of the charset a script writes or sets', notesOf(rel).length > 0, 'no note under its log line');
    }
  }

  // A second conversion to the same target changes no byte.
  const second = await convert(folder, target, eol, mode, form);
  record({ ...base, file: '(folder)' }, 'second run exits 0', second.ok, second.log);
  const again = readTree(folder);
  for (const rel of rels) {
    const before = converted.get(rel);
    const after = again.get(rel);
    let at = 0;
    while (at < before.length && at < after.length && before[at] === after[at]) ++at;
    record({ ...base, file: rel }, 'second conversion changes no byte', before.equals(after),
      () => `first change at byte ${at}: ${before.subarray(at, at + 16).toString('hex')} -> ${after.subarray(at, at + 16).toString('hex')}`);
  }
}

// ---------------------------------------------------------------------------------------------
// The closing report

function reportPages() {
  if (!tally.pages.size) return;
  console.log('e2e: hard corpus, converted pages identical in the browser, by cause:');
  const all = { same: 0, known: 0, differs: 0 };
  const line = (count) => `${count.same} of ${count.same + count.known + count.differs}${count.known ? ` (${count.known} more differ only as known)` : ''}`;
  for (const cause of Object.keys(causes).map(Number)) {
    const count = tally.pages.get(cause);
    if (!count) continue;
    console.log(`  ${cause}. ${causes[cause]}: ${line(count)}`);
    for (const k of Object.keys(all)) all[k] += count[k];
  }
  console.log(`  all: ${line(all)}`);
}

async function main() {
  options = parseArguments(process.argv.slice(2));
  const executablePath = process.env.CHROMIUM ?? '/usr/bin/chromium';
  if (!fs.existsSync(executablePath)) throw new Error(`no browser at ${executablePath} (scripts/setup-deps installs chromium)`);
  let chromium;
  try {
    ({ chromium } = await import('playwright-core'));
  } catch (error) {
    throw new Error(`playwright-core is missing (scripts/setup-deps runs npm ci in tests/e2e): ${error.message}`);
  }

  const jobs = [];
  const utf8 = options.targetList.find((t) => t.name === 'utf-8');
  for (const form of options.formList) {
    const eols = options.eolList ?? form.eols ?? allEols;
    for (const target of options.targetList) for (const eol of eols) jobs.push({ form, target, eol, mode: 'escape' });
    if (utf8 && eols.includes('keep')) jobs.push({ form, target: utf8, eol: 'keep', mode: 'keep' });
  }

  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'sarnavel-e2e-'));
  const context = await chromium.launchPersistentContext(path.join(work, 'profile'), {
    executablePath,
    headless: true,
    args: browserFlags,
  });
  try {
    writeCorpus(path.join(work, 'corpus'), options.formList);
    const tabs = [];
    for (let k = 0; k < options.jobs; ++k) tabs.push(await newTab(context));
    const prepared = new Map();
    await onTabs(tabs, options.formList, async (tab, form) => prepared.set(form.name, await prepareForm(tab, form, work)));
    await onTabs(tabs, jobs, (tab, job) => runCombination(tab, job, prepared.get(job.form.name), work));
  } finally {
    await context.close();
    if (!options.keep) removeTree(work);
    else console.log(`e2e: work folder kept at ${work}`);
  }
  for (const k of KNOWN) {
    const hits = tally.known.get(k.name) ?? [];
    console.log(`known: ${k.name}: ${hits.length} differences (${k.why})`);
    if (options.verbose) for (const hit of hits) console.log(`  ${hit}`);
  }
  reportPages();
  console.log(`e2e: ${((Date.now() - started) / 1000).toFixed(1)} s, ${jobs.length} conversions`);
  console.log(`e2e: ${tally.passed} passed, ${tally.failed} failed`);
  process.exitCode = tally.failed > 0 ? 1 : 0;
}

main().catch((error) => {
  console.error(`e2e: ${error.stack ?? error}`);
  console.log('e2e: 0 passed, 1 failed');
  process.exitCode = 1;
});
