#!/usr/bin/env python3
"""Writes samples/site: the web site of a small coffee roastery, in the mix of encodings a
site collects over the years (Shift_JIS, EUC-JP and UTF-8 pages, sheets and scripts).

The site is what `make demo` converts. Its files are committed as generated here; run this
again only to change them:  python3 samples/make-site.py
"""
import os
import sys

SITE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "site")


def meta(charset):
    return '<meta http-equiv="Content-Type" content="text/html; charset=%s">' % charset


# --- Pages -----------------------------------------------------------------------------------

INDEX = """<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">
<html lang="ja">
<head>
{meta}
<title>こもれび珈琲焙煎所 - 自家焙煎の珈琲豆と喫茶</title>
<link rel="stylesheet" type="text/css" href="css/style.css">
<script type="text/javascript" src="js/menu.js"></script>
</head>
<body>
<div id="header">
<h1>こもれび珈琲焙煎所</h1>
<p class="catch">木漏れ日のさす小さな店で、毎朝豆を焼いています。</p>
</div>
<ul id="nav">
<li><a href="index.html">トップ</a></li>
<li><a href="menu/index.html">メニュー</a></li>
<li><a href="news/index.html">お知らせ</a></li>
<li><a href="about/access.html">店舗案内・アクセス</a></li>
</ul>
<div id="main">
<p class="sale">★ｺｰﾋｰ豆 ｾｰﾙ開催中★ 今月の豆は全品１割引です。</p>
<h2>ごあいさつ</h2>
<p>こもれび珈琲焙煎所は、駅から歩いて五分ほどの路地裏にある、
十席ばかりの小さな喫茶店です。焙煎機は店の奥に一台きり。
その日に使う分だけを朝のうちに焼き、焼き上がった豆はお持ち帰りにも
お分けしています。</p>
<p>深煎りのブレンドから、浅煎りのシングルオリジンまで、
季節ごとに六種類ほどをご用意しています。豆の挽き方はご注文の際に
お申し付けください。</p>
<h2>本日のおすすめ</h2>
<p id="today">読み込み中です…</p>
<p><a href="menu/index.html">メニューをすべて見る</a></p>
</div>
<div id="footer">
<p>こもれび珈琲焙煎所　営業時間 8:00～18:00（水曜定休）</p>
</div>
</body>
</html>
"""

MENU = """<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">
<html lang="ja">
<head>
<title>メニュー | こもれび珈琲焙煎所</title>
{meta}
<link rel="stylesheet" type="text/css" href="../css/style.css">
<link rel="stylesheet" type="text/css" href="../css/menu.css">
<script type="text/javascript" src="../js/menu.js"></script>
</head>
<body>
<div id="header">
<h1><a href="../index.html">こもれび珈琲焙煎所</a></h1>
</div>
<div id="main">
<h2>珈琲</h2>
<table class="menu">
<tr><th>こもれびブレンド（深煎り）</th><td>450円</td></tr>
<tr><th>朝霧ブレンド（中煎り）</th><td>450円</td></tr>
<tr><th>エチオピア　イルガチェフェ（浅煎り）</th><td>550円</td></tr>
<tr><th>水出し珈琲（夏季のみ）</th><td>500円</td></tr>
</table>
<h2>焼き菓子</h2>
<table class="menu">
<tr><th>自家製チーズケーキ</th><td>380円</td></tr>
<tr><th>胡桃のパウンドケーキ</th><td>320円</td></tr>
</table>
<p class="note">※豆の量り売りは百グラムから承ります。焙煎度合いのご相談もお気軽にどうぞ。</p>
</div>
<div id="footer">
<p><a href="../about/access.html">店舗案内・アクセス</a></p>
</div>
</body>
</html>
"""

ACCESS = """<!DOCTYPE html>
<html lang="ja">
<head>
{meta}
<title>店舗案内・アクセス | こもれび珈琲焙煎所</title>
<link rel="stylesheet" type="text/css" href="../css/style.css">
<script type="text/javascript" src="../js/map.js"></script>
</head>
<body>
<div id="header">
<h1><a href="../index.html">こもれび珈琲焙煎所</a></h1>
</div>
<div id="main">
<h2>店舗案内</h2>
<dl>
<dt>住所</dt><dd>東京都杉並区木漏町二丁目三番地の五</dd>
<dt>電話</dt><dd>03-0000-0000</dd>
<dt>営業時間</dt><dd id="hours">8:00から18:00まで</dd>
<dt>定休日</dt><dd>水曜日</dd>
</dl>
<h2>アクセス</h2>
<p>駅の北口を出て商店街を抜け、二つ目の角を右に曲がってすぐです。
青い日よけと、店先の小さな黒板が目印です。</p>
<p>二階は姉妹店の Café Lumière（カフェ・リュミエール）です。
週末はどちらのお店も混み合いますので、お時間に余裕をもってお越しください 😀</p>
<p><a href="../menu/index.html">メニューへ</a>　<a href="../news/index.html">お知らせへ</a></p>
</div>
</body>
</html>
"""

