#!/usr/bin/env python3
"""Builds the second tree of bench/site: real Japanese documentation pages, once, into a cache.

The pages are the HTML of Debian's Japanese documentation packages (debian-reference-ja,
maint-guide-ja, developers-reference-ja, debian-faq-ja, with the style sheets and scripts
they load) and the manual pages of manpages-ja, each wrapped in <pre> as a page of its own.
The packages are installed with apt when missing. This unique set (about 1,100 files,
17 MB of UTF-8) is copied into numbered folders, the documentation more often than the
manual pages, until the tree holds about --files files and --megabytes of Shift_JIS; links
stay inside each copy.

The Shift_JIS tree is made by sarnavel-cli (-t shift_jis --no-backup) from the UTF-8 one,
not by iconv: a Shift_JIS site is what the program would have written, so its declarations
name Shift_JIS and the characters code page 932 lacks are escaped in the syntax of each
language (&#8212; in pages, \\2014 in sheets, \\u2014 in scripts), where iconv would stop at
the first such character and leave every declaration saying UTF-8. The result is checked
here without the program: every file decodes strictly as code page 932, and the text of every
page (outside its tags, character references resolved) is that of its UTF-8 original.

Cache folder (default /var/tmp/sarnavel-bench-cache/docs):
  utf8/         the tree in UTF-8 (the packages' own bytes; manual pages wrapped)
  sjis/         the same tree in Shift_JIS
  pages.utf8    about --sample-megabytes of the unique pages joined, for converter_throughput --file
  stamp.json    what the cache was built from; a cache with the same packages, script and
                targets is reused as it is
Prints one line: files, bytes (Shift_JIS), largest file (bytes), cache folder.

Usage: site_docs.py --cli PATH [--cache DIR] [--files 5000] [--megabytes 200]
                    [--sample-megabytes 40] [--rebuild]
"""

import argparse
import gzip
import hashlib
import html
import json
import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DOC_PACKAGES = ["debian-reference-ja", "maint-guide-ja", "developers-reference-ja", "debian-faq-ja"]
MAN_PACKAGE = "manpages-ja"
EXTENSIONS = (".html", ".css", ".js")
LOADS = re.compile(rb"""<(?:link|script)\b[^>]*?\b(?:href|src)\s*=\s*["']([^"'#?]+)""", re.I)


def say(*parts):
    print(*parts, file=sys.stderr, flush=True)


def package_version(name):
    return subprocess.run(["dpkg-query", "-W", "-f", "${Version}", name], capture_output=True, text=True).stdout.strip()


def package_files(name):
    out = subprocess.run(["dpkg", "-L", name], capture_output=True, text=True, check=True).stdout
    return sorted(p for p in out.splitlines() if os.path.isfile(p))


def documentation_files(package):
    """The package's pages, sheets and scripts, and the sheets and scripts its pages load."""
    files = {p for p in package_files(package) if p.endswith(EXTENSIONS)}
    for page in sorted(f for f in files if f.endswith(".html")):
        with open(page, "rb") as f:
            for target in LOADS.findall(f.read()):
                target = target.decode("ascii", "replace")
                if "://" in target or target.startswith("/"):
                    continue
                path = os.path.normpath(os.path.join(os.path.dirname(page), target))
                if path.endswith(EXTENSIONS) and os.path.isfile(path):
                    files.add(path)
    return sorted(files)


def read_bytes(path):
    with open(path, "rb") as f:  # follows symbolic links: the tree holds regular files only
        return f.read()


def wrap_manual_page(name, section, source):
    escaped = html.escape(source, quote=False)
    return ("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n"
            "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">\n"
            "<title>%s(%s)</title>\n</head>\n<body>\n<pre>\n%s</pre>\n</body>\n</html>\n"
            % (html.escape(name), section, escaped)).encode("utf-8")


