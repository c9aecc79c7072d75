#!/usr/bin/env python3
"""Generates a Japanese web site for the whole-site benchmark (bench/site).

Two shapes:
  site  (default)  pages of Japanese prose linking style sheets and scripts in subfolders,
                   about --megabytes in --files files spread over ~53 folders;
  tiny  (--tiny N) N small pages (~300 bytes each), at most 1,000 per folder, for the
                   per-file cost of a run.

The prose is the Japanese translations of free software installed on the machine
(/usr/share/locale/ja/LC_MESSAGES/*.mo). Characters that code page 932 lacks are dropped,
so the same site can be written both in Shift_JIS (cp932, the default) and in UTF-8
(--encoding utf-8) from the same seed: same files, same text, each declaring its encoding.

A .mo file: magic 0x950412de (in the file's byte order), revision, count N, offset of the
table of originals, offset of the table of translations; each table entry is two 32-bit
words (length, offset). Entry 0 is the catalog header. Plural forms are separated by NUL.

Usage:
  site_generate.py OUT [--megabytes 200] [--files 5000] [--seed 1] [--encoding cp932|utf-8]
  site_generate.py OUT --tiny N [--encoding ...]
Prints one line: files, bytes, largest file (bytes), largest file path.
"""

import argparse
import glob
import os
import random
import struct
import sys

CATALOGS = "/usr/share/locale/ja/LC_MESSAGES"


def is_japanese(ch):
    c = ord(ch)
    return 0x3040 <= c <= 0x30FF or 0x4E00 <= c <= 0x9FFF or 0xFF61 <= c <= 0xFF9F


def read_catalog(path):
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 20:
        return []
    for order in ("<", ">"):
        magic, _rev, count, _orig, trans = struct.unpack(order + "5I", data[:20])
        if magic == 0x950412DE:
            break
    else:
        return []
    messages = []
    for i in range(1, count):
        entry = trans + 8 * i
        if entry + 8 > len(data):
            break
        length, offset = struct.unpack(order + "2I", data[entry:entry + 8])
        raw = data[offset:offset + length]
        for form in raw.split(b"\0"):
            try:
                text = form.decode("utf-8")
            except UnicodeDecodeError:
                continue
            messages.append(text)
    return messages


def load_sentences():
    """Distinct Japanese messages, cut into lines, restricted to what cp932 encodes."""
    seen = set()
    sentences = []
    for path in sorted(glob.glob(os.path.join(CATALOGS, "*.mo"))):
        for message in read_catalog(path):
            for line in message.split("\n"):
                line = line.strip()
                if not any(is_japanese(ch) for ch in line):
                    continue
                if any(ord(ch) < 0x20 or ord(ch) == 0x7F for ch in line):
                    continue
                # Drop what code page 932 lacks, character by character.
                kept = "".join(ch for ch in line if _encodable(ch))
                if len(kept) < 4 or kept in seen:
                    continue
                seen.add(kept)
                sentences.append(kept)
    if not sentences:
        sys.exit("site_generate: no Japanese catalogs in " + CATALOGS)
    return sentences


_cache = {}


def _encodable(ch):
    ok = _cache.get(ch)
    if ok is None:
        try:
            ch.encode("cp932")
            ok = True
        except UnicodeEncodeError:
            ok = False
        _cache[ch] = ok
    return ok