NEWS = """<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">
<html lang="ja">
<head>
{meta}
<title>お知らせ | こもれび珈琲焙煎所</title>
<link rel="stylesheet" type="text/css" href="../css/style.css">
<link rel="stylesheet" type="text/css" href="news.css">
</head>
<body>
<div id="header">
<h1><a href="../index.html">こもれび珈琲焙煎所</a></h1>
</div>
<div id="main">
<h2>お知らせ</h2>
<dl class="news">
<dt>十一月三日</dt>
<dd>新しい豆「グアテマラ　アンティグア」が入りました。チョコレートのような甘い香りが特長です。</dd>
<dt>十月二十日</dt>
<dd>年末年始の営業日を<a href="../about/access.html">店舗案内</a>のページに載せました。</dd>
<dt>九月一日</dt>
<dd>秋の焼き菓子として、栗のタルトを始めました。数に限りがございます。</dd>
</dl>
</div>
</body>
</html>
"""

# --- Style sheets ----------------------------------------------------------------------------

STYLE = """@charset "Shift_JIS";
/* こもれび珈琲焙煎所　共通の飾り */
body { margin: 0; background: #f7f1e8; color: #3b2a1e; font-family: "ＭＳ Ｐゴシック", sans-serif; }
#header { background: #5a3d2b; color: #fff; padding: 12px 20px; }
#header h1 a { color: #fff; text-decoration: none; }
#nav li { display: inline; margin-right: 1em; }
.sale { color: #b03020; font-weight: bold; }
/* 見出しの前に珈琲豆の印 */
h2:before { content: "● "; color: #8a5a3a; }
#footer { font-size: small; border-top: 1px solid #c8b8a0; }
"""

MENU_CSS = """@charset "EUC-JP";
/* メニュー表：値段を右にそろえる */
table.menu { border-collapse: collapse; width: 100%; }
table.menu th { text-align: left; font-weight: normal; padding: 4px 8px; }
table.menu td { text-align: right; padding: 4px 8px; }
table.menu td:after { content: "（税込）"; font-size: smaller; color: #8a7a6a; }
.note { font-size: small; }
"""

NEWS_CSS = """/* お知らせの一覧 */
dl.news dt { font-weight: bold; margin-top: 1em; }
dl.news dt:before { content: "■ "; }
dl.news dd { margin-left: 1.5em; }
"""

# --- Scripts ---------------------------------------------------------------------------------

MENU_JS = """// 本日のおすすめを曜日ごとに出し分ける
var todaysPick = [
  "日曜日：朝霧ブレンドと胡桃のパウンドケーキのセット",
  "月曜日：こもれびブレンド（深煎り）",
  "火曜日：エチオピア　イルガチェフェ",
  "水曜日：定休日です",
  "木曜日：自家製チーズケーキ",
  "金曜日：水出し珈琲",
  "土曜日：焙煎したての豆の試飲会"
];

window.onload = function () {
  var place = document.getElementById("today");
  if (place) {
    place.innerHTML = todaysPick[new Date().getDay()];
  }
};
"""

MAP_JS = """// 営業中かどうかを表示する
window.onload = function () {
  var hours = document.getElementById("hours");
  if (!hours) return;
  var now = new Date();
  var open = now.getDay() !== 3 && now.getHours() >= 8 && now.getHours() < 18;
  hours.innerHTML += open ? "（ただいま営業中です）" : "（ただいま準備中です）";
};
"""

# path, text, Python codec, line ending, declared charset of a page
FILES = [
    ("index.html", INDEX, "cp932", "\r\n", "Shift_JIS"),
    ("menu/index.html", MENU, "euc_jp", "\n", "EUC-JP"),
    ("about/access.html", ACCESS, "utf-8", "\n", "UTF-8"),
    ("news/index.html", NEWS, "cp932", "\r\n", "Shift_JIS"),
    ("css/style.css", STYLE, "cp932", "\r\n", None),
    ("css/menu.css", MENU_CSS, "euc_jp", "\n", None),
    ("news/news.css", NEWS_CSS, "utf-8", "\n", None),
    ("js/menu.js", MENU_JS, "cp932", "\r\n", None),
    ("js/map.js", MAP_JS, "utf-8", "\n", None),
]


def main():
    for path, text, codec, newline, charset in FILES:
        if charset:
            text = text.replace("{meta}", meta(charset))
        data = text.replace("\n", newline).encode(codec)
        full = os.path.join(SITE, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as out:
            out.write(data)
        print("%-20s %-7s %6d bytes" % (path, codec, len(data)), file=sys.stderr)


if __name__ == "__main__":
    main()