def unique_set():
    """{relative path: UTF-8 bytes} for the documentation ("doc/...") and the manual pages ("man/...")."""
    docs, man = {}, {}
    for package in DOC_PACKAGES:
        files = documentation_files(package)
        root = os.path.commonpath([os.path.dirname(f) for f in files])
        short = package[:-3]  # without "-ja"
        for path in files:
            docs[os.path.join(short, os.path.relpath(path, root))] = read_bytes(path)
    for path in package_files(MAN_PACKAGE):
        m = re.match(r"/usr/share/man/ja/(man\w+)/(.+)\.(\w+)\.gz$", path)
        if not m or os.path.islink(path):
            continue
        source = gzip.decompress(read_bytes(path)).decode("utf-8", "replace")
        man[os.path.join(m.group(1), m.group(2) + "." + m.group(3) + ".html")] = wrap_manual_page(m.group(2), m.group(3), source)
    return docs, man


def write_tree(root, files):
    for rel, data in files.items():
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def read_tree(root):
    out = {}
    for folder, _dirs, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            out[os.path.relpath(path, root)] = read_bytes(path)
    return out


TAG = re.compile(r"<[^>]*>")
SPACE = re.compile(r"\s+")


def page_text(page):
    """What a page shows: its text outside tags, references resolved, white space dropped (the
    program rewrites the tags that declare or load, and may move the meta)."""
    return SPACE.sub("", html.unescape(TAG.sub("", page)))


def same_text(utf8_page, sjis_page):
    """Whether a Shift_JIS page shows what its UTF-8 original shows."""
    return page_text(utf8_page.decode("utf-8")) == page_text(sjis_page.decode("cp932"))


def make_shift_jis(cli, utf8_dir, sjis_dir, log):
    if os.path.exists(sjis_dir):
        shutil.rmtree(sjis_dir)
    shutil.copytree(utf8_dir, sjis_dir)
    with open(log, "wb") as out:
        rc = subprocess.run([cli, "-t", "shift_jis", "--no-backup", sjis_dir], stdout=out, stderr=subprocess.STDOUT).returncode
    if rc != 0:
        sys.exit("site_docs: sarnavel-cli -t shift_jis exited with %d (log: %s)" % (rc, log))
    original, converted = read_tree(utf8_dir), read_tree(sjis_dir)
    if sorted(original) != sorted(converted):
        sys.exit("site_docs: the Shift_JIS tree does not hold the same files")
    bad = []
    for rel, data in converted.items():
        try:
            data.decode("cp932")
        except UnicodeDecodeError:
            bad.append(rel + " (not code page 932)")
            continue
        if rel.endswith(".html") and not same_text(original[rel], data):
            bad.append(rel + " (text differs)")
    if bad:
        sys.exit("site_docs: %d converted files fail the check, e.g. %s" % (len(bad), ", ".join(bad[:5])))
    return converted


def plan_copies(doc_files, doc_bytes, man_files, man_bytes, files, megabytes):
    """Copies of the documentation (whole) and of the manual pages (may end in a part) that give
    about `files` files and `megabytes` MB: solves d*doc + m*man = target for both."""
    target_bytes = megabytes * 1e6
    det = doc_files * man_bytes - man_files * doc_bytes
    d = (files * man_bytes - man_files * target_bytes) / det
    m = (doc_files * target_bytes - files * doc_bytes) / det
    d = max(1, round(d))
    m = max(0.1, (target_bytes - d * doc_bytes) / man_bytes) if man_bytes else 0
    return d, m


