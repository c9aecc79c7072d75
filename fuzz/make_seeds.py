#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Small real documents in every source form (Shift_JIS, EUC-JP, ISO-2022-JP, UTF-8 with and
without a byte-order mark, Latin-1 declared), each engine seed prefixed with its option byte
(target in the low two bits, line ending in the next two, following and backups above, bit 7:
text that came from a UTF-16 file). Run it again after changing it; the files are kept in the
repository so that `make fuzz` and the replay tests start from the same inputs.
"""
import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")

JAPANESE = "日本語のテキスト、ひらがな・カタカナ・漢字。ｶﾀｶﾅ（半角）"
SJIS_EXTRA = "①～Ⅹ纊"
FORMS = {"sjis": "cp932", "euc": "euc_jp", "jis": "iso2022_jp", "utf8": "utf-8"}

PAGES = [
    '<html>\r\n<head>\r\n<meta http-equiv="Content-Type" content="text/html; charset={cs}">\r\n<title>{t}</title>\r\n'
    '<link rel="stylesheet" href="a.css"><script type="text/javascript" src="b.js"></script>\r\n</head>\r\n'
    '<body>\r\n<p class="x">{t}</p>\r\n<!-- {t} -->\r\n</body>\r\n</html>\r\n',
    '<HTML><HEAD><TITLE>{t}</TITLE><META HTTP-EQUIV="content-type" CONTENT="text/html;charset={cs}" /></HEAD>'
    '<BODY><SCRIPT>var s = "{t}</p>";</SCRIPT><STYLE>p:before {{ content: "{t}"; }}</STYLE><textarea>{t}</textarea></BODY></HTML>',
    '<html><head><meta http-equiv="Content-Script-Type" content="text/vbscript"><script src="sub/d.js"></script>'
    '<link REL="StyleSheet" href="file:sub/c.css"><link rel="stylesheet" href="%E6%97%A5.css"></head><body>{t}</body></html>\n',
    '<p>{t}</p><script src="http://example.invalid/x.js"></script><a href="a.html?x=1&amp;y=2">{t}</a>',
    '<html><head><title>{t}</title></head><body onload="f(\'{t}\')"><img alt="{t}" src=x.png /></body></html>',
]
SHEETS = [
    '@charset "{cs}";\r\nbody {{ font-family: "{t}"; }}\r\n',
    'p:before {{ content: "{t}"; }}\n/* {t} */\n',
    '@charset  \t"{cs}" ;\n.a {{ background: url("{t}.png"); }}\n',
    '@charset {cs};\np {{ content: "\\3042"; }}\n',
]
SCRIPTS = [
    'var message = "{t}";\r\nalert(message);\r\n',
    '// {t}\nfunction f() {{ return \'{t}\' + "\\u3042"; }}\n',
    'document.write("<p>{t}</p>");\r',
]


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def documents(templates, charset_names):
    """(name, bytes) of every template in every form."""
    for i, template in enumerate(templates):
        for form, codec in FORMS.items():
            t = JAPANESE + (SJIS_EXTRA if form in ("sjis", "utf8") else "")
            if form == "jis":
                t = t.replace("ｶﾀｶﾅ", "カタカナ")
            text = template.format(t=t, cs=charset_names[form])
            data = text.encode(codec)
            yield f"{i}-{form}", data
            if form == "utf8":
                yield f"{i}-utf8bom", b"\xef\xbb\xbf" + data
        latin = template.format(t="café déjà vu", cs="iso-8859-1").encode("cp1252")
        yield f"{i}-latin1", latin


def main():
    shutil.rmtree(CORPUS, ignore_errors=True)
    page_cs = {"sjis": "Shift_JIS", "euc": "EUC-JP", "jis": "ISO-2022-JP", "utf8": "UTF-8"}
    sheet_cs = {"sjis": "shift_jis", "euc": "euc-jp", "jis": "iso-2022-jp", "utf8": "utf-8"}
    option_bytes = [0x30, 0x35, 0x3A, 0x3F, 0x01, 0x06, 0x0B, 0x0C]
    for kind, templates, names in (("page", PAGES, page_cs), ("sheet", SHEETS, sheet_cs), ("script", SCRIPTS, sheet_cs)):
        for k, (name, data) in enumerate(documents(templates, names)):
            write(kind, name, bytes([option_bytes[k % len(option_bytes)]]) + data)
            if kind == "page":
                write("tag_walk", name, data)
                write("references", name, bytes([k & 3]) + data)
            if k % 2 == 0:
                write("converter", f"{kind}-{name}", bytes([option_bytes[(k + 3) % len(option_bytes)]]) + data)
    # Text that came from a UTF-16 file: already code page 932 with escapes.
    write("page", "utf16-origin", bytes([0x80 | 0x33]) + "<html><head></head><body>&#128512; 日本</body></html>".encode("cp932"))
    write("script", "utf16-origin", bytes([0x80 | 0x03]) + "var s = '\\uD83D\\uDE00 日本';".encode("cp932"))
    write("sheet", "utf16-origin", bytes([0x80 | 0x01]) + "p { content: '\\1F600 日本'; }".encode("cp932"))
    # Odd pages for the walk.
    odd = [b"<", b"<>", b"< >", b"<!-- unterminated", b"<!---->", b'<a b="c', b"<script>no end", b"<script/>x</script>",
           b'<a b=c d="e" f>', b"<\x1b$B<>\x1b(B>", b"<p\x1b$B$\"\x1b(B title=\"\x1b$B>\x1b(B\">",
           b"<meta http-equiv=content-type content='text/html; charset=EUC-JP'>", b"</head><head><body><head>"]
    for i, data in enumerate(odd):
        write("tag_walk", f"odd-{i}", data)
        write("references", f"odd-{i}", b"\x00" + data)
    # References and their decoding.
    for i, value in enumerate(["a%20b.css", "file:///tmp/x.css", "&#x65E5;&#26412;.js", "%E6%97%A5%FF%%.css",
                               "http://h/x.css", "ftp:x", "&amp;lt;%26#65;"]):
        write("references", f"value-{i}", b"\x02" + value.encode())
    # Converter: ambiguous and broken texts, every target.
    for i, data in enumerate([b"\xa4\xa2\xa4\xa4", b"\x82\xa0\x82\xa2", b"\x8f\xb0\xa1", b"\xf0\x40\xfa\x40", b"\x81",
                              b"a\r\nb\rc\nd", b"\x1b$B$\"\x1b(I1\x1b(B", b"\xb1\xb2\xb3", b"\x00\x80\xa0\xfd\xff"]):
        for target in range(4):
            write("converter", f"odd-{i}-{target}", bytes([target | (i & 3) << 2]) + data)
    # Escapers: UTF-16BE units, and bytes for the UTF-8 preparation.
    for i, text in enumerate(["café 日本 😀", "\ufeffa\u0000b\u00a5\\~", "<p>é</p><script>é</script><style>é</style>"]):
        write("escaping", f"units-{i}", bytes([i]) + text.encode("utf-16-be"))
        write("escaping", f"utf8-{i}", bytes([i]) + text.encode("utf-8"))


if __name__ == "__main__":
    main()
