#!/usr/bin/env node
// End-to-end fidelity test: a converted site, opened in a real browser, shows what it showed
// before.
//
// For every source form of the corpus (corpus/<form>/, written by make-corpus.mjs), every
// target encoding and every line-ending choice, a copy of the form's folder is converted in
// place by sarnavel-cli; then headless Chromium loads each page and its converted twin from
// file:// URLs and compares the title, the text of the body, the generated content of
// ::before and ::after, the text the scripts wrote and the computed font-family. The bytes
// are checked too: every converted file decodes cleanly in the target encoding, UTF-8 output
// has no byte-order mark, declarations name the target, line endings are as asked, and a
// second conversion to the same target changes no byte.
//
// The baseline of a page is the page as the browser reads it. It is taken from a copy of the
// form written in UTF-8 with a byte-order mark (which every browser reads one way) and checked
// once against the original; where the browser cannot read the original as written (UTF-16
// without a byte-order mark, pages without any declaration), the copy stands in for it and the
// case is named in KNOWN below.
//
// Usage: node driver.mjs [--cli PATH] [--forms a,b] [--targets a,b] [--eols a,b] [--keep]
//                        [--jobs N] [--verbose]
// The CLI's path comes from --cli or SARNAVEL_CLI; the browser from CHROMIUM (default
// /usr/bin/chromium). Closes with the line "e2e: N passed, M failed"; exits 1 on a failure.
import { execFile } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { promisify } from 'node:util';
import { forms as allForms, lineEndings as allEols, targets as allTargets } from './forms.mjs';

const run = promisify(execFile);
const here = path.dirname(fileURLToPath(import.meta.url));
const started = Date.now();

// ---------------------------------------------------------------------------------------------
// Differences that cannot be avoided, each named. A check one of these matches is reported as
// "known" and counted neither as passed nor as failed.
const KNOWN = [
  {
    // A UTF-16 file without a byte-order mark: browsers have no way to tell it is UTF-16 (its
    // declaration is unreadable to them), so the original shows garbage. The converted page
    // is compared with the same text written with a byte-order mark instead.
    name: 'UTF-16 without a byte-order mark',
    matches: (c, aspect) => /^utf-16(le|be)-nobom$/.test(c.form) && c.target === '-' && aspect === 'original',
    why: 'browsers cannot read UTF-16 without a byte-order mark; the baseline is the same text with one',
  },
  {
    // Chromium does not recognise ISO-2022-JP in a page that declares no encoding: it shows
    // the escape sequences as text. The original of such a page is unreadable; its baseline is
    // the text as written.
    name: 'undeclared ISO-2022-JP',
    matches: (c, aspect) => c.form === 'iso-2022-jp' && /^(nodecl|bare)\.html$/.test(c.file) && c.target === '-' && aspect === 'original',
    why: 'Chromium does not detect ISO-2022-JP in a page without a declaration; the baseline is the text as written',
  },
  {
    // CSS and JavaScript have no escapes inside comments: a character the target cannot hold
    // that stands in a comment is written as escape text there (\E9 , \u00E9), so the comment
    // reads differently. No browser shows comments; the visible text is compared elsewhere.
    name: 'comments',
    matches: (c, aspect) => aspect === 'comment text',
    why: 'characters the target cannot hold stay as escape text inside CSS and JavaScript comments',
  },
];

function knownCase(context, aspect) {
  return KNOWN.find((k) => k.matches(context, aspect));
}

// ---------------------------------------------------------------------------------------------
// Arguments

function parseArguments(argv) {
  const options = { cli: process.env.SARNAVEL_CLI, jobs: 2, keep: false, verbose: false };
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
    return names.map((n) => all.find((x) => (x.name ?? x) === n) ?? (() => { throw new Error(`unknown ${what} ${n}`); })());
  };
  options.formList = pick(allForms, options.forms, 'form');
  options.targetList = pick(allTargets, options.targets, 'target');
  options.eolList = pick(allEols, options.eols, 'line ending');
  return options;
}

// ---------------------------------------------------------------------------------------------
// Results

const tally = { passed: 0, failed: 0, known: new Map() };