def build(args, stamp):
    cache = args.cache
    if os.path.exists(cache):
        shutil.rmtree(cache)
    os.makedirs(cache)
    say("site_docs: reading the packages")
    docs, man = unique_set()
    unique_utf8 = os.path.join(cache, "unique-utf8")
    unique_sjis = os.path.join(cache, "unique-sjis")
    write_tree(unique_utf8, {os.path.join("doc", k): v for k, v in docs.items()})
    write_tree(unique_utf8, {os.path.join("man", k): v for k, v in man.items()})
    say("site_docs: %d documentation files, %d manual pages; converting them to Shift_JIS with %s" % (len(docs), len(man), args.cli))
    sjis = make_shift_jis(args.cli, unique_utf8, unique_sjis, os.path.join(cache, "to-shift_jis.log"))
    utf8 = read_tree(unique_utf8)

    doc_keys = sorted(k for k in sjis if k.startswith("doc/"))
    man_keys = sorted(k for k in sjis if k.startswith("man/"))
    d, m = plan_copies(len(doc_keys), sum(len(sjis[k]) for k in doc_keys), len(man_keys), sum(len(sjis[k]) for k in man_keys),
                       args.files, args.megabytes)
    plan = [("docs%02d" % (i + 1), doc_keys) for i in range(d)]
    whole = int(m)
    plan += [("man%02d" % (i + 1), man_keys) for i in range(whole)]
    part = round((m - whole) * len(man_keys))
    if part:
        plan.append(("man%02d" % (whole + 1), man_keys[:part]))
    say("site_docs: %d copies of the documentation, %.2f of the manual pages" % (d, m))
    total = largest = count = 0
    for tree, source in (("utf8", utf8), ("sjis", sjis)):
        root = os.path.join(cache, tree)
        for folder, keys in plan:
            for k in keys:
                path = os.path.join(root, folder, k.split("/", 1)[1])
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(source[k])
                if tree == "sjis":
                    count += 1
                    total += len(source[k])
                    largest = max(largest, len(source[k]))

    # The sample for converter_throughput: the unique pages joined (again from the first when
    # they run out) up to the size asked.
    pages = [utf8[k] for k in sorted(utf8) if k.endswith(".html")]
    with open(os.path.join(cache, "pages.utf8"), "wb") as f:
        written = n = 0
        while written < args.sample_megabytes * 1e6:
            f.write(pages[n % len(pages)])
            written += len(pages[n % len(pages)])
            n += 1
    shutil.rmtree(unique_utf8)
    shutil.rmtree(unique_sjis)
    stamp.update({"files": count, "bytes": total, "largest": largest, "documentation copies": d, "manual page copies": m,
                  "unique documentation files": len(doc_keys), "unique manual pages": len(man_keys),
                  "made by": args.cli, "cli commit": cli_commit(args.cli)})
    with open(os.path.join(cache, "stamp.json"), "w") as f:
        json.dump(stamp, f, indent=1, sort_keys=True)


def cli_commit(cli):
    out = subprocess.run([cli, "--version"], capture_output=True, text=True).stdout.strip()
    commit = subprocess.run(["git", "-C", os.path.dirname(HERE), "rev-parse", "--short", "HEAD"], capture_output=True, text=True).stdout.strip()
    return "%s (tree at %s)" % (out, commit)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", required=True, help="sarnavel-cli, to write the Shift_JIS tree")
    parser.add_argument("--cache", default="/var/tmp/sarnavel-bench-cache/docs")
    parser.add_argument("--files", type=int, default=5000)
    parser.add_argument("--megabytes", type=float, default=200)
    parser.add_argument("--sample-megabytes", type=float, default=40)
    parser.add_argument("--rebuild", action="store_true")
    args = parser.parse_args()
    args.cli = os.path.abspath(args.cli)
    args.cache = os.path.abspath(args.cache)

    subprocess.run([os.path.join(HERE, "apt-ensure"), *DOC_PACKAGES, MAN_PACKAGE], check=True)
    with open(os.path.abspath(__file__), "rb") as f:
        script = hashlib.sha256(f.read()).hexdigest()[:16]
    key = {"packages": {p: package_version(p) for p in DOC_PACKAGES + [MAN_PACKAGE]}, "script": script,
           "targets": [args.files, args.megabytes, args.sample_megabytes]}
    stamp_path = os.path.join(args.cache, "stamp.json")
    stamp = None
    if os.path.isfile(stamp_path) and not args.rebuild:
        with open(stamp_path) as f:
            stamp = json.load(f)
        if {k: stamp.get(k) for k in key} != key:
            stamp = None
    if stamp is None:
        stamp = dict(key)
        build(args, stamp)
    print("%d files, %d bytes, largest %d bytes, cache %s" % (stamp["files"], stamp["bytes"], stamp["largest"], args.cache))


if __name__ == "__main__":
    main()
