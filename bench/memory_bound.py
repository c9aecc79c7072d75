#!/usr/bin/env python3
"""Peak memory of sarnavel-cli on hostile pages, against the bound 3 x the largest file + 20 MB.

Each row writes one page (or sheet, or script) into a scratch folder, converts it with the
options given, and reads the child's peak resident set size from the kernel (getrusage of the
waited-for child). A row prints the file's size before and after (a page whose every byte
becomes "&#65533;" grows sixfold, and the larger of the two is the largest file), the peak, the
bound, peak / bound and peak / the bound of the size before alone; the
program's exit status and whether the file failed with 101 (out of memory) are shown too. The
peak is GNU time's (`/usr/bin/time -f %M`), of the program alone: a child of this script would
count the script's own memory up to its exec.

    bench/memory_bound.py build/sarnavel-cli            # every row but the 300 MB one
    bench/memory_bound.py build/sarnavel-cli --large    # with it

The runs keep their memory of what they wrote in the scratch folder, not in your home.
"""
import os
import subprocess
import sys
import tempfile

MB = 1 << 20


def sjis(text):
    return text.encode("cp932")


def rows(large):
    """(name, file name, bytes, extra options)."""
    kanji = sjis("日本語の文章です。")
    yield ("a page of <script src> tags", "p.html",
           b"<html><head>" + b"".join(b'<script src="js/s%d.js"></script>\n' % k for k in range(380000)) +
           b"</head></html>\n", ["-t", "utf-8"])
    yield ("400,000 forms with a Japanese query", "p.html",
           b'<meta charset="Shift_JIS">' + (b'<form action="?q=' + sjis("日") + b'"></form>\n') * 400000,
           ["-t", "utf-8"])
    yield ("a Shift_JIS page, invalid bytes now and then", "p.html",
           b'<meta charset="Shift_JIS"><p>' + (kanji + b"\x81\xff\xa0") * 600000, ["-t", "utf-8"])
    yield ("a Shift_JIS page of invalid bytes", "p.html",
           b'<meta charset="Shift_JIS"><p>' + b"\x81\xff\xa0\xfd" * 3000000, ["-t", "utf-8"])
    yield ("emoji CSS into Shift_JIS", "s.css",
           b'@charset "utf-8";p{content:"' + ("😀" * 3000000).encode() + b'"}', ["-t", "shift_jis"])
    yield ("a script of invalid bytes", "s.js", b'var s="' + b"\xff\x80\xfe" * 4000000 + b'";', ["-t", "utf-8"])
    yield ("CR-only lines into CR+LF", "s.js", b"a\r" * 6000000, ["-t", "utf-8", "-n", "crlf"])
    if large:
        yield ("a broken 300 MB page", "p.html",
               b'<meta charset="Shift_JIS"><p>' + (kanji + b"\x81\xff<b>\xa0") * (300 * MB // 24),
               ["-t", "utf-8"])


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    cli = sys.argv[1]
    large = "--large" in sys.argv[2:]
    print("| page | size | converted | peak RSS | bound | peak / bound | peak / (3 x size + 20 MB) | status |")
    print("|---|---|---|---|---|---|---|---|")
    for name, leaf, data, options in rows(large):
        with tempfile.TemporaryDirectory() as scratch:
            path = os.path.join(scratch, leaf)
            with open(path, "wb") as out:
                out.write(data)
            size = len(data)
            del data
            env = dict(os.environ, XDG_STATE_HOME=os.path.join(scratch, "state"))
            log, measured = os.path.join(scratch, "log"), os.path.join(scratch, "peak")
            with open(log, "wb") as out:
                status = subprocess.run(["/usr/bin/time", "-o", measured, "-f", "%M", cli, "--no-backup", *options,
                                         path], env=env, stdout=out, stderr=subprocess.DEVNULL).returncode
            with open(measured) as text:
                peak = int(text.read().split()[-1]) * 1024
            written = os.path.getsize(path)
            bound = 3 * max(size, written) + 20 * MB
            with open(log, "rb") as text:
                failed = "101" if "メモリ不足" in text.read().decode(errors="replace") else str(status)
            print(f"| {name} | {size / MB:.1f} MB | {written / MB:.1f} MB | {peak / MB:.0f} MB | {bound / MB:.0f} MB | "
                  f"{peak / bound:.2f} | {peak / (3 * size + 20 * MB):.2f} | {failed} |", flush=True)


if __name__ == "__main__":
    main()
