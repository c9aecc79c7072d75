#!/usr/bin/env node
// Writes the corpus, one folder per source form, from the UTF-8 templates in templates/. The
// driver writes it at the start of every run into its work folder; to look at the bytes:
//   node make-corpus.mjs OUT [FORM...]
//
// Template marks, line by line: lines between {{#world}} and {{/world}} are kept only in forms
// whose text may hold characters no Japanese encoding has; lines between {{#only a,b}} and
// {{/only}} only in the forms made in a or b. In a line: {{page}}, {{sub}}, {{css}} become the
// form's charset labels; {{plain}}, {{rare}}, {{nbsp}}, {{zwnbsp}}, {{c1}} the form's texts;
// {{pad:N}} N bytes of ASCII filler. encoders.mjs reads the byte-level marks ({{0212}},
// {{roman}}, {{bytes:..}}).
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { encode } from './encoders.mjs';
import { allForms, templateFile } from './forms.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
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

const filler = (n) => 'filler text that moves what follows past the first kilobyte; '.repeat(Math.ceil(n / 60)).slice(0, n);

export function render(template, form) {
  const lines = template.replace(/\n$/, '').split('\n');
  const kept = [];
  let skipping = false;
  for (const line of lines) {
    const only = /^\{\{#only ([^}]+)\}\}$/.exec(line);
    if (line === '{{#world}}' || only) {
      skipping = only ? !only[1].split(',').includes(form.source) : !form.world;
      continue;
    }
    if (line === '{{/world}}' || line === '{{/only}}') { skipping = false; continue; }
    if (skipping) continue;
    kept.push(line
      .replace(/\{\{(page|sub|css)\}\}/g, (_, key) => form.labels[key])
      .replace(/\{\{(plain|rare|nbsp|zwnbsp|c1)\}\}/g, (mark, key) => form.strings?.[key] ?? (() => { throw new Error(`${form.name}: no text for ${mark}`); })())
      .replace(/\{\{pad:(\d+)\}\}/g, (_, n) => filler(Number(n))));
  }
  return kept.join(form.eol) + form.eol;
}

// Writes every form of the list under folder/<form name>/; returns the number of files.
export function writeCorpus(folder, formList = allForms) {
  let count = 0;
  for (const form of formList) {
    const templates = path.join(here, 'templates', form.templates);
    for (const rel of listFiles(templates)) {
      const file = templateFile(form, rel);
      if (file.forms && !file.forms.includes(form.source)) continue;
      const text = render(fs.readFileSync(path.join(templates, rel), 'utf8'), form);
      const encoding = file.encoding ?? file.writtenAs ?? form.encoding;
      let bytes = encode(text, encoding, `${form.name}/${rel}`);
      if (form.bom) bytes = Buffer.concat([Buffer.from(byteOrderMarks[encoding] ?? []), bytes]);
      const target = path.join(folder, form.name, rel);
      fs.mkdirSync(path.dirname(target), { recursive: true });
      const name = path.basename(rel);
      fs.writeFileSync(file.nameIn ? Buffer.concat([Buffer.from(path.dirname(target) + '/'), encode(name, file.nameIn, rel)]) : target, bytes);
      ++count;
    }
  }
  return count;
}

function main() {
  const [out, ...names] = process.argv.slice(2);
  if (!out) {
    console.error('usage: node make-corpus.mjs OUT [FORM...]');
    process.exit(2);
  }
  const formList = names.length ? names.map((n) => allForms.find((f) => f.name === n) ?? (() => { throw new Error(`unknown form ${n}`); })()) : allForms;
  const count = writeCorpus(path.resolve(out), formList);
  console.log(`make-corpus: wrote ${count} files in ${formList.length} forms under ${out}`);
}

if (process.argv[1] && fs.realpathSync(process.argv[1]) === fileURLToPath(import.meta.url)) main();