// A short view of two strings around their first difference.
function firstDifference(a, b) {
  let i = 0;
  while (i < a.length && i < b.length && a[i] === b[i]) ++i;
  const from = Math.max(0, i - 30);
  const show = (s) => JSON.stringify(s.slice(from, i + 40));
  return `at character ${i}: original ${show(a)} / converted ${show(b)}`;
}

function record(context, aspect, ok, detail) {
  const known = knownCase(context, aspect);
  const where = `[${context.form} -> ${context.target}, ${context.eol}] ${context.file}`;
  if (known) {
    if (!ok) tally.known.set(known.name, [...(tally.known.get(known.name) ?? []), `${where} ${aspect}`]);
    return;
  }
  if (ok) {
    ++tally.passed;
    if (options.verbose) console.log(`ok   ${where} ${aspect}`);
  } else {
    ++tally.failed;
    console.log(`FAIL ${where} ${aspect}: ${typeof detail === 'function' ? detail() : detail}`);
  }
}

function compare(context, aspect, original, converted) {
  record(context, aspect, original === converted, () => firstDifference(original, converted));
}

// ---------------------------------------------------------------------------------------------
// Files

function listFiles(folder, prefix = '') {
  const out = [];
  for (const entry of fs.readdirSync(folder, { withFileTypes: true })) {
    const rel = prefix ? `${prefix}/${entry.name}` : entry.name;
    if (entry.isDirectory()) out.push(...listFiles(path.join(folder, entry.name), rel));
    else out.push(rel);
  }
  return out.sort();
}

const kindOf = (rel) => (/\.html?$/i.test(rel) ? 'page' : /\.css$/i.test(rel) ? 'sheet' : /\.js$/i.test(rel) ? 'script' : 'other');

function readTree(folder) {
  const files = new Map();
  for (const rel of listFiles(folder)) files.set(rel, fs.readFileSync(path.join(folder, rel)));
  return files;
}

// ---------------------------------------------------------------------------------------------
// The browser

const browserFlags = [
  '--headless',
  '--no-sandbox',
  '--disable-gpu',
  '--disable-background-networking',
  '--disable-component-update',
  '--no-first-run',
  '--disable-sync',
  '--disable-quic',
];

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

// ---------------------------------------------------------------------------------------------
// Checks

// Compares what a person sees of two readings of one page. Pages declared Latin-1 are
// converted with their accented letters decomposed (é becomes e + U+0301, written &#769;),
// which renders the same glyphs but differs in the DOM by Unicode normalization: their
// titles and body texts are compared in NFC.
function comparePage(context, baseline, seen, form, prefix = '') {
  const normal = form.name === 'latin1' ? (s) => s.normalize('NFC') : (s) => s;
  compare(context, `${prefix}title`, normal(baseline.title), normal(seen.title));
  compare(context, `${prefix}body text`, normal(baseline.body), normal(seen.body));
  compare(context, `${prefix}generated content`, baseline.pseudo, seen.pseudo);
  compare(context, `${prefix}text written by scripts`, normal(baseline.scripts), normal(seen.scripts));
  compare(context, `${prefix}font-family`, baseline.fonts, seen.fonts);
}

