#!/usr/bin/env node
// Writes corpus/<form>/ for every source form from the UTF-8 templates in templates/.
// The corpus is committed; run this again after changing a template:  node make-corpus.mjs
//
// Template marks: {{page}}, {{sub}}, {{css}} become the form's charset labels; lines between
// a line {{#world}} and a line {{/world}} are kept only in forms whose text may hold
// characters no Japanese encoding has; {{0212}}...{{/0212}} writes JIS X 0212 codes in EUC-JP.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { encode } from './encoders.mjs';
import { forms } from './forms.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const optionalFiles = new Set(forms.flatMap((f) => f.extraFiles ?? []));
const byteOrderMarks = { 'utf-8': [0xef, 0xbb, 0xbf], 'utf-16le': [0xff, 0xfe], 'utf-16be': [0xfe, 0xff] };

function listFiles(folder, prefix = '') {
  const out = [];
  for (const entry of fs.readdirSync(folder, { withFileTypes: true }).sort((a, b) => a.name.localeCompare(b.name))) {
    const rel = prefix ? `${prefix}/${entry.name}` : entry.name;
    if (entry.isDirectory()) out.push(...listFiles(path.join(folder, entry.name), rel));
    else out.push(rel);
  }
  return out;
}

export function render(template, form) {
  const lines = template.replace(/\n$/, '').split('\n');
  const kept = [];
  let inWorld = false;
  for (const line of lines) {
    if (line === '{{#world}}') { inWorld = true; continue; }
    if (line === '{{/world}}') { inWorld = false; continue; }
    if (inWorld && !form.world) continue;
    kept.push(line.replace(/\{\{(page|sub|css)\}\}/g, (_, key) => form.labels[key]));
  }
  return kept.join(form.eol) + form.eol;
}

function main() {
  const corpus = path.join(here, 'corpus');
  fs.rmSync(corpus, { recursive: true, force: true });
  let count = 0;
  for (const form of forms) {
    const templates = path.join(here, 'templates', form.templates);
    for (const rel of listFiles(templates)) {
      if (optionalFiles.has(rel) && !(form.extraFiles ?? []).includes(rel)) continue;
      const text = render(fs.readFileSync(path.join(templates, rel), 'utf8'), form);
      const encoding = form.writtenAs?.[rel] ?? form.encoding;
      let bytes = encode(text, encoding, `${form.name}/${rel}`);
      if (form.bom) bytes = Buffer.concat([Buffer.from(byteOrderMarks[encoding]), bytes]);
      const target = path.join(corpus, form.name, rel);
      fs.mkdirSync(path.dirname(target), { recursive: true });
      fs.writeFileSync(target, bytes);
      ++count;
    }
  }
  console.log(`make-corpus: wrote ${count} files in ${forms.length} forms`);
}

if (process.argv[1] && fs.realpathSync(process.argv[1]) === fileURLToPath(import.meta.url)) main();