def html_escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def js_escape(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def css_escape(text):
    return text.replace("\\", "\\\\").replace('"', '\\"').replace("*/", "* /")


FONTS = ["ＭＳ Ｐゴシック", "ＭＳ ゴシック", "ＭＳ Ｐ明朝", "ＭＳ 明朝", "メイリオ", "ヒラギノ角ゴ Pro W3",
         "ヒラギノ明朝 Pro W3", "游ゴシック", "Osaka", "IPAゴシック"]
MARKS = ["※", "■", "●", "◆", "★", "→", "【", "】", "「", "」", "・", "○"]


class Writer:
    def __init__(self, rng, sentences, encoding):
        self.rng = rng
        self.sentences = sentences
        self.encoding = encoding

    def sentence(self):
        return self.rng.choice(self.sentences)

    def short(self):
        s = self.sentence()
        return s[: self.rng.randint(4, 24)]

    # ---- pages ----
    def page(self, target, title, sheets, scripts, links, crlf):
        r = self.rng
        charset = "Shift_JIS" if self.encoding == "cp932" else "UTF-8"
        head = ['<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN" '
                '"http://www.w3.org/TR/html4/loose.dtd">',
                '<html lang="ja">', "<head>",
                '<meta http-equiv="Content-Type" content="text/html; charset=%s">' % charset,
                "<title>%s</title>" % html_escape(title),
                '<meta name="description" content="%s">' % html_escape(self.short())]
        for s in sheets:
            head.append('<link rel="stylesheet" type="text/css" href="%s">' % s)
        for s in scripts:
            head.append('<script type="text/javascript" src="%s"></script>' % s)
        head += ["</head>", '<body>', '<div id="header"><h1>%s</h1>' % html_escape(title), '<ul class="nav">']
        for href in links[:6]:
            head.append('<li><a href="%s">%s</a></li>' % (href, html_escape(self.short())))
        head += ["</ul></div>", '<div id="content">']
        tail = ["</div>", '<div id="footer"><p>%s Copyright (C) 2004 %s</p></div>'
                % (html_escape(self.short()), html_escape(self.short())), "</body>", "</html>", ""]
        out = []
        size = self._size(head) + self._size(tail)
        section = 0
        while size < target:
            kind = r.random()
            if kind < 0.08:
                section += 1
                block = ['<h2 id="s%d">%s</h2>' % (section, html_escape(self.short()))]
            elif kind < 0.55:
                block = ["<p>" + "".join(self._inline() for _ in range(r.randint(1, 4))) + "</p>"]
            elif kind < 0.70:
                block = ['<ul class="list">'] + ["<li>%s</li>" % self._inline() for _ in range(r.randint(2, 6))] + ["</ul>"]
            elif kind < 0.82:
                rows = ['<table class="info" summary="%s">' % html_escape(self.short())]
                for _ in range(r.randint(2, 5)):
                    rows.append("<tr><th>%s</th><td>%s</td></tr>" % (html_escape(self.short()), html_escape(self.sentence())))
                block = rows + ["</table>"]
            elif kind < 0.92:
                block = ['<p class="note"><img src="img/icon%d.gif" alt="%s" width="16" height="16"> %s</p>'
                         % (r.randint(1, 40), html_escape(self.short()), html_escape(self.sentence()))]
            else:
                block = ["<!-- %s -->" % self.short().replace("--", "ー"),
                         '<div class="box"><a href="%s">%s</a> %s</div>'
                         % (r.choice(links) if links else "#", html_escape(self.short()), html_escape(self.sentence()))]
            out += block
            size += self._size(block)
        return self._join(head + out + tail, crlf)

    def _inline(self):
        r = self.rng
        text = html_escape(self.sentence())
        roll = r.random()
        if roll < 0.15:
            return '<a href="#s%d">%s</a>%s' % (r.randint(1, 9), html_escape(self.short()), text)
        if roll < 0.25:
            return "<strong>%s</strong>%s" % (html_escape(self.short()), text)
        if roll < 0.30:
            return text + "<br>"
        return text

    # ---- sheets ----
    def sheet(self, target, crlf):
        r = self.rng
        lines = []
        if self.encoding == "cp932" and r.random() < 0.5:
            lines.append('@charset "Shift_JIS";')
        elif self.encoding == "utf-8" and r.random() < 0.5:
            lines.append('@charset "UTF-8";')
        lines.append("/* %s */" % css_escape(self.sentence()))
        size = self._size(lines)
        n = 0
        while size < target:
            n += 1
            fonts = ", ".join('"%s"' % f for f in r.sample(FONTS, 3))
            block = ["", "/* %s */" % css_escape(self.short()),
                     "#content .c%d, .box%d p {" % (n, n),
                     "  font-family: %s, sans-serif;" % fonts,
                     "  font-size: %d%%;" % r.choice([80, 90, 100, 110, 120]),
                     "  color: #%06x;" % r.randint(0, 0xFFFFFF),
                     "  margin: %dpx %dpx;" % (r.randint(0, 20), r.randint(0, 20)),
                     "}"]
            if r.random() < 0.5:
                block += [".c%d li:before, .mark%d:after {" % (n, n),
                          '  content: "%s%s";' % (r.choice(MARKS), css_escape(self.short())),
                          "}"]
            lines += block
            size += self._size(block)
        lines.append("")
        return self._join(lines, crlf)

    # ---- scripts ----
    def script(self, target, crlf):
        r = self.rng
        lines = ["// %s" % self.sentence(), "(function () {", '  "use strict";']
        size = self._size(lines)
        n = 0
        while size < target:
            n += 1
            roll = r.random()
            if roll < 0.3:
                block = ["  var message%d = \"%s\";" % (n, js_escape(self.sentence())),
                         "  function show%d(id) {" % n,
                         "    var e = document.getElementById(id);",
                         "    if (e) { e.innerHTML = message%d; } else { alert(\"%s\"); }" % (n, js_escape(self.short())),
                         "  }"]
            elif roll < 0.55:
                block = ["  // %s" % self.sentence(),
                         "  var labels%d = [%s];" % (n, ", ".join('"%s"' % js_escape(self.short()) for _ in range(r.randint(2, 5))))]
            elif roll < 0.8:
                block = ["  /* %s */" % self.sentence().replace("*/", "* /"),
                         "  if (navigator.userAgent.indexOf(\"MSIE\") >= 0) {",
                         "    document.write('<p class=\"warn\">%s</p>');" % js_escape(self.short()).replace("'", "\\'"),
                         "  }"]
            else:
                block = ["  var table%d = {" % n] + [
                    "    k%d: \"%s\"," % (k, js_escape(self.sentence())) for k in range(r.randint(2, 4))] + ["  };"]
            lines += block
            size += self._size(block)
        lines += ["})();", ""]
        return self._join(lines, crlf)

    # ---- helpers ----
    def _size(self, lines):
        # Estimated size in cp932 (a Japanese character takes 2 bytes), whatever the output
        # encoding, so that both encodings get the same text.
        return sum(len(s) + 1 + sum(1 for ch in s if ord(ch) > 0x7F) for s in lines)

    def _join(self, lines, crlf):
        text = ("\r\n" if crlf else "\n").join(lines)
        return text.encode(self.encoding)


def relative(from_folder, to_path):
    return os.path.relpath(to_path, from_folder).replace(os.sep, "/")


def lognormal_sizes(rng, count, mean, low, high):
    raw = [min(max(rng.lognormvariate(0, 0.6), low), high) for _ in range(count)]
    scale = mean * count / sum(raw) if raw else 1
    return [max(256, int(x * scale)) for x in raw]


def generate_site(out, megabytes, files, seed, encoding):
    rng = random.Random(seed)
    sentences = load_sentences()
    writer = Writer(rng, sentences, encoding)
    total = int(megabytes * 1e6)  # in cp932; the UTF-8 site is about a fifth larger

    # Folders: the root, its css/ and js/, and 10 sections, each with css/, js/ and 2 subsections.
    page_folders = [""]
    sheet_folders = {"": "css"}
    script_folders = {"": "js"}
    folders = ["", "css", "js"]
    for s in range(1, 11):
        sec = "section%02d" % s
        folders += [sec, sec + "/css", sec + "/js"]
        page_folders.append(sec)
        sheet_folders[sec] = sec + "/css"
        script_folders[sec] = sec + "/js"
        for sub in ("guide", "news"):
            folders.append(sec + "/" + sub)
            page_folders.append(sec + "/" + sub)
    for f in folders:
        os.makedirs(os.path.join(out, f), exist_ok=True)

    n_pages = max(1, int(files * 0.7))
    n_sheets = max(1, int(files * 0.15))
    n_scripts = max(1, files - n_pages - n_sheets)
    sheet_bytes = total * 0.10 / n_sheets
    script_bytes = total * 0.10 / n_scripts
    page_bytes = total * 0.80 / n_pages

    # Sheets and scripts: shared ones at the root, the rest per section.
    sections = [f for f in page_folders if f.count("/") == 0 and f]

    def place(count, folder_map, ext, prefix):
        paths = []
        for k in range(count):
            owner = "" if k % 11 == 0 else sections[k % len(sections)]
            paths.append("%s/%s%04d.%s" % (folder_map[owner], prefix, k, ext))
        return paths

    sheets = place(n_sheets, sheet_folders, "css", "style")
    scripts = place(n_scripts, script_folders, "js", "script")
    pages = []
    for k in range(n_pages):
        folder = page_folders[k % len(page_folders)]
        pages.append((folder + "/" if folder else "") + "page%05d.html" % k)

    def section_of(folder):
        return folder.split("/")[0] if folder else ""

    sheets_by = {}
    for p in sheets:
        sheets_by.setdefault(p.split("/")[0] if p.count("/") > 1 else "", []).append(p)
    scripts_by = {}
    for p in scripts:
        scripts_by.setdefault(p.split("/")[0] if p.count("/") > 1 else "", []).append(p)

    largest = (0, "")
    written = 0

    def emit(rel, data):
        nonlocal largest, written
        with open(os.path.join(out, rel), "wb") as f:
            f.write(data)
        written += len(data)
        if len(data) > largest[0]:
            largest = (len(data), rel)

    for rel, size in zip(sheets, lognormal_sizes(rng, n_sheets, sheet_bytes, 0.2, 4)):
        emit(rel, writer.sheet(size, rng.random() < 0.3))
    for rel, size in zip(scripts, lognormal_sizes(rng, n_scripts, script_bytes, 0.2, 4)):
        emit(rel, writer.script(size, rng.random() < 0.3))
    for rel, size in zip(pages, lognormal_sizes(rng, n_pages, page_bytes, 0.1, 6)):
        folder = os.path.dirname(rel)
        sec = section_of(folder)
        own_sheets = sheets_by.get(sec) or sheets_by[""]
        own_scripts = scripts_by.get(sec) or scripts_by[""]
        linked_sheets = [rng.choice(sheets_by.get("") or own_sheets)] + rng.sample(own_sheets, min(len(own_sheets), rng.randint(0, 2)))
        linked_scripts = rng.sample(own_scripts, min(len(own_scripts), rng.randint(1, 2)))
        links = [relative(folder, rng.choice(pages)) for _ in range(8)]
        emit(rel, writer.page(size, writer.short(),
                              [relative(folder, p) for p in dict.fromkeys(linked_sheets)],
                              [relative(folder, p) for p in linked_scripts], links, rng.random() < 0.3))
    count = n_pages + n_sheets + n_scripts
    print("%d files, %d bytes, largest %d bytes (%s)" % (count, written, largest[0], largest[1]))


def generate_tiny(out, count, seed, encoding):
    rng = random.Random(seed)
    sentences = load_sentences()
    charset = "Shift_JIS" if encoding == "cp932" else "UTF-8"
    written = 0
    largest = 0
    for k in range(count):
        folder = os.path.join(out, "f%03d" % (k // 1000))
        if k % 1000 == 0:
            os.makedirs(folder, exist_ok=True)
        text = ('<html><head><meta http-equiv="Content-Type" content="text/html; charset=%s">'
                "<title>%s</title></head>\n<body><p>%s</p>\n<p>%s</p></body></html>\n"
                % (charset, html_escape(rng.choice(sentences)[:12]), html_escape(rng.choice(sentences)),
                   html_escape(rng.choice(sentences))))
        data = text.encode(encoding)
        with open(os.path.join(folder, "p%06d.html" % k), "wb") as f:
            f.write(data)
        written += len(data)
        largest = max(largest, len(data))
    print("%d files, %d bytes, largest %d bytes" % (count, written, largest))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("out")
    parser.add_argument("--megabytes", type=float, default=200)
    parser.add_argument("--files", type=int, default=5000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--encoding", choices=["cp932", "utf-8"], default="cp932")
    parser.add_argument("--tiny", type=int, default=0, help="make N tiny pages instead of a site")
    args = parser.parse_args()
    if os.path.exists(args.out) and os.listdir(args.out):
        sys.exit("site_generate: %s exists and is not empty" % args.out)
    os.makedirs(args.out, exist_ok=True)
    if args.tiny:
        generate_tiny(args.out, args.tiny, args.seed, args.encoding)
    else:
        generate_site(args.out, args.megabytes, args.files, args.seed, args.encoding)


if __name__ == "__main__":
    main()