function attributesOf(tag) {
  const attributes = new Map();
  const pattern = /([^\s"'<>\/=]+)(?:\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s"'=<>`]+)))?/g;
  const body = tag.replace(/^<[a-zA-Z]+/, '').replace(/\/?>$/, '');
  for (const m of body.matchAll(pattern)) attributes.set(m[1].toLowerCase(), m[2] ?? m[3] ?? m[4] ?? '');
  return attributes;
}

// The encodings that a page's metas declare: http-equiv Content-Type and meta charset.
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
    found = text.match(/<!--[\s\S]*?-->/g) ?? [];
    for (const m of text.matchAll(/<style\b[^>]*>([\s\S]*?)<\/style/gi)) found.push(...css(m[1]));
    for (const m of text.matchAll(/<script\b[^>]*>([\s\S]*?)<\/script/gi)) found.push(...js(m[1]));
  }
  return found.map((c) => c.replace(/\r\n?/g, '\n')).join('\n');
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

function checkDeclarations(context, target, rel, baselineText, text, folder) {
  const kind = kindOf(rel);
  const wanted = target.declared.toLowerCase();
  if (kind === 'page') {
    const hasHtml = /<html[\s>]/i.test(baselineText);
    const hadDeclaration = declaredCharsets(baselineText).length > 0;
    const hasHead = /<head[\s>]/i.test(baselineText);
    if (hasHtml && (hadDeclaration || hasHead)) {
      const names = declaredCharsets(text);
      record(context, 'declarations name the target', names.length > 0 && names.every((n) => n.toLowerCase() === wanted),
        () => `declared: ${names.length ? names.join(', ') : 'none'}; wanted ${target.declared}`);
    }
    const xml = /^\s*<\?xml\b[^>]*\bencoding\s*=\s*["']([^"']*)["']/i.exec(text);
    if (xml) {
      record(context, 'XML declaration names the target', xml[1].toLowerCase() === wanted,
        () => `<?xml ... encoding="${xml[1]}"?> in a page converted to ${target.declared}`);
    }
    // The link and script elements that load local files name the target.
    for (const m of text.matchAll(/<(link|script)\b[^>]*>/gi)) {
      const attributes = attributesOf(m[0]);
      const name = m[1].toLowerCase();
      const reference = attributes.get(name === 'link' ? 'href' : 'src');
      if (!reference || /^[a-z]+:/i.test(reference)) continue;
      if (!fs.existsSync(path.join(folder, path.dirname(rel), reference))) continue;
      const charset = attributes.get('charset') ?? '';
      record(context, `charset attribute of ${name} ${reference}`, charset.toLowerCase() === wanted,
        () => `charset="${charset}" (wanted ${target.declared})`);
    }
  } else if (kind === 'sheet') {
    const rule = /^@charset "([^"]*)";/.exec(text);
    record(context, '@charset names the target', !!rule && rule[1].toLowerCase() === wanted,
      () => `starts with ${JSON.stringify(text.slice(0, 30))}; wanted @charset "${wanted}";`);
  }
}

// ---------------------------------------------------------------------------------------------
// The run

let options;

async function convert(folder, target, eol) {
  try {
    const { stdout } = await run(options.cli, ['-t', target.name, '-n', eol, '--no-backup', folder], { maxBuffer: 1 << 24 });
    return { ok: true, log: stdout };
  } catch (error) {
    return { ok: false, log: `exit ${error.code}: ${error.stdout ?? ''}${error.stderr ?? ''}` };
  }
}

async function prepareForm(tab, form, work) {
  // The baseline: the form written in UTF-8 with a byte-order mark.
  const source = path.join(here, 'corpus', form.name);
  const baselineFolder = path.join(work, 'baseline', form.name);
  const files = readTree(source);
  const decoded = await decodeInBrowser(tab.page, [...files.values()].map((bytes) => ({ bytes, encoding: form.encoding })));
  const texts = new Map();
  [...files.keys()].forEach((rel, k) => {
    texts.set(rel, decoded[k].text);
    fs.mkdirSync(path.dirname(path.join(baselineFolder, rel)), { recursive: true });
    fs.writeFileSync(path.join(baselineFolder, rel), Buffer.concat([Buffer.from([0xef, 0xbb, 0xbf]), Buffer.from(decoded[k].text, 'utf8')]));
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

async function runCombination(tab, form, prepared, target, eol, work) {
  const folder = path.join(work, 'converted', form.name, `${target.name}-${eol}`);
  fs.rmSync(folder, { recursive: true, force: true });
  fs.cpSync(prepared.source, folder, { recursive: true });
  const base = { form: form.name, target: target.name, eol };

  const first = await convert(folder, target, eol);
  record({ ...base, file: '(folder)' }, 'sarnavel-cli exits 0', first.ok, first.log.trim().split('\n').slice(-5).join(' / '));
  const converted = readTree(folder);
  // The log names each page once. A sheet or script both listed and loaded by a page is
  // converted in its own pass and again with the files pages load (the run's rule), so it
  // may be named twice; the second conversion changes nothing, which the bytes check below.
  const logLines = first.log.split(/\r?\n/);
  for (const rel of converted.keys()) {
    const full = path.join(folder, rel);
    const times = logLines.filter((line) => line.endsWith(` ${full}`) || line.endsWith(`:${full}`)).length;
    const page = /\.html?$/i.test(rel);
    record({ ...base, file: rel }, page ? 'converted once in the run' : 'converted once or twice in the run',
           page ? times === 1 : times === 1 || times === 2, `the log names it ${times} times`);
  }

  // Bytes
  const rels = [...converted.keys()];
  const decoded = await decodeInBrowser(tab.page, rels.map((rel) => ({ bytes: converted.get(rel), encoding: target.whatwg, fatal: true })));
  rels.forEach((rel, k) => {
    const context = { ...base, file: rel };
    const bytes = converted.get(rel);
    const result = decoded[k];
    record(context, `decodes cleanly as ${target.name}`, result.text !== undefined, () => result.error);
    if (target.name === 'utf-8') record(context, 'no byte-order mark', !(bytes[0] === 0xef && bytes[1] === 0xbb && bytes[2] === 0xbf), 'starts with EF BB BF');
    if (result.text === undefined) return;
    const baselineText = prepared.texts.get(rel) ?? '';
    checkLineEndings(context, eol, baselineText, result.text);
    checkDeclarations(context, target, rel, baselineText, result.text, folder);
    compare(context, 'comment text', commentsOf(rel, baselineText), commentsOf(rel, result.text));
    record(context, 'no substitution characters', substitutes(result.text) <= substitutes(baselineText),
      () => `${substitutes(result.text)} of U+3013 or U+FFFD against ${substitutes(baselineText)} before`);
  });

  // The browser
  for (const rel of prepared.pages) {
    const context = { ...base, file: rel };
    const seen = await snapshot(tab, path.join(folder, rel));
    comparePage(context, prepared.baselines.get(rel), seen, form);
    const declared = /<html[\s>]/i.test(prepared.texts.get(rel)) && /<head[\s>]|<meta/i.test(prepared.texts.get(rel));
    if (declared) {
      record(context, 'browser reads the target encoding', seen.characterSet.toLowerCase() === target.whatwg,
        `document.characterSet is ${seen.characterSet}`);
    }
  }

  // A second conversion to the same target changes no byte.
  const second = await convert(folder, target, eol);
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
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'sarnavel-e2e-'));
  const context = await chromium.launchPersistentContext(path.join(work, 'profile'), {
    executablePath,
    headless: true,
    args: browserFlags,
  });
  try {
    const tabs = [];
    for (let k = 0; k < options.jobs; ++k) tabs.push(await newTab(context));

    const jobs = [];
    const prepared = new Map();
    for (const form of options.formList) {
      prepared.set(form.name, await prepareForm(tabs[0], form, work));
      for (const target of options.targetList) for (const eol of options.eolList) jobs.push({ form, target, eol });
    }
    let next = 0;
    await Promise.all(tabs.map(async (tab) => {
      while (next < jobs.length) {
        const { form, target, eol } = jobs[next++];
        await runCombination(tab, form, prepared.get(form.name), target, eol, work);
      }
    }));
  } finally {
    await context.close();
    if (!options.keep) fs.rmSync(work, { recursive: true, force: true });
    else console.log(`e2e: work folder kept at ${work}`);
  }
  for (const k of KNOWN) {
    const hits = tally.known.get(k.name) ?? [];
    console.log(`known: ${k.name}: ${hits.length} differences (${k.why})`);
    if (options.verbose) for (const hit of hits) console.log(`  ${hit}`);
  }
  console.log(`e2e: ${((Date.now() - started) / 1000).toFixed(1)} s`);
  console.log(`e2e: ${tally.passed} passed, ${tally.failed} failed`);
  process.exitCode = tally.failed > 0 ? 1 : 0;
}

main().catch((error) => {
  console.error(`e2e: ${error.stack ?? error}`);
  console.log('e2e: 0 passed, 1 failed');
  process.exitCode = 1;
});
